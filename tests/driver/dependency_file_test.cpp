// The dependency file for build tools (OXBUILD_DEPFILE): the names it holds,
// how they are quoted, when none is written, and make reading it back.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "driver/dependency_file.hpp"
#include "core/messages.hpp"
#include "platform/platform.hpp"
#include "support/resource_files.hpp"
#include "support/system.hpp"
#include "support/test_support.hpp"

using namespace oxbuild;
using oxtest::RunResult;
using oxtest::TempDir;

namespace fs = std::filesystem;

namespace {

constexpr int kStatusOk = 0;
constexpr int kStatusErrors = 1;
constexpr int kStatusFailure = platform::kFailureStatus;  // -1, which a POSIX shell sees as 255
constexpr char kBanner[] = "Ombrix Module compiler   Version 1.4.0\n";
constexpr char kGoodSource[] = "int count;\n";
const oxtest::BmpContents kOnePixel{.pixels = oxtest::Bytes(4)};  // one row, padded to 4 bytes

std::string text_of(const std::string& path) {
    const oxtest::Bytes bytes = oxtest::read_file(path);
    return std::string(bytes.begin(), bytes.end());
}

std::string depfile_env(const std::string& path) { return "OXBUILD_DEPFILE=" + path; }

// The first fenced block of the given language in a document of docs/.
std::string fenced_block(const std::string& document, const std::string& language) {
    const std::string text = text_of(std::string(OXBUILD_DOCS_DIR) + "/" + document);
    const std::string opening = "```" + language + "\n";
    const std::size_t start = text.find(opening);
    if (start == std::string::npos) return "";
    const std::size_t body = start + opening.size();
    return text.substr(body, text.find("```", body) - body);
}

void set_seconds_ago(const std::string& path, int seconds) {
    fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::seconds(seconds));
}

}  // namespace

// make reads 2N+1 backslashes before a blank as N and a quoted blank; only a
// code page 932 trail byte 0x5C is a backslash in a name.
TEST(DependencyFile, NamesAreQuotedAsMakeReadsThem) {
    struct Row {
        std::string name;
        std::string written;
    };
    const Row rows[] = {
        {"src/prog.oxs", "src/prog.oxs"},
        {"my prog.oxs", "my\\ prog.oxs"},
        {"a\tb.oxs", "a\\\tb.oxs"},
        {"no#1.bmp", "no\\#1.bmp"},
        {"c:d.wav", "c\\:d.wav"},
        {"$HOME.oxs", "$$HOME.oxs"},
        {"\x95\x5C x.bmp", "\x95\\\\\\ x.bmp"},
        {"\x95\x5Cx.bmp", "\x95\\x.bmp"},
    };
    for (const Row& row : rows) {
        const std::vector<std::string> names{row.name};
        EXPECT_EQ(dependency_rule(row.name, names), row.written + ": " + row.written + "\n") << row.name;
    }
    for (const std::string refused : {"a\nb.oxs", "a\rb.oxs", "x\x95\x5C"}) {
        const std::vector<std::string> names{"ok.oxs", refused};
        EXPECT_EQ(dependency_rule("prog.oxb", names), std::nullopt) << refused;
        EXPECT_EQ(dependency_rule(refused, {}), std::nullopt) << refused;
    }
}

// The source, each include (nested ones too), bitmap and wave, each once in
// the order first read, named as the compiler opened them.
TEST(DependencyFile, NamesEveryFileReadOnce) {
    TempDir dir;
    fs::create_directories(dir / "src/inc");
    oxtest::write_file(dir / "src/prog.oxs",
                       "#include \"inc/a b.oxs\"\n#bitmap 1 \"pic.bmp\" 0\n#wave 1 \"snd.wav\"\n"
                       "#bitmap 2 \"pic.bmp\" 0\n#include \"inc/a b.oxs\"\nint x;\n");
    oxtest::write_file(dir / "src/inc/a b.oxs", "#include \"inc\\c.oxs\"\n");
    oxtest::write_file(dir / "src/inc/c.oxs", "// nothing\n");
    oxtest::write_bmp(dir / "src/pic.bmp", kOnePixel);
    oxtest::write_file(dir / "src/snd.wav", oxtest::make_wave({1, 2, 3}));

    const RunResult r = oxtest::run_binary({"src/prog"}, dir.path().string(), {depfile_env("prog.d")});
    EXPECT_EQ(r.status, kStatusOk) << r.out;
    // Windows opens names with the separators they were written with.
    EXPECT_EQ(text_of(dir / "prog.d"),
              oxtest::on_windows()
                  ? "src/prog.oxb: src/prog.oxs src\\inc/a\\ b.oxs src\\inc\\c.oxs src\\pic.bmp src\\snd.wav\n"
                    "src\\inc/a\\ b.oxs:\nsrc\\inc\\c.oxs:\nsrc\\pic.bmp:\nsrc\\snd.wav:\n"
                  : "src/prog.oxb: src/prog.oxs src/inc/a\\ b.oxs src/inc/c.oxs src/pic.bmp src/snd.wav\n"
                    "src/inc/a\\ b.oxs:\nsrc/inc/c.oxs:\nsrc/pic.bmp:\nsrc/snd.wav:\n");
}

// A failed compile writes no dependency file and leaves an earlier one; a
// dependency file that cannot be written fails the run, the module goes and
// the file it would have overwritten stays.
TEST(DependencyFile, NoneAfterAFailureAndAFailureWhenNotWritten) {
    struct Row {
        const char* what;
        std::string source;
        std::string depfile;
        int status;
        bool module_is_full_device;
    };
    const std::string not_written = std::string(msg::depfile_not_written.cp932) + ": ";
    const Row rows[] = {
        {"source errors", "int count;\n$\n", "prog.d", kStatusErrors, false},
        {"fatal stop", kGoodSource, "prog.d", kStatusFailure, true},
        {"missing directory", kGoodSource, "none/prog.d", kStatusFailure, false},
        {"names the source", kGoodSource, "prog.oxs", kStatusFailure, false},
    };
    for (const Row& row : rows) {
        TempDir dir;
        oxtest::write_file(dir / "prog.oxs", row.source);
        oxtest::write_file(dir / "prog.d", "prog.oxb: old.oxs\n");
        if (row.module_is_full_device) {
            if (oxtest::on_windows() || !oxtest::file_exists("/dev/full")) continue;  // POSIX only
            fs::create_symlink("/dev/full", dir / "prog.oxb");
        }
        const RunResult r = oxtest::run_binary({"prog"}, dir.path().string(), {depfile_env(row.depfile)});
        EXPECT_EQ(r.status, row.status) << row.what;
        EXPECT_EQ(text_of(dir / "prog.d"), "prog.oxb: old.oxs\n") << row.what;
        EXPECT_EQ(text_of(dir / "prog.oxs"), row.source) << row.what;
        EXPECT_FALSE(fs::is_regular_file(dir / "prog.oxb")) << row.what;
        if (row.status == kStatusFailure && !row.module_is_full_device) {
            EXPECT_EQ(r.out, kBanner + not_written + row.depfile + "\n") << row.what;
        }
    }
}

// The Makefile rule of docs/build-tools.md: touching an include file or a
// bitmap makes the module again, touching nothing makes nothing, and an
// include file renamed (the source changed to name it) does not stop make.
// The names hold a blank, '#', '$' and a trail byte 0x5C before a blank.
TEST(DependencyFile, MakeRebuildsWhatTheModuleWasBuiltFrom) {
    if (!oxtest::on_path("make")) GTEST_SKIP() << "make is not installed";
    const std::string makefile = fenced_block("build-tools.md", "make");
    ASSERT_NE(makefile, "");
    TempDir dir;
    const std::string include = "my #1 $inc.oxs";
    const std::string bitmap = "\x95\x5C pic.bmp";
    oxtest::write_file(dir / "Makefile", makefile);
    oxtest::write_file(dir / "prog.oxs", "#include \"" + include + "\"\n#bitmap 1 \"" + bitmap + "\" 0\nint a;\n");
    oxtest::write_file(dir / include, "int b;\n");
    oxtest::write_bmp(dir / bitmap, kOnePixel);
    // Times well apart, so that a clock of coarse resolution hides nothing:
    // the inputs old, the module younger than them, the edited input younger
    // still.
    constexpr int kInputAge = 100, kModuleAge = 50, kEditAge = 40;
    const std::string inputs[] = {"prog.oxs", include, bitmap};
    const auto edit = [&](const std::string& edited) {
        for (const std::string& input : inputs) set_seconds_ago(dir / input, input == edited ? kEditAge : kInputAge);
        if (fs::exists(dir / "prog.oxb")) set_seconds_ago(dir / "prog.oxb", kModuleAge);
    };
    edit("");
    const auto made_again = [&] {
        const RunResult r = oxtest::run_program(
            "make", {std::string("OXBUILD=") + OXBUILD_BINARY, "MODULES=prog.oxb"}, dir.path().string());
        EXPECT_EQ(r.status, kStatusOk) << r.out;
        return r.out.find("   prog.oxb created\n") != std::string::npos;
    };
    EXPECT_TRUE(made_again());
    EXPECT_FALSE(made_again());
    edit("");
    EXPECT_FALSE(made_again());
    edit(include);
    EXPECT_TRUE(made_again());
    EXPECT_FALSE(made_again());
    edit(bitmap);
    EXPECT_TRUE(made_again());
    EXPECT_FALSE(made_again());
    const std::string renamed = "helpers.oxs";
    fs::rename(dir / include, dir / renamed);
    oxtest::write_file(dir / "prog.oxs", "#include \"" + renamed + "\"\n#bitmap 1 \"" + bitmap + "\" 0\nint a;\n");
    for (const std::string& input : {renamed, bitmap}) set_seconds_ago(dir / input, kInputAge);
    set_seconds_ago(dir / "prog.oxb", kModuleAge);
    set_seconds_ago(dir / "prog.oxs", kEditAge);
    EXPECT_TRUE(made_again());
    EXPECT_FALSE(made_again());
}
