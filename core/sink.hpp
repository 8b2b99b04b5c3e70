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

    // In a pass that counts and writes, the bytes written since the stream
    // was chosen are the stream's own count, so that an emit only writes.
    CodeAddress counter() const {
        if (counted_ == nullptr) return counter_;
        return counter_ + (counted_->written() - counted_from_);
    }
    void reset_counter() {
        counter_ = 0;
        counted_from_ = counted_ != nullptr ? counted_->written() : 0;
    }
    void set_code_base(std::int64_t base) { code_base_ = base; }
    std::int64_t code_base() const { return code_base_; }
    bool counting() const { return pass_ == 1; }
    // Whether this pass writes its bytes anywhere.
    bool writes() const { return out_ != nullptr; }

    void emit_byte(std::uint32_t value) {
        if (out_ != nullptr) out_->put(static_cast<unsigned char>(value & 0xFF));
        else count(1);
    }
    void emit_word(std::uint32_t value) {
        if (out_ != nullptr) out_->put_word(value);
        else count(2);
    }
    void emit_dword(std::uint32_t value) {
        if (out_ != nullptr) out_->put_dword(value);
        else count(4);
    }
    template <std::size_t N>
    void emit_fields(const FieldBytes<N>& fields) {
        if (out_ != nullptr) out_->put_fixed(fields.bytes());
        else count(N);
    }
    void emit_bytes(const unsigned char* data, std::size_t size) {
        if (out_ != nullptr) out_->write(data, size);
        else count(static_cast<CodeAddress>(size));
    }
    // Writes n bytes (at most 64 KiB) in place: fill(at) stores them at at,
    // and is not called when this pass writes nowhere.
    template <typename Fill>
    void emit_in_place(std::size_t n, Fill fill) {
        if (out_ == nullptr) return count(static_cast<CodeAddress>(n));
        fill(out_->room(n));
        out_->taken(n);
    }
    void emit_text(std::string_view text) {
        emit_bytes(reinterpret_cast<const unsigned char*>(text.data()), text.size());
    }
    // A code address is written as a file offset: plus the code base.
    void emit_code_address(CodeAddress address) { emit_dword(static_cast<std::uint32_t>(address + code_base_)); }

private:
    // The bytes counted on the stream chosen before are kept in counter_.
    void choose_output() {
        counter_ = counter();
        out_ = counting() ? spool_ : stream_;
        counted_ = counting() ? out_ : nullptr;
        counted_from_ = counted_ != nullptr ? counted_->written() : 0;
    }
    // Counts the bytes of a pass that counts and writes nowhere.
    void count(CodeAddress n) {
        if (counting()) counter_ += n;
    }

    int pass_ = 1;
    CodeAddress counter_ = 0;       // counted before counted_ was chosen, or all when it is none
    ModuleStream* counted_ = nullptr;  // the stream a counting pass writes to
    std::int64_t counted_from_ = 0;    // its count when it was chosen
    std::int64_t code_base_ = 0;
    ModuleStream* stream_ = nullptr;  // the module
    ModuleStream* spool_ = nullptr;
    ModuleStream* out_ = nullptr;     // where this pass writes
};

}  // namespace oxbuild
