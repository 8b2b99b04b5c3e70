// Compiles inputs with a reference oxbuild and a new one, each in a
// directory of its own holding the same files, and reports every input for
// which standard output, exit status or the module file's bytes differ.
// scripts/difftest.sh drives it; running the compilers from here rather than
// from the shell saves a handful of processes per input. Usage:
//   difftest_compare OPTIONS --workspace DIR CASE.oxs...
//       copies DIR twice and compiles each CASE there as prog.oxs; a case
//       with CASE.inc1.oxh / CASE.inc2.oxh beside it gets those in place of
//       the workspace's inc1.oxh / inc2.oxh
//   difftest_compare OPTIONS --pair DIR_A DIR_B SOURCE LABEL
//       compiles SOURCE in DIR_A with the reference and in DIR_B with the
//       new compiler
// OPTIONS: --ref BIN --new BIN --keep DIR [--timeout SECONDS]
// Prints "PASS LABEL" for each input compiled alike and "FAIL LABEL: what
// differs" for each difference, keeping the input, both outputs and both
// modules in KEEP/LABEL/ (for a workspace case only prog.oxs, inc1.oxh and
// inc2.oxh: the rest is the workspace). Exit status 1 if anything
// differed, 2 on a usage or system error.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <poll.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace fs = std::filesystem;

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "difftest_compare: %s: %s\n", what.c_str(), std::strerror(errno));
    std::exit(2);
}

std::optional<std::string> read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const fs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) fail("cannot write " + path.string());
}

struct Run {
    std::string output;
    std::string status;  // "0", "1", "255", "signal 11" or "timed out"
    std::optional<std::string> module;
};

// Runs BINARY SOURCE in DIR with standard output captured, standard error
// discarded and standard input empty; kills it after SECONDS.
Run run(const std::string& binary, const fs::path& dir, const std::string& source, int seconds) {
    const fs::path module = dir / fs::path(source).replace_extension(".oxb");
    std::error_code ignored;
    fs::remove(module, ignored);

    int out[2];
    if (pipe(out) != 0) fail("pipe");
    const pid_t pid = fork();
    if (pid < 0) fail("fork");
    if (pid == 0) {
        const int null = open("/dev/null", O_RDWR);
        if (null < 0 || chdir(dir.c_str()) != 0) _exit(127);
        dup2(null, 0);
        dup2(null, 2);
        dup2(out[1], 1);
        close(out[0]);
        close(out[1]);
        close(null);
        execl(binary.c_str(), binary.c_str(), source.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);

    Run result;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    bool timed_out = false;
    char buffer[65536];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timed_out = true;
            kill(pid, SIGKILL);
            break;
        }
        pollfd p{out[0], POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) fail("poll");
        if (ready == 0) continue;
        const ssize_t n = read(out[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        result.output.append(buffer, static_cast<std::size_t>(n));
    }
    close(out[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) fail("waitpid");
    }
    if (timed_out) result.status = "timed out";
    else if (WIFEXITED(status)) result.status = std::to_string(WEXITSTATUS(status));
    else result.status = "signal " + std::to_string(WTERMSIG(status));
    result.module = read_file(module);
    return result;
}

// The position of the first differing byte, as "byte N, line L" (from 1),
// or "length N vs M" when one is a prefix of the other.
std::string first_difference(const std::string& a, const std::string& b) {
    std::size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
    if (i == a.size() || i == b.size()) return "length " + std::to_string(a.size()) + " vs " + std::to_string(b.size());
    std::size_t line = 1;
    for (std::size_t j = 0; j < i; ++j) line += a[j] == '\n';
    return "byte " + std::to_string(i + 1) + ", line " + std::to_string(line);
}

struct Options {
    std::string ref;
    std::string fresh;
    fs::path keep;
    int seconds = 10;
};

// Compiles SOURCE in both directories; on a difference reports it, keeps the
// evidence (the INPUTS named, relative to B, or all of B when none are) and
// returns false.
bool compare(const Options& o, const fs::path& a, const fs::path& b, const std::string& source, const std::string& label,
             const std::vector<std::string>& inputs = {}) {
    const Run r = run(o.ref, a, source, o.seconds);
    const Run n = run(o.fresh, b, source, o.seconds);
    std::vector<std::string> what;
    if (r.status != n.status) what.push_back("exit status " + r.status + " vs " + n.status);
    if (r.output != n.output) what.push_back("stdout (" + first_difference(r.output, n.output) + ")");
    if (r.module && n.module && *r.module != *n.module) what.push_back("module (" + first_difference(*r.module, *n.module) + ")");
    if (r.module && !n.module) what.push_back("module only from the reference");
    if (!r.module && n.module) what.push_back("module only from the new compiler");
    if (r.status == "timed out" && n.status == r.status) what.push_back("both timed out");
    if (what.empty()) {
        std::printf("PASS %s\n", label.c_str());
        return true;
    }

    std::string line = label + ":";
    for (std::size_t i = 0; i < what.size(); ++i) line += (i ? "; " : " ") + what[i];
    std::printf("FAIL %s\n", line.c_str());
    std::fflush(stdout);

    const fs::path keep = o.keep / label;
    fs::create_directories(keep);
    write_file(keep / "differences", line + "\nreference " + o.ref + ": " + r.status + "\nnew " + o.fresh + ": " + n.status + "\n");
    write_file(keep / "reference.out", r.output);
    write_file(keep / "new.out", n.output);
    if (r.module) write_file(keep / "reference.oxb", *r.module);
    if (n.module) write_file(keep / "new.oxb", *n.module);
    if (!inputs.empty()) {
        fs::create_directories(keep / "input");
        for (const std::string& name : inputs) fs::copy_file(b / name, keep / "input" / name, fs::copy_options::overwrite_existing);
        return false;
    }
    // The whole input directory, unless it is one of the large generated ones.
    std::uintmax_t size = 0;
    for (const auto& entry : fs::recursive_directory_iterator(b)) {
        if (entry.is_regular_file()) size += entry.file_size();
    }
    if (size < 20'000'000) {
        fs::copy(b, keep / "input", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        std::error_code ignored;
        fs::remove(keep / "input" / fs::path(source).replace_extension(".oxb"), ignored);
    }
    return false;
}

int usage() {
    std::fprintf(stderr,
                 "usage: difftest_compare --ref BIN --new BIN --keep DIR [--timeout S] --workspace DIR CASE.oxs...\n"
                 "       difftest_compare --ref BIN --new BIN --keep DIR [--timeout S] --pair DIR_A DIR_B SOURCE LABEL\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    int i = 1;
    for (; i + 1 < argc; i += 2) {
        const std::string_view arg = argv[i];
        if (arg == "--ref") o.ref = argv[i + 1];
        else if (arg == "--new") o.fresh = argv[i + 1];
        else if (arg == "--keep") o.keep = argv[i + 1];
        else if (arg == "--timeout") o.seconds = std::atoi(argv[i + 1]);
        else break;
    }
    if (o.ref.empty() || o.fresh.empty() || o.keep.empty() || o.seconds <= 0 || i >= argc) return usage();
    const std::string_view mode = argv[i];

    if (mode == "--pair") {
        if (argc - i != 5) return usage();
        return compare(o, argv[i + 1], argv[i + 2], argv[i + 3], argv[i + 4]) ? 0 : 1;
    }
    if (mode != "--workspace" || argc - i < 2) return usage();

    const fs::path workspace = argv[i + 1];
    std::string pattern = (fs::temp_directory_path() / "difftest_compare.XXXXXX").string();
    if (!mkdtemp(pattern.data())) fail("mkdtemp");
    const fs::path root = pattern;
    const fs::path a = root / "a";
    const fs::path b = root / "b";
    const auto copy = fs::copy_options::recursive | fs::copy_options::overwrite_existing;
    fs::copy(workspace, a, copy);
    fs::copy(workspace, b, copy);
    const std::string include1 = read_file(workspace / "inc1.oxh").value_or("");
    const std::string include2 = read_file(workspace / "inc2.oxh").value_or("");

    bool all_equal = true;
    for (int c = i + 2; c < argc; ++c) {
        const fs::path source = argv[c];
        const std::optional<std::string> text = read_file(source);
        if (!text) fail("cannot read " + source.string());
        fs::path base = source;
        base.replace_extension();
        const std::string inc1 = read_file(base.string() + ".inc1.oxh").value_or(include1);
        const std::string inc2 = read_file(base.string() + ".inc2.oxh").value_or(include2);
        for (const fs::path& dir : {a, b}) {
            write_file(dir / "prog.oxs", *text);
            write_file(dir / "inc1.oxh", inc1);
            write_file(dir / "inc2.oxh", inc2);
        }
        all_equal &= compare(o, a, b, "prog.oxs", base.filename().string(), {"prog.oxs", "inc1.oxh", "inc2.oxh"});
    }
    std::error_code ignored;
    fs::remove_all(root, ignored);
    return all_equal ? 0 : 1;
}
