// The user functions' descriptors in the module's form, put together in
// pass 1 as each function is compiled and kept in a spool (in memory up to a
// bound, then in a scratch file) until the header is written, so that no
// function keeps its parameter lists and local counts in memory meanwhile.
// Two kinds of field depend on the layout that only the end of pass 1 fixes
// and are kept relative until then: the entry is a code address, to which
// the code base is added, and each parameter's pointer is an offset from the
// first descriptor, to which that descriptor's file offset is added.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>

#include "core/module_stream.hpp"
#include "core/sink.hpp"
#include "format/bytecode.hpp"
#include "format/module_format.hpp"

namespace oxbuild {

class FunctionDescriptors {
public:
    // Kept in memory up to this many bytes (about 50,000 one-parameter
    // functions), then in a scratch file.
    static constexpr std::size_t kMemory = std::size_t{2} << 20;
    // The first bytes fill small pages as they come, so that a small
    // program costs little; one buffer of a large page takes the rest while
    // they stay in memory, with one page fault where small pages take one
    // for every 4 KiB (a quarter of the faults of a 10 MB compilation). Past
    // the bound the bytes go to the file through a small buffer again, so
    // that no large page is held for them meanwhile.
    static constexpr std::size_t kSmallBuffer = std::size_t{1} << 18;
    static constexpr SpoolBuffers kBuffers{kSmallBuffer, platform::kLargePage, kSmallBuffer};

    // The size of a descriptor with this many parameters.
    static std::int64_t size_of(std::size_t parameters) {
        return static_cast<std::int64_t>(format::kDescriptorFixedSize + format::kDescriptorPerParameter * parameters);
    }

    // Starts the next user function's descriptor, with no locals yet, and
    // finishes the one before it. types and slots are as long as each other.
    // The entry, the six local counts, the parameter count, each parameter's
    // pointer (to its descriptor below) and each parameter's type and slot
    // are stored in place in the spool's room; it is taken when finished.
    // Inline: every function definition comes here.
    void start(CodeAddress entry, std::span<const TypeCode> types, std::span<const std::int32_t> slots) {
        using namespace format;
        finish();
        if (spool_ == nullptr) [[unlikely]] make_spool();
        const std::size_t n = types.size();
        pending_size_ = static_cast<std::size_t>(size_of(n));
        pending_ = spool_->room(pending_size_);
        FieldCursor fields(pending_);
        fields.dword(static_cast<std::uint32_t>(entry));
        // No locals yet: the counts are set as the body declares them.
        std::memset(pending_ + kDescriptorLocalCounts, 0, 4 * kTypeClassCount);
        fields = FieldCursor(pending_ + kDescriptorParameterCount);
        fields.dword(static_cast<std::uint32_t>(n));
        const std::int64_t first_parameter = size_ + static_cast<std::int64_t>(kDescriptorFixedSize + 4 * n);
        for (std::size_t k = 0; k < n; ++k)
            fields.dword(static_cast<std::uint32_t>(first_parameter + 4 * static_cast<std::int64_t>(k)));
        for (std::size_t k = 0; k < n; ++k)
            fields.word(LOCAL_FLAG + types[k]).word(static_cast<std::uint32_t>(slots[k]) & 0xFFFF);
    }
    // The count of locals of one type class in the function last started.
    void set_local_count(std::size_t type_class, std::int32_t count) {
        if (pending_ == nullptr) return;
        store_field<4>(pending_ + format::kDescriptorLocalCounts + 4 * type_class, static_cast<std::uint32_t>(count));
    }
    // Finishes the descriptor last started (at the end of pass 1).
    void finish() {
        if (pending_ == nullptr) return;
        spool_->taken(pending_size_);
        size_ += static_cast<std::int64_t>(pending_size_);
        pending_ = nullptr;
    }
    // The bytes of the finished descriptors.
    std::int64_t size() const { return size_; }
    // Writes the finished descriptors, in order, to the sink, each entry
    // with code_base added and each parameter pointer with first (the first
    // descriptor's file offset). False when they cannot be read back.
    [[nodiscard]] bool write(Sink& sink, std::int64_t code_base, std::int64_t first);

private:
    void make_spool();
    std::unique_ptr<ModuleStream> spool_;  // made with the first descriptor
    // The descriptor last started, in the spool's room until it is finished
    // (nothing else is written to the spool meanwhile).
    unsigned char* pending_ = nullptr;
    std::size_t pending_size_ = 0;
    std::int64_t size_ = 0;
};

}  // namespace oxbuild
