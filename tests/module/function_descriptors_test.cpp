// Function descriptors kept in a spool from pass 1 to the header: each comes
// back in order with its entry and parameter pointers fixed, in memory and,
// past the memory bound, from the scratch file in pieces that cut through
// descriptors.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "core/module_stream.hpp"
#include "core/sink.hpp"
#include "format/bytecode.hpp"
#include "format/module_format.hpp"
#include "module/function_descriptors.hpp"

using namespace oxbuild;

namespace {

using Bytes = std::vector<unsigned char>;

void put_dword(Bytes& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
}
void put_word(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<unsigned char>(v));
    b.push_back(static_cast<unsigned char>(v >> 8));
}

struct Function {
    CodeAddress entry;
    std::vector<TypeCode> types;
    std::vector<std::int32_t> slots;
    std::int32_t locals;  // of the first type class
};

// Function i has i % 7 parameters, or 256 for every tenth, so that the
// descriptors differ in size and some are far larger than others.
std::vector<Function> functions(std::size_t count) {
    std::vector<Function> all;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t n = i % 10 == 9 ? 256 : i % 7;
        Function f{static_cast<CodeAddress>(16 * i), {}, {}, static_cast<std::int32_t>(i % 5)};
        for (std::size_t k = 0; k < n; ++k) {
            f.types.push_back(k % 2 == 0 ? TYPE_INT : static_cast<TypeCode>(TYPE_STR | TYPE_BY_REFERENCE));
            f.slots.push_back(k % 3 == 2 ? -1 : static_cast<std::int32_t>(k));
        }
        all.push_back(f);
    }
    return all;
}

// The descriptors as the format lays them out from the first one at `first`.
Bytes expected(const std::vector<Function>& all, std::uint32_t code_base, std::uint32_t first) {
    Bytes b;
    for (const Function& f : all) {
        const auto at = static_cast<std::uint32_t>(first + b.size());
        const auto n = static_cast<std::uint32_t>(f.types.size());
        put_dword(b, static_cast<std::uint32_t>(f.entry) + code_base);
        for (int c = 0; c < kTypeClassCount; ++c) put_dword(b, c == 0 ? static_cast<std::uint32_t>(f.locals) : 0);
        put_dword(b, n);
        for (std::uint32_t k = 0; k < n; ++k) put_dword(b, at + format::kDescriptorFixedSize + 4 * n + 4 * k);
        for (std::uint32_t k = 0; k < n; ++k) {
            put_word(b, LOCAL_FLAG + f.types[k]);
            put_word(b, static_cast<std::uint32_t>(f.slots[k]) & 0xFFFF);
        }
    }
    return b;
}

Bytes written(const std::vector<Function>& all, std::uint32_t code_base, std::uint32_t first) {
    FunctionDescriptors descriptors;
    for (const Function& f : all) {
        descriptors.start(f.entry, f.types, f.slots);
        if (f.locals != 0) descriptors.set_local_count(0, f.locals);
    }
    descriptors.finish();
    std::int64_t size = 0;
    for (const Function& f : all) size += FunctionDescriptors::size_of(f.types.size());
    EXPECT_EQ(descriptors.size(), size);

    auto module = ModuleStream::spool(std::size_t{64} << 20);
    Sink sink;
    sink.attach(module.get());
    sink.start_pass(2);
    EXPECT_TRUE(descriptors.write(sink, code_base, first));
    Bytes bytes;
    EXPECT_TRUE(module->read_back([&](unsigned char* data, std::size_t n) { bytes.insert(bytes.end(), data, data + n); }));
    return bytes;
}

}  // namespace

TEST(FunctionDescriptors, ComeBackInOrderWithEntriesAndPointersFixed) {
    for (const std::size_t count : {std::size_t{0}, std::size_t{1}, std::size_t{300}, std::size_t{12000}}) {
        SCOPED_TRACE(count);
        const std::vector<Function> all = functions(count);
        if (count == 12000) {  // well past the bytes kept in memory
            std::int64_t size = 0;
            for (const Function& f : all) size += FunctionDescriptors::size_of(f.types.size());
            ASSERT_GT(size, static_cast<std::int64_t>(FunctionDescriptors::kMemory));
        }
        EXPECT_EQ(written(all, 0x1234, 0x400), expected(all, 0x1234, 0x400));
    }
}
