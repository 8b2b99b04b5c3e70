// docs/module-format.md held to the compiler and the inspector: its tiny
// module, compiled beside the example files, lists exactly as the document
// shows, and its table of expression tokens is the one oxdump decodes.
#include <gtest/gtest.h>

#include <sstream>

#include "docs/doc_support.hpp"
#include "format/bytecode.hpp"
#include "oxdump/oxdump.hpp"

namespace {

const oxdocs::Markdown& document() {
    static const oxdocs::Markdown doc = oxdocs::read_document("module-format.md");
    return doc;
}

const oxdocs::FencedBlock& only_block(std::string_view language) {
    const oxdocs::FencedBlock* found = nullptr;
    for (const oxdocs::FencedBlock& b : document().blocks)
        if (b.language == language) {
            EXPECT_EQ(found, nullptr) << "a second ```" << language << " block at module-format.md:" << b.line;
            found = &b;
        }
    if (found == nullptr) throw std::runtime_error("no ```" + std::string(language) + " block");
    return *found;
}

TEST(ModuleFormatDocument, TheTinyModuleListsAsShown) {
    oxtest::TempDir dir;
    oxdocs::write_example_files(dir);
    const oxtest::Compiled compiled = oxtest::compile_in(dir, only_block("oxs").text, "tiny.oxs");
    ASSERT_TRUE(compiled.module_exists) << compiled.out;
    std::ostringstream listing, error;
    ASSERT_EQ(oxdump::dump_module_bytes(compiled.module, "tiny.oxb", listing, error), oxdump::kExitListed)
        << error.str();
    EXPECT_EQ(listing.str(), only_block("oxdump").text);
}

// "| 0x50 | `OP_ADD` | `+` | 5 | binary |"
TEST(ModuleFormatDocument, OperatorTokensAreTheOnesTheInspectorDecodes) {
    int documented = 0;
    for (const std::string& line : document().section_lines.at("Expressions")) {
        if (!oxdocs::starts_with(line, "| 0x")) continue;
        const auto cells = oxdocs::table_cells(line);
        const std::string& kind = cells.at(4);
        if (kind != "prefix" && kind != "binary") continue;
        ++documented;
        const auto token = static_cast<std::uint16_t>(std::stoi(cells.at(0), nullptr, 16));
        const oxbuild::OperatorSpelling* op = oxbuild::find_operator(token);
        ASSERT_NE(op, nullptr) << line;
        EXPECT_EQ(op->text, cells.at(2)) << line;
        EXPECT_EQ(op->place == oxbuild::OperatorPlace::prefix ? "prefix" : "binary", kind) << line;
        EXPECT_EQ(std::to_string(token >> 4), cells.at(3)) << line;
    }
    int known = 0;
    for (std::uint32_t token = 0; token <= 0xFFFF; ++token) known += oxbuild::find_operator(token) != nullptr;
    EXPECT_EQ(documented, known);
}

}  // namespace
