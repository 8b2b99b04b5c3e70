#include "module/function_descriptors.hpp"

#include <algorithm>
#include <array>
#include <cstring>

#include "format/module_format.hpp"
#include "symbols/symbol_tables.hpp"

namespace oxbuild {

namespace {

using namespace format;

constexpr std::size_t kLargest = kDescriptorFixedSize + kDescriptorPerParameter * kMaxParameters;

void add_to_dword(unsigned char* at, std::int64_t addend) {
    store_field<4>(at, static_cast<std::uint32_t>(load_dword(at) + static_cast<std::uint32_t>(addend)));
}

std::uint32_t parameter_count(const unsigned char* descriptor) {
    return load_dword(descriptor + kDescriptorParameterCount);
}

// Adds code_base to a descriptor's entry and first to each of its n
// parameter pointers; the rest of it is final.
void fix_relative_fields(unsigned char* descriptor, std::uint32_t n, std::int64_t code_base, std::int64_t first) {
    add_to_dword(descriptor, code_base);
    for (std::size_t k = 0; k < n; ++k) add_to_dword(descriptor + kDescriptorFixedSize + 4 * k, first);
}

// The descriptors of a spool read back in runs, their relative fields fixed
// as they are found: as many whole ones as the piece read holds, in place,
// or one put together across pieces.
class DescriptorReader {
public:
    DescriptorReader(ModuleStream& spool, std::int64_t code_base, std::int64_t first)
        : pieces_(spool), code_base_(code_base), first_(first) {}
    // The next run of whole, fixed descriptors, readable until the next
    // call; empty when the spool cannot be read or holds no whole descriptor.
    std::span<const unsigned char> next() {
        std::size_t run = 0;
        while (piece_.size() - run >= kDescriptorFixedSize) {
            unsigned char* descriptor = piece_.data() + run;
            const std::uint32_t n = parameter_count(descriptor);
            const auto size = static_cast<std::size_t>(FunctionDescriptors::size_of(n));
            if (n > kMaxParameters || piece_.size() - run < size) break;
            fix_relative_fields(descriptor, n, code_base_, first_);
            run += size;
        }
        if (run != 0) {
            const std::span<const unsigned char> whole = piece_.first(run);
            piece_ = piece_.subspan(run);
            return whole;
        }
        if (!join(0, kDescriptorFixedSize)) return {};
        const std::uint32_t n = parameter_count(joined_.data());
        if (n > kMaxParameters || !join(kDescriptorFixedSize, kDescriptorPerParameter * n)) return {};
        fix_relative_fields(joined_.data(), n, code_base_, first_);
        return std::span(joined_).first(kDescriptorFixedSize + kDescriptorPerParameter * n);
    }

private:
    // Copies the next n bytes to joined_ from offset at.
    bool join(std::size_t at, std::size_t n) {
        for (std::size_t got = 0; got < n;) {
            if (piece_.empty()) piece_ = pieces_.next();
            if (piece_.empty()) return false;
            const std::size_t k = std::min(n - got, piece_.size());
            std::memcpy(joined_.data() + at + got, piece_.data(), k);
            piece_ = piece_.subspan(k);
            got += k;
        }
        return true;
    }
    ModuleStream::Pieces pieces_;
    const std::int64_t code_base_;
    const std::int64_t first_;
    std::span<unsigned char> piece_;
    std::array<unsigned char, kLargest> joined_;
};

}  // namespace

void FunctionDescriptors::make_spool() { spool_ = ModuleStream::spool(kMemory, kBuffers); }

// The descriptors are copied to the module a run at a time, fixed where
// they were read.
bool FunctionDescriptors::write(Sink& sink, std::int64_t code_base, std::int64_t first) {
    if (spool_ == nullptr) return true;
    DescriptorReader reader(*spool_, code_base, first);
    for (std::int64_t left = size_; left > 0;) {
        const std::span<const unsigned char> run = reader.next();
        if (run.empty()) return false;
        sink.emit_bytes(run.data(), run.size());
        left -= static_cast<std::int64_t>(run.size());
    }
    spool_.reset();
    return true;
}

}  // namespace oxbuild
