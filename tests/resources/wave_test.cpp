// #wave: RIFF files copied whole into the wave section, and the files that
// are refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "core/fatal.hpp"
#include "core/module_stream.hpp"
#include "driver/command_line.hpp"
#include "driver/compiler.hpp"
#include "resources/waves.hpp"

#include "format/module_format.hpp"
#include "support/resource_files.hpp"
#include "support/system.hpp"
#include "support/test_support.hpp"

using namespace oxtest;
using namespace oxbuild;

namespace {

// A module without functions or bitmaps: the wave section follows the
// 1032-byte empty bitmap section at the code base 272.
constexpr std::uint32_t kWaveSection = 272 + 1032;
constexpr std::uint32_t kDirectoryEntry = 12;  // number, data offset, size

const std::string kProg = "prog.oxs";

Bytes counting_bytes(std::size_t n, unsigned char first) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<unsigned char>(first + i);
    return b;
}

}  // namespace

TEST(Waves, FilesAreCopiedWholeAfterTheirDirectory) {
    TempDir dir;
    std::filesystem::create_directory(dir / "snd");
    const Bytes wave = make_wave(counting_bytes(56, 0x80));  // 100 bytes
    const Bytes other = make_riff("AVI ", counting_bytes(38, 1));  // 50 bytes: any form type is taken
    ASSERT_EQ(wave.size(), 100u);
    ASSERT_EQ(other.size(), 50u);
    write_file(dir / "snd/a.wav", wave);
    write_file(dir / "b.riff", other);

    const Compiled result = compile_in(dir, "#wave 10 \"snd\\a.wav\"\n#wave -3 \"b.riff\"\n");
    ASSERT_EQ(result.out, created_output());
    ASSERT_EQ(dword_at(result.module, format::kWaveSectionField), kWaveSection);
    ByteWriter expected;
    expected.dword(2);
    expected.dword(10).dword(kWaveSection + 4 + 2 * kDirectoryEntry).dword(100);        // W + 28
    expected.dword(0xFFFFFFFD).dword(kWaveSection + 4 + 2 * kDirectoryEntry + 100).dword(50);  // W + 128
    expected.bytes(wave).bytes(other);
    EXPECT_EQ(hex(wave_section(result.module)), hex(expected.get()));
    EXPECT_EQ(dword_at(result.module, format::kMenuSectionField), kWaveSection + 4 + 24 + 150);
}

// The section reads each file again as it is written, a piece at a time:
// a file of several pieces comes out whole, and one that no longer holds
// the size recorded for it stops the run, whether or not the pass writes a
// module.
TEST(Waves, TheSectionCopiesTheRecordedSizeOrStops) {
    TempDir dir;
    const Bytes wave = make_wave(counting_bytes(200000, 7));  // more than three pieces of 64 KiB
    write_file(dir / "a.wav", wave);
    const auto size = static_cast<std::int64_t>(wave.size());
    for (const bool writing : {true, false}) {
        for (const std::int64_t recorded : {size, size + 1}) {
            SCOPED_TRACE(testing::Message() << (writing ? "writing" : "writing nowhere") << ", recorded " << recorded);
            std::ostringstream out;
            Compiler c(out);
            c.base_dir = dir.path().string();
            c.begin_pass(2);
            const auto module = ModuleStream::spool(std::size_t{1} << 20);
            if (writing) c.sink.attach(module.get());
            c.p().waves.push_back({1, "a.wav", recorded});
            if (recorded != size) {
                EXPECT_THROW(write_wave_section(c), FatalStop);
                continue;
            }
            write_wave_section(c);
            Bytes written;
            ASSERT_TRUE(module->read_back(
                [&](unsigned char* data, std::size_t n) { written.insert(written.end(), data, data + n); }));
            ByteWriter expected;
            if (writing) expected.dword(1).dword(1).dword(4 + kDirectoryEntry).dword(recorded).bytes(wave);
            EXPECT_EQ(written, expected.get());
        }
    }
}

TEST(Waves, FilesThatAreNoRiffFilesAreRefused) {
    struct Case {
        const char* what;
        std::string bytes;
    };
    using namespace std::string_literals;
    const Case cases[] = {
        {"empty", ""s},
        {"three bytes", "RIF"s},
        {"lower-case magic", "riff\x04\0\0\0WAVE"s},
        {"some other file", "BM\x36\0\0\0"s},
    };
    for (const Case& c : cases) {
        TempDir dir;
        write_file(dir / "x.wav", std::string_view(c.bytes));
        write_file(dir / "good.wav", make_wave({0x80, 0x80}));
        // Not added: the good wave under the same number is no duplicate.
        const Compiled result = compile_in(dir, "#wave 1 \"x.wav\"\n#wave 1 \"good.wav\"\n");
        EXPECT_EQ(result.out, failed_output(error_line(kProg, 1, msg::wave_malformed, ": x.wav"), 1)) << c.what;
        EXPECT_FALSE(result.module_exists) << c.what;
    }
}

TEST(Waves, MissingFilesAndDirectoriesAreNotFound) {
    TempDir dir;
    std::filesystem::create_directory(dir / "sounds.wav");
    const Compiled result = compile_in(dir, "#wave 1 \"none.wav\"\n#wave 2 \"sounds.wav\"\n");
    EXPECT_EQ(result.out, failed_output(error_line(kProg, 1, msg::wave_not_found, ": none.wav") +
                                            error_line(kProg, 2, msg::wave_not_found, ": sounds.wav"),
                                        2));
}

TEST(Waves, DuplicateNumberIsReportedForTheSecondDirective) {
    TempDir dir;
    write_file(dir / "a.wav", make_wave({1, 2}));
    const Compiled result = compile_in(dir, "#wave 3 \"a.wav\"\n#wave 3 \"a.wav\"\n");
    EXPECT_EQ(result.out, failed_output(error_line(kProg, 2, msg::wave_number_twice), 1));
}

// A module past 2^31 - 1 bytes cannot store its offsets and is refused
// before its waves are copied: with files capped at 64 MiB, oxbuild still
// ends in the fatal stop and leaves no module, instead of being killed by
// the cap. The waves are sparse files.
TEST(Waves, AModulePast2GiBIsRefusedBeforeTheWavesAreWritten) {
    constexpr std::int64_t k2GiB = std::int64_t{1} << 31;
    constexpr std::int64_t kEmptyMenuSection = 16;
    struct Case {
        const char* what;
        std::string menus;
        std::int64_t menu_section_size;
        std::int64_t module_size;
    };
    const Case cases[] = {
        {"menu directory offset 0x80000006", "", kEmptyMenuSection, k2GiB + 10},
        {"one byte too many", "", kEmptyMenuSection, k2GiB},
        {"one byte too many with a menu", "#menu 1 { }\n", kEmptyMenuSection + 4 + 4, k2GiB},
    };
    if (!FileSizeCap::available()) GTEST_SKIP() << "no cap on the size of written files here, and no sparse files";
    for (const Case& c : cases) {
        TempDir dir;
        const std::int64_t menu_section = c.module_size - c.menu_section_size;
        write_sparse_riff(dir / "big.wav", menu_section - (kWaveSection + 4 + kDirectoryEntry));
        write_file(dir / kProg, "#wave 1 \"big.wav\"\n" + c.menus);
        RunResult r;
        {
            const FileSizeCap cap(64 << 20);
            r = run_binary({kProg}, dir.path().string());
        }
        EXPECT_EQ(r.status, kExitFailure) << c.what;
        EXPECT_EQ(r.out, std::string(kBanner) + "   Fatal Error\n") << c.what;
        EXPECT_FALSE(file_exists(dir / "prog.oxb")) << c.what;
    }
}
