// What a listener hears: one that hears only the reading is told of every
// token and block and of nothing else; one that hears the meaning too is
// told of declarations, uses, calls and instructions as well, and both hear
// the same tokens.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "driver/compiler.hpp"
#include "driver/spooled_pass.hpp"
#include "lexer/source_stream.hpp"

namespace {

struct Counting final : oxbuild::CompileListener {
    explicit Counting(bool meaning) : meaning_(meaning) {}
    bool hears_meaning() const override { return meaning_; }
    void token_read(oxbuild::TokenKind, const oxbuild::SourceSpan&) override { ++tokens; }
    void block_opened(int, const oxbuild::SourcePoint&) override { ++blocks; }
    void variable_declared(const oxbuild::NameAt&, oxbuild::TypeCode, int, std::int32_t) override { ++meaning; }
    void parameter_declared(const oxbuild::NameAt&, oxbuild::TypeCode, std::size_t, std::int32_t) override {
        ++meaning;
    }
    void function_declared(const oxbuild::NameAt&, std::span<const oxbuild::TypeCode>, bool) override { ++meaning; }
    void variable_used(const oxbuild::NameAt&, const std::optional<oxbuild::SymbolInfo>&) override { ++meaning; }
    void function_called(const oxbuild::NameAt&) override { ++meaning; }
    void instruction_started(std::int64_t, const oxbuild::SourcePoint&, int, oxbuild::Opcode) override { ++meaning; }

    int tokens = 0, blocks = 0, meaning = 0;

private:
    bool meaning_;
};

Counting hear_pass_1(const std::string& source, bool meaning) {
    Counting listener(meaning);
    std::ostringstream out;
    oxbuild::Compiler c(out, oxbuild::MessageStyle::english);
    c.listen_to_pass_1(&listener);
    const auto stream = oxbuild::SourceStream::from_view(source);
    c.main_source = stream.get();
    c.main_source_name = "prog.oxs";
    (void)oxbuild::compile_passes(c, *stream);
    EXPECT_EQ(c.diag.error_count() + c.diag.warning_count(), 0) << out.str();
    return listener;
}

TEST(Listener, OneThatHearsOnlyTheReadingIsToldOfNothingElse) {
    const std::string source = "int g;\nf(int a)\n{\n    g = a;\n}\nOnUnload()\n{\n    f(g);\n}\n";
    const Counting reading = hear_pass_1(source, false);
    const Counting everything = hear_pass_1(source, true);
    EXPECT_EQ(reading.meaning, 0);
    EXPECT_GT(everything.meaning, 0);
    EXPECT_EQ(reading.tokens, everything.tokens);
    EXPECT_EQ(reading.blocks, 2);
    EXPECT_EQ(everything.blocks, 2);
}

}  // namespace
