#include "oxrun/test_runner.hpp"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/platform.hpp"

namespace oxrun {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kContext = 3;

std::optional<std::string> read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string expected_path(const std::string& script) {
    return script.substr(0, script.size() - kScriptExtension.size()) + std::string(kExpectedExtension);
}

bool has_script_extension(const fs::path& p) { return p.extension().string() == kScriptExtension; }

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// One line of the edit script: ' ' kept, '-' only in a, '+' only in b,
// with the positions in a and b where it stands.
struct Edit {
    char kind;
    std::size_t a, b;
};

// The longest common subsequence by a table of its lengths; traces that
// would make the table too big differ as a whole.
constexpr std::size_t kMaxTable = std::size_t{1} << 24;
std::vector<Edit> edits(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    std::vector<Edit> out;
    const std::size_t n = a.size(), m = b.size();
    if ((n + 1) * (m + 1) > kMaxTable) {
        for (std::size_t i = 0; i < n; ++i) out.push_back({'-', i, 0});
        for (std::size_t j = 0; j < m; ++j) out.push_back({'+', n, j});
        return out;
    }
    std::vector<std::uint32_t> len((n + 1) * (m + 1), 0);
    const auto at = [&](std::size_t i, std::size_t j) -> std::uint32_t& { return len[i * (m + 1) + j]; };
    for (std::size_t i = n; i-- > 0;)
        for (std::size_t j = m; j-- > 0;)
            at(i, j) = a[i] == b[j] ? at(i + 1, j + 1) + 1 : std::max(at(i + 1, j), at(i, j + 1));
    std::size_t i = 0, j = 0;
    while (i < n || j < m) {
        if (i < n && j < m && a[i] == b[j]) out.push_back({' ', i++, j++});
        else if (i < n && (j == m || at(i + 1, j) >= at(i, j + 1))) out.push_back({'-', i++, j});
        else out.push_back({'+', i, j++});
    }
    return out;
}

std::string hunk_range(std::size_t start, std::size_t count) {
    return std::to_string(count == 0 ? start : start + 1) + "," + std::to_string(count);
}

std::string xml_escaped(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\t' ? '?' : c;
        }
    }
    return out;
}

std::size_t failures(const std::vector<TestResult>& results) {
    return static_cast<std::size_t>(std::count_if(results.begin(), results.end(), [](const TestResult& r) { return !r.passed; }));
}

}  // namespace

std::vector<std::string> find_test_scripts(const std::vector<std::string>& paths, std::vector<std::string>& missing) {
    std::vector<std::string> found;
    for (const std::string& path : paths) {
        std::error_code ec;
        if (fs::is_directory(path, ec)) {
            for (const auto& entry : fs::recursive_directory_iterator(path, ec))
                if (entry.is_regular_file() && has_script_extension(entry.path()) && is_test_script(entry.path().string()))
                    found.push_back(entry.path().generic_string());
        } else if (fs::is_regular_file(path, ec)) {
            found.push_back(path);
        } else {
            missing.push_back(path);
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

bool is_test_script(const std::string& path) {
    const auto text = read_text(path);
    if (!text) return false;
    try {
        return parse_script(*text, path).program.has_value();
    } catch (const ScriptError&) {
        return true;  // a broken test script is a failing test, not no test
    }
}

std::string test_trace(const std::string& script_path, const RunOptions& options) {
    const auto text = read_text(script_path);
    if (!text) return "refused: " + script_path + ": cannot be read\n";
    std::ostringstream trace;
    try {
        const Script script = parse_script(*text, fs::path(script_path).filename().string());
        if (!script.program) return "refused: the script names no program\n";
        const std::string program_path = (fs::path(script_path).parent_path() / *script.program).string();
        const Loaded loaded = load_file(program_path, *script.program);
        if (!loaded.program) return "refused: " + loaded.error + "\n";
        const RunOutcome outcome = run_program(*loaded.program, *script.program, script, options, trace);
        if (outcome.status != kExitOk) trace << outcome.error << '\n';
    } catch (const ScriptError& e) {
        trace << "refused: " << e.what() << '\n';
    }
    return trace.str();
}

TestResult run_test(const std::string& script_path, const RunOptions& options, bool update) {
    TestResult r;
    r.name = script_path;
    const std::string actual = test_trace(script_path, options);
    const std::string expected_file = expected_path(script_path);
    const auto expected = read_text(expected_file);
    if (update) {
        r.passed = true;
        if (expected && *expected == actual) return r;
        r.updated = true;
        if (!oxbuild::platform::replace_file(expected_file, actual)) {
            r.passed = false;
            r.diff = expected_file + ": cannot be written\n";
        }
        return r;
    }
    if (!expected) {
        r.diff = expected_file + ": no expected trace (oxrun --test --update writes it)\n";
        return r;
    }
    r.diff = unified_diff(*expected, actual, expected_file, script_path + " (actual)");
    r.passed = r.diff.empty();
    return r;
}

std::string unified_diff(const std::string& a, const std::string& b, const std::string& a_name,
                         const std::string& b_name) {
    if (a == b) return "";
    const auto la = split_lines(a), lb = split_lines(b);
    const std::vector<Edit> e = edits(la, lb);
    std::string out = "--- " + a_name + "\n+++ " + b_name + "\n";
    std::size_t k = 0;
    while (k < e.size()) {
        while (k < e.size() && e[k].kind == ' ') ++k;
        if (k == e.size()) break;
        // A hunk: changes closer than twice the context stay together.
        std::size_t first = k >= kContext ? k - kContext : 0, last = k;
        while (true) {
            while (last < e.size() && e[last].kind != ' ') ++last;
            std::size_t next = last;
            while (next < e.size() && e[next].kind == ' ' && next - last < 2 * kContext) ++next;
            if (next < e.size() && e[next].kind != ' ') last = next;
            else break;
        }
        const std::size_t end = std::min(e.size(), last + kContext);
        const std::size_t a_start = e[first].a, b_start = e[first].b;
        std::size_t a_count = 0, b_count = 0;
        std::string body;
        for (std::size_t x = first; x < end; ++x) {
            const Edit& d = e[x];
            if (d.kind != '+') ++a_count;
            if (d.kind != '-') ++b_count;
            body += d.kind;
            body += d.kind == '+' ? lb[d.b] : la[d.a];
            body += '\n';
        }
        out += "@@ -" + hunk_range(a_start, a_count) + " +" + hunk_range(b_start, b_count) + " @@\n" + body;
        k = end;
    }
    return out;
}

void write_plain_report(const std::vector<TestResult>& results, std::ostream& out) {
    for (const TestResult& r : results) {
        out << (r.updated ? "updated " : r.passed ? "ok " : "FAIL ") << r.name << '\n';
        if (!r.passed) out << r.diff;
    }
    out << results.size() - failures(results) << " passed, " << failures(results) << " failed\n";
}

void write_tap_report(const std::vector<TestResult>& results, std::ostream& out) {
    out << "TAP version 13\n1.." << results.size() << '\n';
    for (std::size_t k = 0; k < results.size(); ++k) {
        const TestResult& r = results[k];
        out << (r.passed ? "ok " : "not ok ") << k + 1 << " - " << r.name << '\n';
        if (!r.passed)
            for (const std::string& line : split_lines(r.diff)) out << "# " << line << '\n';
    }
}

std::string junit_report(const std::vector<TestResult>& results) {
    std::ostringstream x;
    const std::size_t failed = failures(results);
    x << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites tests=\"" << results.size() << "\" failures=\""
      << failed << "\">\n  <testsuite name=\"oxrun\" tests=\"" << results.size() << "\" failures=\"" << failed
      << "\">\n";
    for (const TestResult& r : results) {
        x << "    <testcase classname=\"oxrun\" name=\"" << xml_escaped(r.name) << "\"";
        if (r.passed) {
            x << "/>\n";
            continue;
        }
        x << ">\n      <failure message=\"the trace differs from the expected trace\">" << xml_escaped(r.diff)
          << "</failure>\n    </testcase>\n";
    }
    x << "  </testsuite>\n</testsuites>\n";
    return x.str();
}

}  // namespace oxrun
