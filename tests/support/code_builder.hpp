// Helpers for the language tests: expected bytecode built from the format's
// named values, compiling a source that must succeed (with the module's
// layout checked), and the error lines of both passes run in process
// (support/passes.hpp), with what each pass emitted compared.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "format/bytecode.hpp"
#include "driver/compiler.hpp"
#include "format/module_format.hpp"
#include "support/passes.hpp"
#include "support/test_support.hpp"

namespace oxtest {

// Type words of variable references.
inline constexpr std::uint16_t kGlobalInt = oxbuild::TYPE_INT;
inline constexpr std::uint16_t kGlobalUint = oxbuild::TYPE_UINT;
inline constexpr std::uint16_t kGlobalStr = oxbuild::TYPE_STR;
inline constexpr std::uint16_t kLocalInt = oxbuild::LOCAL_FLAG | oxbuild::TYPE_INT;
inline constexpr std::uint16_t kLocalUint = oxbuild::LOCAL_FLAG | oxbuild::TYPE_UINT;
inline constexpr std::uint16_t kLocalStr = oxbuild::LOCAL_FLAG | oxbuild::TYPE_STR;
inline constexpr std::uint16_t kLocalIntRef = oxbuild::LOCAL_FLAG | oxbuild::TYPE_INT_REF;
inline constexpr std::uint16_t kLocalUintRef = oxbuild::LOCAL_FLAG | oxbuild::TYPE_UINT_REF;
inline constexpr std::uint16_t kLocalStrRef = oxbuild::LOCAL_FLAG | oxbuild::TYPE_STR_REF;

// Sizes of the module without resources.
inline constexpr std::uint32_t kEmptyBitmapSection = 1032;
inline constexpr std::uint32_t kEmptyWaveSection = 4;
inline constexpr std::uint32_t kEmptyMenuSection = 16;
inline constexpr std::uint32_t kEventEntries = 8;
inline constexpr std::uint32_t kNoHandler = 0xFFFFFFFF;

// Expected code, word by word. Jump targets are given as code addresses and
// written plus the code base, as the module stores them.
class Code {
public:
    explicit Code(std::uint32_t code_base = 0) : base_(code_base) {}

    Code& op(oxbuild::Opcode opcode) { return word(opcode); }
    Code& token(oxbuild::ExprToken token) { return word(token); }
    Code& end() { return word(oxbuild::EXPR_END); }
    // A variable reference alone: type word and index word.
    Code& ref(std::uint16_t type_word, std::uint16_t slot) { return word(type_word).word(slot); }
    // An operand: EXPR_VAR and the reference.
    Code& var(std::uint16_t type_word, std::uint16_t slot) { return token(oxbuild::EXPR_VAR).ref(type_word, slot); }
    Code& constant(std::uint32_t value) {
        token(oxbuild::EXPR_CONST);
        w_.dword(value);
        return *this;
    }
    Code& address(std::uint32_t code_address) {
        w_.dword(base_ + code_address);
        return *this;
    }
    Code& call_standard(std::uint16_t number) { return op(oxbuild::OP_CALL).word(oxbuild::CALL_STANDARD).word(number); }
    Code& call_user(std::uint16_t index) { return op(oxbuild::OP_CALL).word(oxbuild::CALL_USER).word(index); }
    // OP_ASSIGN and the target's reference.
    Code& assign(std::uint16_t type_word, std::uint16_t slot) { return op(oxbuild::OP_ASSIGN).ref(type_word, slot); }
    Code& word(std::uint32_t value) {
        w_.word(value);
        return *this;
    }
    Code& byte(std::uint32_t value) {
        w_.byte(value);
        return *this;
    }
    Code& text(std::string_view s) {
        w_.text(s);
        return *this;
    }

    // The code address of the next word.
    std::uint32_t here() const { return static_cast<std::uint32_t>(w_.size()); }
    const Bytes& bytes() const { return w_.get(); }

private:
    std::uint32_t base_;
    ByteWriter w_;
};

// Checks every offset of a module without resources against the layout
// rules: the function table, the event table, the chain of descriptors, the
// code area ending where the bitmap section begins, and the three empty
// sections ending with the file.
inline void expect_resource_free_layout(const Bytes& m) {
    namespace f = oxbuild::format;
    ASSERT_GE(m.size(), f::kHeaderSize + f::kFunctionTableFixedSize);
    EXPECT_EQ(std::string(m.begin(), m.begin() + 4), f::kMagic);
    EXPECT_EQ(dword_at(m, f::kFormatOffset), f::kFormatNumber);
    EXPECT_EQ(dword_at(m, f::kFunctionTableOffsetField), f::kHeaderSize);
    const std::uint32_t functions = dword_at(m, f::kFunctionCountField);
    const std::uint32_t event_table = dword_at(m, f::kEventTableField);
    EXPECT_EQ(event_table, f::kDescriptorOffsetsField + 4 * functions);
    EXPECT_EQ(dword_at(m, event_table), kEventEntries);
    std::uint32_t descriptor = event_table + 4 + 4 * kEventEntries;
    for (std::uint32_t i = 0; i < functions; ++i) {
        EXPECT_EQ(dword_at(m, f::kDescriptorOffsetsField + 4 * i), descriptor) << "descriptor " << i;
        descriptor += 32 + 8 * dword_at(m, descriptor + f::kDescriptorParameterCount);
    }
    const std::uint32_t bitmap_section = dword_at(m, f::kBitmapSectionField);
    EXPECT_LE(descriptor, bitmap_section) << "the code area cannot start past the bitmap section";
    EXPECT_EQ(dword_at(m, f::kWaveSectionField), bitmap_section + kEmptyBitmapSection);
    EXPECT_EQ(dword_at(m, f::kReservedField), 0u);
    const std::uint32_t menu_section = dword_at(m, f::kMenuSectionField);
    EXPECT_EQ(menu_section, bitmap_section + kEmptyBitmapSection + kEmptyWaveSection);
    for (std::size_t i = 0; i < f::kTrailingReservedDwords; ++i)
        EXPECT_EQ(dword_at(m, f::kMenuSectionField + 4 + 4 * i), 0u);
    EXPECT_EQ(m.size(), menu_section + kEmptyMenuSection);
}

// Compiles a source that must compile without errors and returns the module.
inline Bytes compile_ok(std::string_view source) {
    const Compiled result = compile_source(source);
    EXPECT_EQ(result.out, created_output()) << "source:\n" << source;
    EXPECT_EQ(result.out.find("Fatal Error"), std::string::npos);
    if (!result.module_exists) {
        ADD_FAILURE() << "no module was written";
        return {};
    }
    expect_resource_free_layout(result.module);
    return result.module;
}

// The code area of an error-free source.
inline Bytes code_of(std::string_view source) {
    const Bytes module = compile_ok(source);
    return module.empty() ? Bytes{} : code_area(module);
}

// The error lines of a faulty source, after checking that both passes
// emitted the same number of code bytes and that the compiler did not stop.
inline std::string errors_of(std::string_view source) {
    TwoPasses passes(source);
    EXPECT_FALSE(passes.fatal()) << "source:\n" << source;
    EXPECT_EQ(passes.pass2_code_size(), passes.pass1_code_size()) << "source:\n" << source;
    EXPECT_NE(passes.errors(), 0) << "source:\n" << source;
    return passes.out();
}

// Shorthand for the expected error lines of prog.oxs.
inline std::string error_at(int line, const oxbuild::Message& message, std::string_view detail = "") {
    return error_line("prog.oxs", line, message, detail);
}
inline std::string name_detail(std::string_view name) { return ": " + std::string(name); }

}  // namespace oxtest
