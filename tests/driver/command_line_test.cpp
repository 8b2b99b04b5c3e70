// The command line as a user meets it, through the built binary: what is
// printed (banner, usage, messages in code page 932 or UTF-8), the exit
// status, and which files are left behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

#include "driver/command_line.hpp"
#include "support/system.hpp"
#include "support/test_support.hpp"

using namespace oxbuild;
using oxtest::RunResult;
using oxtest::TempDir;

namespace fs = std::filesystem;

namespace {

constexpr char kBannerLine[] = "Ombrix Module compiler   Version 1.4.0\n";
constexpr char kUsageLine[] = "   oxbuild  /option fileneme\n";
constexpr char kFatalLine[] = "   Fatal Error\n";
constexpr int kStatusOk = 0;
constexpr int kStatusErrors = 1;
constexpr int kStatusFailure = kExitFailure;  // -1, which a POSIX shell sees as 255

constexpr char kGoodSource[] = "int count;\n";
constexpr char kBadSource[] = "int count;\n$\n";  // a syntax error on line 2

// A message line of the driver.
std::string line(const Message& m) { return std::string(m.cp932) + "\n"; }

RunResult run(const TempDir& dir, const std::vector<std::string>& args, const std::vector<std::string>& env = {}) {
    oxtest::unset_environment("OXBUILD_MESSAGES");
    return oxtest::run_binary(args, dir.path().string(), env);
}

std::string after_banner(const RunResult& r) {
    const std::string banner = kBannerLine;
    return r.out.compare(0, banner.size(), banner) == 0 ? r.out.substr(banner.size()) : "<no banner>" + r.out;
}

std::vector<std::string> files_named(const TempDir& dir, std::string_view extension) {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(dir.path()))
        if (entry.path().extension() == extension) found.push_back(oxtest::generic_name(fs::relative(entry.path(), dir.path())));
    return found;
}

// Whether reading the first byte of the file fails with an I/O error.
bool read_fails_with_eio(const char* path) {
    const int fd = ::open(path, O_RDONLY);
    if (fd < 0) return false;
    char byte;
    const bool eio = ::read(fd, &byte, 1) < 0 && errno == EIO;
    ::close(fd);
    return eio;
}

}  // namespace

TEST(CommandLine, NoArgumentsPrintsTheUsageLine) {
    TempDir dir;
    const RunResult r = run(dir, {});
    EXPECT_EQ(r.out, std::string(kBannerLine) + kUsageLine);
    EXPECT_EQ(r.status, kStatusOk);
}

// Every line of the driver's failure table: the printed text, the status,
// and that no module is left.
TEST(CommandLine, FailureTable) {
    struct Row {
        const char* what;
        std::function<void(const TempDir&)> setup;
        std::vector<std::string> args;
        std::string printed;
        int status;
    };
    const auto sources = [](std::vector<std::string> names, std::string text) {
        return [names, text](const TempDir& dir) {
            for (const std::string& n : names) oxtest::write_file(dir / n, text);
        };
    };
    const Row rows[] = {
        {"second file name", sources({"a.oxs", "b.oxs"}, kGoodSource), {"a", "b"}, line(msg::bad_parameters),
         kStatusFailure},
        {"second name after an option", sources({"a.oxs", "b.oxs"}, kGoodSource), {"a", "/x", "b"},
         line(msg::bad_parameters), kStatusFailure},
        {"only options", sources({}, ""), {"/a", "/b"}, line(msg::no_file_given), kStatusFailure},
        {"a lone slash is an option", sources({}, ""), {"/"}, line(msg::no_file_given), kStatusFailure},
        {"source missing", sources({}, ""), {"prog"}, line(msg::source_not_found), kStatusFailure},
        {"source is a directory", [](const TempDir& d) { fs::create_directory(d / "prog.oxs"); }, {"prog"},
         line(msg::source_not_found), kStatusFailure},
        {"module cannot be opened",
         [](const TempDir& d) {
             oxtest::write_file(d / "prog.oxs", kGoodSource);
             fs::create_directory(d / "prog.oxb");
         },
         {"prog"}, line(msg::module_not_opened), kStatusFailure},
        {"compilation with errors", sources({"prog.oxs"}, kBadSource), {"prog"},
         oxtest::failed_output(oxtest::error_line("prog.oxs", 2, msg::syntax), 1), kStatusErrors},
    };
    for (const Row& row : rows) {
        TempDir dir;
        row.setup(dir);
        const RunResult r = run(dir, row.args);
        EXPECT_EQ(after_banner(r), row.printed) << row.what;
        EXPECT_EQ(r.status, row.status) << row.what;
        EXPECT_FALSE(oxtest::file_exists(dir / "a.oxb") || oxtest::file_exists(dir / "b.oxb")) << row.what;
        EXPECT_FALSE(fs::is_regular_file(dir / "prog.oxb")) << row.what;
    }
}

TEST(CommandLine, CompilationWithoutErrorsLeavesTheModule) {
    TempDir dir;
    oxtest::write_file(dir / "prog.oxs", kGoodSource);
    const RunResult r = run(dir, {"prog"});
    EXPECT_EQ(after_banner(r), "   prog.oxb created\n");
    EXPECT_EQ(r.status, kStatusOk);
    EXPECT_TRUE(oxtest::file_exists(dir / "prog.oxb"));
}

// Warnings are not counted: they come before the created line, status 0.
TEST(CommandLine, WarningsPrecedeTheCreatedLine) {
    TempDir dir;
    oxtest::write_file(dir / "prog.oxs", "#module \"a\"\n#module \"b\"\n");
    const RunResult r = run(dir, {"prog"});
    EXPECT_EQ(after_banner(r), "prog.oxs(2):" + std::string(msg::warning.cp932) +
                                   std::string(msg::module_redefined.cp932) + "\n   prog.oxb created\n");
    EXPECT_EQ(r.status, kStatusOk);
    EXPECT_TRUE(oxtest::file_exists(dir / "prog.oxb"));
}

// An existing module is written over in place and cut to the new bytes;
// an include that names the module reads it as the emptied file it was
// before (here it would otherwise hold syntax errors). Every run gives what
// the same sources give where no module was there before.
TEST(CommandLine, AnOldModuleIsReplacedAsIfItWereEmptiedFirst) {
    const std::string sources[] = {kGoodSource, "#include \"prog.oxb\"\nint count;\n"};
    const std::string old_modules[] = {std::string(100'000, 'x'), "$", "$\n$\n"};
    for (const std::string& source : sources) {
        TempDir fresh;
        oxtest::write_file(fresh / "prog.oxs", source);
        const RunResult expected = run(fresh, {"prog"});
        ASSERT_EQ(expected.status, kStatusOk) << expected.out;
        for (const std::string& old : old_modules) {
            SCOPED_TRACE(source + " over " + std::to_string(old.size()) + " bytes");
            TempDir dir;
            oxtest::write_file(dir / "prog.oxs", source);
            oxtest::write_file(dir / "prog.oxb", old);
            const RunResult r = run(dir, {"prog"});
            EXPECT_EQ(r.out, expected.out);
            EXPECT_EQ(r.status, expected.status);
            EXPECT_TRUE(oxtest::read_file(dir / "prog.oxb") == oxtest::read_file(fresh / "prog.oxb"));
        }
    }
}

// A module that cannot be written in full (here: a full device) ends in the
// fatal stop, and the partial module is not left behind.
TEST(CommandLine, FatalStopDeletesThePartialModule) {
    if (oxtest::on_windows()) GTEST_SKIP() << "POSIX only: /dev/full through a symbolic link";
    if (!oxtest::file_exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    TempDir dir;
    oxtest::write_file(dir / "prog.oxs", kGoodSource);
    fs::create_symlink("/dev/full", dir / "prog.oxb");
    const RunResult r = run(dir, {"prog"});
    EXPECT_EQ(after_banner(r), kFatalLine);
    EXPECT_EQ(r.status, kStatusFailure);
    EXPECT_FALSE(fs::is_symlink(dir / "prog.oxb"));
}

// An I/O error while reading the source (not its end) is a failure of the
// system: the fatal stop, and the module opened for it is deleted. Reading
// /proc/self/mem at offset 0 fails with EIO.
TEST(CommandLine, ReadErrorOfTheSourceEndsInTheFatalStop) {
    if (oxtest::on_windows()) GTEST_SKIP() << "POSIX only: /proc/self/mem through a symbolic link";
    if (!read_fails_with_eio("/proc/self/mem")) GTEST_SKIP() << "no file here whose reading fails";
    TempDir dir;
    fs::create_symlink("/proc/self/mem", dir / "prog.oxs");
    const RunResult r = run(dir, {"prog"});
    EXPECT_EQ(after_banner(r), kFatalLine);
    EXPECT_EQ(r.status, kStatusFailure);
    EXPECT_FALSE(oxtest::file_exists(dir / "prog.oxb"));
}

TEST(CommandLine, OptionsStandBeforeOrAfterTheNameAndChangeNothing) {
    std::vector<oxtest::Bytes> modules;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"prog"}, {"/x", "prog"}, {"prog", "/x"}, {"/", "prog", "/yes"}}) {
        TempDir dir;
        oxtest::write_file(dir / "prog.oxs", kGoodSource);
        const RunResult r = run(dir, args);
        EXPECT_EQ(after_banner(r), "   prog.oxb created\n") << args.size();
        EXPECT_EQ(r.status, kStatusOk);
        modules.push_back(oxtest::read_file(dir / "prog.oxb"));
    }
    for (const oxtest::Bytes& m : modules) EXPECT_EQ(m, modules.front());
}

// Which files an argument names: the source gets "oxs" when its last
// component has no dot, the module is cut at that component's first dot.
// Names print as written; '\' reaches the file system as '/'.
TEST(CommandLine, ArgumentsNameTheSourceAndTheModule) {
    struct Row {
        std::string arg;
        std::string source_file;  // relative to the directory, as the file system has it
        std::string module_file;
        std::string printed_module;
    };
    const std::string kanji = "\x95\x5C";  // its trail byte is '\'
    const Row rows[] = {
        {"prog.", "prog.", "prog.oxb", "prog.oxb"},
        {"prog.tar.oxs", "prog.tar.oxs", "prog.oxb", "prog.oxb"},
        {"dir.old\\prog", "dir.old/prog.oxs", "dir.old/prog.oxb", "dir.old\\prog.oxb"},
        {"dir.old/prog", "dir.old/prog.oxs", "dir.old/prog.oxb", "dir.old/prog.oxb"},
        {".\\prog", "prog.oxs", "prog.oxb", ".\\prog.oxb"},
        {kanji, kanji + ".oxs", kanji + ".oxb", kanji + ".oxb"},
    };
    for (const Row& row : rows) {
        if (row.arg == kanji && !oxtest::cp932_file_names()) continue;  // the system's code page is not 932
        TempDir dir;
        fs::create_directory(dir / "dir.old");
        oxtest::write_file(dir / row.source_file, kGoodSource);
        const RunResult r = run(dir, {row.arg});
        EXPECT_EQ(after_banner(r), "   " + row.printed_module + " created\n") << row.arg;
        EXPECT_EQ(r.status, kStatusOk) << row.arg;
        EXPECT_EQ(files_named(dir, ".oxb"), std::vector<std::string>{row.module_file}) << row.arg;
    }
}

// A source in another directory: its errors delete the module beside it,
// its includes are found beside it, and its name prints as written.
TEST(CommandLine, SourceInAnotherDirectory) {
    TempDir dir;
    fs::create_directory(dir / "sub");
    oxtest::write_file(dir / "sub/inc.oxs", "int included;\n");

    oxtest::write_file(dir / "sub/prog.oxs", "#include \"inc.oxs\"\n$\n");
    const RunResult failed = run(dir, {"sub\\prog"});
    EXPECT_EQ(after_banner(failed), oxtest::failed_output(oxtest::error_line("sub\\prog.oxs", 2, msg::syntax), 1));
    EXPECT_EQ(failed.status, kStatusErrors);
    EXPECT_EQ(files_named(dir, ".oxb"), std::vector<std::string>{});

    oxtest::write_file(dir / "sub/prog.oxs", "#include \"inc.oxs\"\nint x;\n");
    const RunResult created = run(dir, {"sub/prog"});
    EXPECT_EQ(after_banner(created), "   sub/prog.oxb created\n");
    EXPECT_EQ(files_named(dir, ".oxb"), std::vector<std::string>{"sub/prog.oxb"});
}

// An argument beginning with '/' is an option only without a second '/'.
TEST(CommandLine, AbsolutePathsAreFileNames) {
    if (oxtest::on_windows()) GTEST_SKIP() << "POSIX only: on Windows every argument that begins with '/' is an option";
    TempDir dir;
    TempDir elsewhere;
    const std::string base = dir / "prog";
    oxtest::write_file(base + ".oxs", kGoodSource);
    const RunResult created = run(elsewhere, {base});
    EXPECT_EQ(after_banner(created), "   " + base + ".oxb created\n");
    EXPECT_TRUE(oxtest::file_exists(base + ".oxb"));

    oxtest::write_file(base + ".oxs", kBadSource);
    const RunResult failed = run(elsewhere, {"/o", base});
    EXPECT_EQ(after_banner(failed), oxtest::failed_output(oxtest::error_line(base + ".oxs", 2, msg::syntax), 1));
    EXPECT_FALSE(oxtest::file_exists(base + ".oxb"));

    const RunResult root_name = run(elsewhere, {"//oxbuild-test-no-such-file"});
    EXPECT_EQ(after_banner(root_name), line(msg::source_not_found));
    EXPECT_EQ(root_name.status, kStatusFailure);
}

// A name written with '\' reaches the file system with '/': the module is
// made beside the source and deleted there after errors.
TEST(CommandLine, AbsoluteNameWrittenWithBackslashes) {
    TempDir dir;
    TempDir elsewhere;
    std::string base = dir / "prog";
    std::replace(base.begin(), base.end(), '/', '\\');
    oxtest::write_file(dir / "prog.oxs", kGoodSource);
    const RunResult created = run(elsewhere, {base});
    EXPECT_EQ(after_banner(created), "   " + base + ".oxb created\n");
    EXPECT_TRUE(oxtest::file_exists(dir / "prog.oxb"));

    oxtest::write_file(dir / "prog.oxs", kBadSource);
    const RunResult failed = run(elsewhere, {base});
    EXPECT_EQ(after_banner(failed), oxtest::failed_output(oxtest::error_line(base + ".oxs", 2, msg::syntax), 1));
    EXPECT_EQ(failed.status, kStatusErrors);
    EXPECT_FALSE(oxtest::file_exists(dir / "prog.oxb"));
}

// Opening the module would empty a source that is its own module file.
TEST(CommandLine, SourceThatIsItsOwnModuleIsRefusedUntouched) {
    struct Row {
        const char* what;
        std::function<void(const TempDir&)> link;  // makes the other name, if any
        std::string arg;
    };
    const Row rows[] = {
        {"module name given", [](const TempDir&) {}, "prog.oxb"},
        {"through ./", [](const TempDir&) {}, "./prog.oxb"},
        {"through .\\", [](const TempDir&) {}, ".\\prog.oxb"},
        {"symbolic link", [](const TempDir& d) { fs::create_symlink("prog.oxb", d / "prog.oxs"); }, "prog"},
        {"hard link", [](const TempDir& d) { fs::create_hard_link(d / "prog.oxb", d / "prog.oxs"); }, "prog"},
    };
    for (const Row& row : rows) {
        if (row.what == std::string_view("symbolic link") && oxtest::on_windows()) continue;  // needs privileges there
        TempDir dir;
        oxtest::write_file(dir / "prog.oxb", kGoodSource);
        row.link(dir);
        const RunResult r = run(dir, {row.arg});
        EXPECT_EQ(after_banner(r), line(msg::module_not_opened)) << row.what;
        EXPECT_EQ(r.status, kStatusFailure) << row.what;
        const oxtest::Bytes kept = oxtest::read_file(dir / "prog.oxb");
        EXPECT_EQ(std::string(kept.begin(), kept.end()), kGoodSource) << row.what;
    }
}

// The other way round: truncating a module name that leads to the source
// would empty the source.
TEST(CommandLine, ModuleNameLinkedToTheSourceIsRefused) {
    if (oxtest::on_windows()) GTEST_SKIP() << "POSIX only: symbolic links need privileges on Windows";
    TempDir dir;
    oxtest::write_file(dir / "prog.oxs", kGoodSource);
    fs::create_symlink("prog.oxs", dir / "prog.oxb");
    const RunResult r = run(dir, {"prog"});
    EXPECT_EQ(after_banner(r), line(msg::module_not_opened));
    EXPECT_EQ(r.status, kStatusFailure);
    const oxtest::Bytes kept = oxtest::read_file(dir / "prog.oxs");
    EXPECT_EQ(std::string(kept.begin(), kept.end()), kGoodSource);
}

// The limit counts the whole name as given plus the default extension: 383
// bytes compile; 384 are refused before any file is opened, though the
// source exists (directories keep each component short enough to exist).
TEST(CommandLine, SourceNameLongerThan383BytesIsRefused) {
    if (oxtest::on_windows()) GTEST_SKIP() << "POSIX only: the ANSI file functions of Windows take no name of 260 bytes or more";
    constexpr std::size_t kLongestName = 383;
    constexpr std::size_t kComponent = 120;
    constexpr std::size_t kExtension = 4;  // ".oxs"
    TempDir dir;
    std::string directories;
    for (int i = 0; i < 3; ++i) {
        directories += std::string(kComponent, 'd') + "/";
        fs::create_directory(dir / directories);
    }
    const std::string longest = directories + std::string(kLongestName - directories.size() - kExtension, 'p');
    const std::string one_more = longest + "p";
    oxtest::write_file(dir / (longest + ".oxs"), kGoodSource);
    oxtest::write_file(dir / (one_more + ".oxs"), kGoodSource);

    const RunResult accepted = run(dir, {longest});
    EXPECT_EQ(after_banner(accepted), "   " + longest + ".oxb created\n");
    EXPECT_EQ(accepted.status, kStatusOk);

    // 380 bytes as given, 384 with the default extension; then 384 as given.
    for (const std::string& arg : {one_more, one_more + ".oxs"}) {
        const RunResult refused = run(dir, {arg});
        EXPECT_EQ(after_banner(refused), line(msg::bad_parameters)) << arg.size();
        EXPECT_EQ(refused.status, kStatusFailure) << arg.size();
        EXPECT_FALSE(oxtest::file_exists(dir / (one_more + ".oxb"))) << arg.size();
    }
}

// A module that cannot be created: the message, status 255, and the
// directory left as it was. A read-only directory stops users other than
// root only; a module name that leads into a regular file (a stale link to
// an output folder that is now a file) and one longer than a file name may
// be (the source "NAME." has 255 bytes, NAME.oxb 258) stop every user.
TEST(CommandLine, ModuleThatCannotBeCreatedIsReportedAndLeavesNothing) {
    constexpr std::size_t kLongestFileName = 255;
    struct Row {
        const char* what;
        std::string source;
        std::function<bool(const TempDir&)> setup;  // false: this user may create the module after all
    };
    const Row rows[] = {
        {"directory not writable", "prog.oxs",
         [](const TempDir& d) {
             fs::permissions(d.path(), fs::perms::owner_read | fs::perms::owner_exec);
             return !oxtest::can_create_file_in(d.path());
         }},
        {"module name leads into a regular file", "prog.oxs",
         [](const TempDir& d) {
             if (oxtest::on_windows()) return false;  // symbolic links need privileges there
             oxtest::write_file(d / "out", "");
             fs::create_symlink("out/prog.oxb", d / "prog.oxb");
             return true;
         }},
        {"module name too long", std::string(kLongestFileName - 1, 'p') + ".",
         [](const TempDir&) { return !oxtest::on_windows(); }},  // a name of 255 bytes in a deep directory
    };
    for (const Row& row : rows) {
        TempDir dir;
        oxtest::write_file(dir / row.source, kGoodSource);
        if (!row.setup(dir)) continue;  // root writes in any directory
        const std::vector<std::string> before = oxtest::listing(dir.path());
        const RunResult r = run(dir, {row.source});
        EXPECT_EQ(after_banner(r), line(msg::module_not_opened)) << row.what;
        EXPECT_EQ(r.status, kStatusFailure) << row.what;
        EXPECT_EQ(oxtest::listing(dir.path()), before) << row.what;
    }
}

TEST(CommandLine, MessagesInUtf8OnRequest) {
    TempDir dir;
    oxtest::write_file(dir / "prog.oxs", kBadSource);
    const std::string cp932_errors = oxtest::failed_output(oxtest::error_line("prog.oxs", 2, msg::syntax), 1);
    const std::string utf8_errors = "prog.oxs(2):文法に間違いがあります \n   1個のエラーがあります\n";
    struct Row {
        std::vector<std::string> env;
        bool utf8;
    };
    const Row rows[] = {
        {{}, false},
        {{"OXBUILD_MESSAGES=utf-8"}, true},
        {{"OXBUILD_MESSAGES=UTF-8"}, true},
        {{"OXBUILD_MESSAGES=Utf-8"}, true},
        {{"OXBUILD_MESSAGES=utf8"}, false},
        {{"OXBUILD_MESSAGES="}, false},
    };
    for (const Row& row : rows) {
        const std::string what = row.env.empty() ? "unset" : row.env.front();
        const RunResult errors = run(dir, {"prog"}, row.env);
        EXPECT_EQ(after_banner(errors), row.utf8 ? utf8_errors : cp932_errors) << what;
        const RunResult missing = run(dir, {"missing"}, row.env);
        EXPECT_EQ(after_banner(missing), row.utf8 ? "指定ファイルが見つかりません\n" : line(msg::source_not_found)) << what;
        EXPECT_EQ(missing.status, kStatusFailure) << what;
    }
}

// English keeps the shape of every line: "FILE(LINE):MESSAGE DETAIL" with
// its blank, the warning, the count line, the driver's lines and the fatal
// stop. Other values than "en" in any case leave the default output.
TEST(CommandLine, MessagesInEnglishOnRequest) {
    TempDir dir;
    oxtest::write_file(dir / "prog.oxs", "#module \"a\"\n#module \"b\"\n#include \"none.oxs\"\n$\n");
    const std::string english_errors =
        "prog.oxs(2):warning:#module redefined\n"
        "prog.oxs(3):include file not found : none.oxs\n"
        "prog.oxs(4):syntax error \n"
        "   2 error(s)\n";
    const RunResult default_errors = run(dir, {"prog"});
    for (const char* value : {"en", "EN", "En"}) {
        const std::vector<std::string> env{std::string("OXBUILD_MESSAGES=") + value};
        const RunResult errors = run(dir, {"prog"}, env);
        EXPECT_EQ(after_banner(errors), english_errors) << value;
        EXPECT_EQ(errors.status, kStatusErrors) << value;
        const RunResult missing = run(dir, {"missing"}, env);
        EXPECT_EQ(after_banner(missing), "specified file not found\n") << value;
        EXPECT_EQ(missing.status, kStatusFailure) << value;
    }
    for (const char* value : {"eng", "english", "e", ""})
        EXPECT_EQ(run(dir, {"prog"}, {std::string("OXBUILD_MESSAGES=") + value}).out, default_errors.out) << value;

    if (oxtest::on_windows() || !oxtest::file_exists("/dev/full")) return;  // POSIX only
    oxtest::write_file(dir / "full.oxs", kGoodSource);
    fs::create_symlink("/dev/full", dir / "full.oxb");
    const RunResult fatal = run(dir, {"full"}, {"OXBUILD_MESSAGES=en"});
    EXPECT_EQ(after_banner(fatal), kFatalLine);
    EXPECT_EQ(fatal.status, kStatusFailure);
}

// A code page 932 file name is converted in UTF-8 and in English, and its
// trail byte 0x5C is part of the name, not a separator.
TEST(CommandLine, Utf8AndEnglishMessagesConvertCodePage932FileNames) {
    std::string probe;
    if (!oxtest::utf8_to_cp932("表", probe)) GTEST_SKIP() << "no CP932 converter on this machine";
    if (!oxtest::cp932_file_names()) GTEST_SKIP() << "file names in code page 932 need a system whose code page is 932";
    struct Row {
        const char* env;
        const char* errors;
    };
    const Row rows[] = {
        {"OXBUILD_MESSAGES=utf-8", "表.oxs(2):文法に間違いがあります \n   1個のエラーがあります\n"},
        {"OXBUILD_MESSAGES=en", "表.oxs(2):syntax error \n   1 error(s)\n"},
    };
    for (const Row& row : rows) {
        TempDir dir;
        oxtest::write_file(dir / "\x95\x5C.oxs", kBadSource);
        const RunResult r = run(dir, {"\x95\x5C"}, {row.env});
        EXPECT_EQ(after_banner(r), row.errors) << row.env;
        EXPECT_EQ(r.status, kStatusErrors) << row.env;

        oxtest::write_file(dir / "\x95\x5C.oxs", kGoodSource);
        const RunResult created = run(dir, {"\x95\x5C"}, {row.env});
        EXPECT_EQ(after_banner(created), "   表.oxb created\n") << row.env;
        EXPECT_TRUE(oxtest::file_exists(dir / "\x95\x5C.oxb")) << row.env;
    }
}
