// The command line of the Windows build, through the built oxbuild.exe:
// drive letters, each drive's own current directory, rooted names, devices,
// options and the console's line ends. The sources lie under the test's own
// working directory, the compiler runs in a temporary directory, so that
// under Wine they are on different drives (Z: and C:).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "driver/command_line.hpp"
#include "support/resource_files.hpp"
#include "support/system.hpp"
#include "support/test_support.hpp"

using namespace oxbuild;
using namespace oxtest;

namespace fs = std::filesystem;

namespace {

constexpr char kWindowsOnly[] = "Windows only: drive letters and the Windows command line";

// "Z:" of "Z:\work\src".
std::string drive_of(const fs::path& p) { return p.root_name().string(); }
// "\work\src" of "Z:\work\src".
std::string rooted(const fs::path& p) { return p.string().substr(drive_of(p).size()); }

// src\prog.oxs with its includes in every relative form, a bitmap and a wave.
struct SourceTree {
    TempDir top{fs::current_path()};
    fs::path src = top.path() / "src";

    explicit SourceTree(bool with_error) {
        fs::create_directories(src / "sub");
        write_file((src / "inc.oxh").string(), "int a;\n");
        write_file((src / "sub" / "nested.oxh").string(), "int b;\n");
        write_file((src / "rooted.oxh").string(), "int c;\n");
        write_bmp((src / "pic.bmp").string(), {.width = 1, .height = 1, .pixels = Bytes(4, 0)});
        write_file((src / "snd.wav").string(), make_wave({1, 2}));
        write_file((src / "prog.oxs").string(), "#include \"inc.oxh\"\n#include \"sub\\nested.oxh\"\n#include \"" +
                                                    rooted(src / "rooted.oxh") +
                                                    "\"\n#bitmap 1 \"pic.bmp\" 0\n#wave 1 \"snd.wav\"\n" +
                                                    (with_error ? "$\n" : ""));
    }
};

struct NameForm {
    const char* what;
    std::string arg;               // the source as the command line names it
    std::vector<std::string> env;  // e.g. "=Z:=Z:\work" sets drive Z's current directory
    bool on_source_drive;          // runs in the source's drive's root instead of the temporary directory
};

std::vector<NameForm> name_forms(const SourceTree& t) {
    const std::string drive = drive_of(t.src);
    return {
        {"absolute", (t.src / "prog").string(), {}, false},
        {"absolute with slashes", (t.src / "prog").generic_string(), {}, false},
        {"drive-relative", drive + "prog", {"=" + drive + "=" + t.src.string()}, false},
        {"drive-relative with a directory", drive + "src\\prog", {"=" + drive + "=" + t.top.path().string()}, false},
        {"rooted", rooted(t.src / "prog"), {}, true},
    };
}

RunResult run_form(const NameForm& form, const TempDir& elsewhere, const SourceTree& t) {
    const std::string cwd = form.on_source_drive ? drive_of(t.src) + "\\" : elsewhere.path().string();
    return run_binary({form.arg}, cwd, form.env);
}

}  // namespace

TEST(WindowsCommandLine, EveryFormOfNameFindsTheSourceWithItsIncludesAndResources) {
    if (!on_windows()) GTEST_SKIP() << kWindowsOnly;
    const SourceTree tree(false);
    const TempDir elsewhere;
    if (drive_of(elsewhere.path()) == drive_of(tree.src)) GTEST_SKIP() << "needs the temporary directory on another drive";
    std::vector<Bytes> modules;
    for (const NameForm& form : name_forms(tree)) {
        const RunResult r = run_form(form, elsewhere, tree);
        EXPECT_EQ(r.out, std::string(kBanner) + created_output(form.arg + ".oxb")) << form.what;
        EXPECT_EQ(r.status, kExitSuccess) << form.what;
        const Bytes module = read_file((tree.src / "prog.oxb").string());
        EXPECT_EQ(dword_at(bitmap_section(module), 1028), 1u) << form.what;
        EXPECT_EQ(dword_at(wave_section(module), 0), 1u) << form.what;
        modules.push_back(module);
        fs::remove(tree.src / "prog.oxb");
    }
    for (const Bytes& m : modules) EXPECT_EQ(m, modules.front());
}

TEST(WindowsCommandLine, FailedCompilationDeletesItsModuleWhateverTheFormOfName) {
    if (!on_windows()) GTEST_SKIP() << kWindowsOnly;
    const SourceTree tree(true);
    const TempDir elsewhere;
    if (drive_of(elsewhere.path()) == drive_of(tree.src)) GTEST_SKIP() << "needs the temporary directory on another drive";
    for (const NameForm& form : name_forms(tree)) {
        const RunResult r = run_form(form, elsewhere, tree);
        EXPECT_EQ(r.out, std::string(kBanner) + failed_output(error_line(form.arg + ".oxs", 6, msg::syntax), 1))
            << form.what;
        EXPECT_EQ(r.status, kExitSourceErrors) << form.what;
        EXPECT_FALSE(file_exists((tree.src / "prog.oxb").string())) << form.what;
        EXPECT_TRUE(fs::is_empty(elsewhere.path())) << form.what;
    }
}

// Devices are never opened as files, whatever their spelling; a directory
// given as the source is not found either.
TEST(WindowsCommandLine, DevicesAndDirectoriesAreNotFound) {
    if (!on_windows()) GTEST_SKIP() << kWindowsOnly;
    const TempDir dir;
    fs::create_directory(dir.path() / "folder.oxs");
    for (const std::string source : {"CON", "nul", "COM1.oxs", "\\\\.\\NUL", "folder"}) {
        const RunResult r = run_binary({source}, dir.path().string());
        EXPECT_EQ(r.out, std::string(kBanner) + std::string(msg::source_not_found.cp932) + "\n") << source;
        EXPECT_EQ(r.status, -1) << source;
    }
}

// Every argument that begins with '/' is an option, a path among them.
TEST(WindowsCommandLine, EveryArgumentBeginningWithASlashIsAnOption) {
    if (!on_windows()) GTEST_SKIP() << kWindowsOnly;
    const TempDir dir;
    write_file(dir / "prog.oxs", "int x;\n");
    const RunResult only_options = run_binary({"/x/prog", "//prog"}, dir.path().string());
    EXPECT_EQ(only_options.out, std::string(kBanner) + std::string(msg::no_file_given.cp932) + "\n");
    EXPECT_EQ(only_options.status, -1);
    const RunResult compiled = run_binary({"/x/prog", "prog", "/o"}, dir.path().string());
    EXPECT_EQ(compiled.out, std::string(kBanner) + created_output());
}

// A console program in text mode: every line ends in CR LF, messages and
// names in code page 932 bytes unchanged.
TEST(WindowsCommandLine, StandardOutputLinesEndInCrLf) {
    if (!on_windows()) GTEST_SKIP() << kWindowsOnly;
    const TempDir dir;
    write_file(dir / "prog.oxs", "int x;\n$\n");
    const RunResult r = run_binary({"prog"}, dir.path().string());
    const std::string expected = std::string(kBanner) + failed_output(error_line("prog.oxs", 2, msg::syntax), 1);
    std::string crlf;
    for (const char c : expected) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(r.raw_out, crlf);
}
