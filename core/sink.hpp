// The output sink: every byte of the module goes through it. In pass 1 it
// counts (the count is the code address of the next code byte) and, given a
// spool, also writes the code there; in pass 2 it writes, little-endian, and
// leaves the counter alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/module_stream.hpp"

namespace oxbuild {

using CodeAddress = std::int64_t;

class Sink {
public:
    void start_pass(int pass) {
        pass_ = pass;
        choose_output();
    }
    void attach(ModuleStream* stream) {
        stream_ = stream;
        choose_output();
    }
    // Where pass 1 writes what it counts (nullptr: nowhere).
    void spool_into(ModuleStream* spool) {
        spool_ = spool;
        choose_output();
    }

    CodeAddress counter() const { return counter_; }
    void reset_counter() { counter_ = 0; }
    void set_code_base(std::int64_t base) { code_base_ = base; }
    std::int64_t code_base() const { return code_base_; }
    bool counting() const { return pass_ == 1; }
    // Whether this pass writes its bytes anywhere.
    bool writes() const { return out_ != nullptr; }

    void emit_byte(std::uint32_t value) {
        if (counting()) counter_ += 1;
        if (out_) out_->put(static_cast<unsigned char>(value & 0xFF));
    }
    void emit_word(std::uint32_t value) {
        if (counting()) counter_ += 2;
        if (out_) out_->put_word(value);
    }
    void emit_dword(std::uint32_t value) {
        if (counting()) counter_ += 4;
        if (out_) out_->put_dword(value);
    }
    template <std::size_t N>
    void emit_fields(const FieldBytes<N>& fields) {
        if (counting()) counter_ += N;
        if (out_) out_->put_fixed(fields.bytes());
    }
    void emit_bytes(const unsigned char* data, std::size_t size) {
        if (counting()) counter_ += static_cast<CodeAddress>(size);
        if (out_) out_->write(data, size);
    }
    // Writes n bytes (at most 64 KiB) in place: fill(at) stores them at at,
    // and is not called when this pass writes nowhere.
    template <typename Fill>
    void emit_in_place(std::size_t n, Fill fill) {
        if (counting()) counter_ += static_cast<CodeAddress>(n);
        if (out_ == nullptr) return;
        fill(out_->room(n));
        out_->taken(n);
    }
    void emit_text(std::string_view text) {
        emit_bytes(reinterpret_cast<const unsigned char*>(text.data()), text.size());
    }
    // A code address is written as a file offset: plus the code base.
    void emit_code_address(CodeAddress address) { emit_dword(static_cast<std::uint32_t>(address + code_base_)); }

private:
    void choose_output() { out_ = counting() ? spool_ : stream_; }

    int pass_ = 1;
    CodeAddress counter_ = 0;
    std::int64_t code_base_ = 0;
    ModuleStream* stream_ = nullptr;  // the module
    ModuleStream* spool_ = nullptr;
    ModuleStream* out_ = nullptr;     // where this pass writes
};

}  // namespace oxbuild
