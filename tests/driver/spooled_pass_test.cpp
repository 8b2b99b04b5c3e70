// Pass 2 written from pass 1's spool must be byte for byte the pass 2 that
// reads the source again, and the source must be read again whenever that
// pass has more to do than write the same code.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "driver/code_spool.hpp"
#include "support/passes.hpp"
#include "support/resource_files.hpp"
#include "support/system.hpp"
#include "support/test_support.hpp"

using namespace oxtest;

namespace {

using oxbuild::SpoolDecision;

// Compiles as the driver does and again always reading twice: the same
// messages, error count and module, and the decision expected.
void expect_same_as_reading_twice(const TempDir& dir, const std::string& source, SpoolDecision expected,
                                  PassSetup setup = {}) {
    const TwoPasses driver(dir, source, setup.in(PassMode::as_driver));
    const TwoPasses twice(dir, source, setup.in(PassMode::reading_twice));
    EXPECT_EQ(driver.decision(), expected);
    EXPECT_EQ(driver.out(), twice.out());
    EXPECT_EQ(driver.errors(), twice.errors());
    EXPECT_EQ(driver.fatal(), twice.fatal());
    EXPECT_TRUE(same_module(driver.module(), twice.module()));
}

// Every kind of mark: calls of functions defined further down (one in an
// include file read last), if/elseif/else and else-if chains, while loops
// with break and continue. The padding's returns move the code two bytes
// at a time, so that over the paddings a mark falls across the end of the
// spool's first buffer (64 KiB of code: the repeats make about 90 KiB).
std::string marked_program(int padding) {
    std::string s = "#bitmap 1 \"a.bmp\" 0\n#wave 1 \"a.wav\"\nint g;\nlater(int a);\nhelper(int a);\n";
    s += "OnLoad(int &r)\n{\n    int x;\n";
    for (int i = 0; i < padding; ++i) s += "    return;\n";
    for (int i = 0; i < 800; ++i)
        s += "    while (x) { if (x == 1) { later(x); } elseif (x == 2) { break; } else if (x == 3) { continue; }"
             " else { x = 0; } helper(x); }\n";
    s += "}\nlater(int a) { a = a + 1; }\n#include \"inc.oxh\"\n";
    return s;
}

void write_resources(const TempDir& dir, Colour colour) {
    write_file(dir / "a.wav", make_wave({1, 2, 3}));
    BmpContents bmp;
    bmp.colours_used = 1;
    bmp.colours = {colour};
    bmp.pixels.assign(4, 0);
    write_bmp(dir / "a.bmp", bmp);
}

struct Silent final : oxbuild::CompileListener {};

}  // namespace

// The spooled code kept in memory, and sent to the scratch file past its
// first buffer.
TEST(SpooledPass, WritesWhatASecondReadingWrites) {
    TempDir dir;
    write_file(dir / "inc.oxh", "helper(int a) { while (a) { a = a - 1; } }\n");
    write_resources(dir, {1, 2, 3});
    constexpr int kPaddings = 64;  // more than the code between two marks, in two-byte steps
    struct Bounds {
        std::size_t memory;
        std::size_t blocks;  // 0: the records of each function go as it closes
    };
    for (const Bounds bounds : {Bounds{oxbuild::ModuleStream::kSpoolMemory, oxbuild::BlockRecords::kKept},
                                Bounds{0, oxbuild::BlockRecords::kKept}, Bounds{0, 0}}) {
        for (int padding = 0; padding < kPaddings; ++padding) {
            SCOPED_TRACE("padding " + std::to_string(padding) + ", memory " + std::to_string(bounds.memory) +
                         ", blocks " + std::to_string(bounds.blocks));
            expect_same_as_reading_twice(dir, marked_program(padding), SpoolDecision::write_from_spool,
                                         PassSetup().spooling_in_memory(bounds.memory).keeping_blocks(bounds.blocks));
        }
    }
}

// One row for every reason to read the source again, each the first that
// fails in its program.
TEST(SpooledPass, ReadsTheSourceAgainWhenPass2HasMoreToDo) {
    Silent listener;
    TempDir no_such_directory;
    const std::string gone = no_such_directory / "gone";
    struct Case {
        const char* what;
        std::string source;
        SpoolDecision decision;
        PassSetup setup;
    };
    const std::string clean = "f(int a);\nOnLoad(int &r) { f(r); }\nf(int a) { a = 1; }\n";
    // Two blocks opened past the end of an include file share its key.
    const std::string two_blocks_at_an_end = "f()\n{\n#include \"open.oxh\"\n} } }\n";
    const Case cases[] = {
        {"a clean program", clean, SpoolDecision::write_from_spool, {}},
        {"a tool listening", clean, SpoolDecision::listened, PassSetup().listened_by(&listener)},
        // Nor to take the block records set aside: they stay in memory.
        {"code past the spool's memory, with no scratch file to hold it", marked_program(0),
         SpoolDecision::spool_incomplete, PassSetup().keeping_blocks(0)},
        {"an error", "OnLoad(int &r) { r = ; }\n", SpoolDecision::errors, {}},
        {"a warning", "#module \"a\"\n#module \"b\"\n", SpoolDecision::warnings, {}},
        // The block records set aside come back for pass 2.
        {"a warning after the block records of closed functions went", marked_program(0) + "#module \"a\"\n#module \"b\"\n",
         SpoolDecision::warnings, PassSetup().keeping_blocks(0)},
        {"two blocks at one key", two_blocks_at_an_end, SpoolDecision::shared_block_key,
         PassSetup().file("open.oxh", "{{")},
        // Blocks open at growing positions in each file, so no source makes
        // this; a record out of that order could not be found by its key.
        {"a block recorded out of position order", clean, SpoolDecision::unfindable_block,
         PassSetup().then([](oxbuild::Compiler& c) { c.run.blocks.add({0, 1}, oxbuild::BLOCK_PLAIN, 0); })},
        {"a call of a function never given a body", "f(int a);\nOnLoad(int &r) { f(r); }\n",
         SpoolDecision::function_without_body, {}},
        {"a bitmap changed between the passes", "#bitmap 1 \"a.bmp\" 0\n", SpoolDecision::resource_changed, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        write_file(dir / "inc.oxh", "helper(int a) { }\n");
        write_resources(dir, {1, 2, 3});
        PassSetup setup = c.setup;
        if (c.decision == SpoolDecision::resource_changed) setup.changing([&] { write_resources(dir, {4, 5, 6}); });
        std::optional<TemporaryDirectoryOverride> no_scratch;
        if (c.decision == SpoolDecision::spool_incomplete) {
            no_scratch.emplace(gone);
            setup.spooling_in_memory(0);
        }
        expect_same_as_reading_twice(dir, c.source, c.decision, setup);
    }
}

// Marks come back as they were added, in order, across the pieces that
// hold them (in memory, then in the scratch file), with large and small
// distances, addresses either side of their marks and names that go up and
// down.
TEST(SpoolMarks, ReadBackAsAdded) {
    constexpr std::size_t kMemory = 1000;  // a small part of the marks' bytes
    oxbuild::SpoolMarks marks(kMemory);
    std::vector<oxbuild::SpoolMark> added;
    std::uint32_t at = 0;
    std::uint64_t noise = 12345;
    for (int i = 0; i < 200'000; ++i) {
        noise = noise * 6364136223846793005ull + 1442695040888963407ull;
        at += i % 1000 == 0 ? 0x1000000u >> (i % 3) : static_cast<std::uint32_t>(noise >> 60) * 2;
        const auto kind = static_cast<oxbuild::SpoolMark::Kind>(i % 2);
        const auto near = static_cast<std::uint32_t>(static_cast<std::int64_t>(at) + (i % 5) * 100 - 200);
        const auto value = static_cast<std::uint32_t>(i % 7 == 0 ? noise >> 32 : kind == 0 ? near : i / 3);
        added.push_back({at, kind, value});
        marks.add(added.back());
    }
    auto cursor = marks.cursor();
    ASSERT_LE(added.back().at, oxbuild::SpoolMarks::kLargestAt);
    for (const oxbuild::SpoolMark& mark : added) {
        ASSERT_FALSE(cursor.done());
        ASSERT_EQ(cursor.mark().at, mark.at);
        ASSERT_EQ(cursor.mark().kind, mark.kind);
        ASSERT_EQ(cursor.mark().value, mark.value);
        cursor.advance();
    }
    EXPECT_TRUE(cursor.done());
    EXPECT_FALSE(cursor.failed());
}

// A mark holds a code address up to kLargestAt; one past it leaves the spool
// incomplete, so that pass 2 reads the source again instead.
TEST(CodeSpool, AMarkPastTheLargestAddressLeavesItIncomplete) {
    constexpr std::int64_t kLargest = oxbuild::SpoolMarks::kLargestAt;
    for (const std::int64_t at : {kLargest, kLargest + 1}) {
        SCOPED_TRACE(at);
        oxbuild::CodeSpool spool;
        const oxbuild::BlockRecords blocks;
        spool.mark_call(at, 7);
        spool.close_function(blocks);
        EXPECT_EQ(spool.complete(), at == kLargest);
    }
}
