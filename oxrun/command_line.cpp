#include "oxrun/command_line.hpp"

#include <charconv>
#include <fstream>
#include <optional>
#include <sstream>

#include "oxrun/coverage.hpp"
#include "oxrun/dap.hpp"
#include "oxrun/runner.hpp"
#include "oxrun/test_runner.hpp"
#include "platform/platform.hpp"
#include "symbols/host_tables.hpp"

namespace oxrun {

namespace {

constexpr std::string_view kUsage =
    "usage: oxrun [OPTION]... PROGRAM [SCRIPT]\n"
    "       oxrun --test [--update] [--report tap|junit=FILE]... [OPTION]... PATH...\n"
    "Runs a module (.oxb) or a source (.oxs, compiled in memory) against the model host,\n"
    "a model of the desktop host for tests (not the host itself), and prints the trace.\n"
    "SCRIPT (or - for standard input) holds the steps: events, wait, answer, time, setting.\n"
    "  --max-steps N     instructions per event call (default 10000000)\n"
    "  --max-depth N     nested calls of user functions (default 1000)\n"
    "  --max-string N    bytes of one str value (default 67108864)\n"
    "  --hide NAME,...   leave these standard functions' calls out of the trace\n"
    "  --lines           end each trace line with the file and line that made it\n"
    "  --coverage FILE   write the lines and conditions run as an lcov tracefile,\n"
    "                    merged over every test of a --test run\n"
    "  --test PATH...    run every test script (NAME.oxt naming its program) and compare\n"
    "                    its trace with NAME.trace beside it\n"
    "  --update          write the expected traces instead\n"
    "  --report tap      the results as TAP on standard output\n"
    "  --report junit=F  the results as JUnit XML in the file F\n"
    "  --dap             serve the Debug Adapter Protocol on standard input and output\n"
    "  --help, --version\n";

struct Options {
    RunOptions run;
    bool test = false, update = false, tap = false, help = false, version = false;
    std::optional<std::string> junit, coverage;
    std::vector<std::string> operands;
};

std::optional<std::uint64_t> count_of(const std::string& text) {
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value == 0) return std::nullopt;
    return value;
}

bool hide(Options& o, const std::string& list) {
    std::stringstream names(list);
    std::string name;
    while (std::getline(names, name, ',')) {
        bool found = false;
        for (const oxbuild::StandardFunction& f : oxbuild::standard_functions())
            if (f.name == name) {
                o.run.host.hidden.insert(f.number);
                found = true;
            }
        if (!found) return false;
    }
    return true;
}

// An option that takes a value; false when it is missing or wrong.
bool valued(Options& o, const std::string& option, const std::string& value) {
    const auto n = count_of(value);
    if (option == "--max-steps" && n) o.run.limits.max_steps = *n;
    else if (option == "--max-depth" && n && *n <= UINT32_MAX) o.run.limits.max_depth = static_cast<std::uint32_t>(*n);
    else if (option == "--max-string" && n) o.run.host.max_string = static_cast<std::size_t>(*n);
    else if (option == "--hide") return hide(o, value);
    else if (option == "--report" && value == "tap") o.tap = true;
    else if (option == "--report" && value.starts_with("junit=") && value.size() > 6) o.junit = value.substr(6);
    else if (option == "--coverage" && !value.empty()) o.coverage = value;
    else return false;
    return true;
}

std::optional<Options> parse(const std::vector<std::string>& args, std::ostream& err) {
    Options o;
    for (std::size_t k = 0; k < args.size(); ++k) {
        const std::string& a = args[k];
        if (a == "--test") o.test = true;
        else if (a == "--update") o.update = true;
        else if (a == "--help") o.help = true;
        else if (a == "--version") o.version = true;
        else if (a == "--lines") o.run.lines = true;
        else if (a == "--max-steps" || a == "--max-depth" || a == "--max-string" || a == "--hide" || a == "--report" ||
                 a == "--coverage") {
            if (k + 1 == args.size() || !valued(o, a, args[k + 1])) {
                err << "oxrun: " << a << " needs a valid value\n" << kUsage;
                return std::nullopt;
            }
            ++k;
        } else if (a.starts_with("--")) {
            err << "oxrun: unknown option " << a << '\n' << kUsage;
            return std::nullopt;
        } else {
            o.operands.push_back(a);
        }
    }
    const bool fits = o.help || o.version || (o.test ? !o.operands.empty() : o.operands.size() == 1 || o.operands.size() == 2);
    if (!fits || (!o.test && (o.update || o.tap || o.junit))) {
        err << kUsage;
        return std::nullopt;
    }
    return o;
}

// Runs with the coverage counted when it is asked for, then writes it.
template <class Run>
int with_coverage(Options o, std::ostream& err, Run run) {
    if (!o.coverage) return run(o);
    Coverage coverage;
    o.run.coverage = &coverage;
    const int status = run(o);
    std::ostringstream text;
    coverage.write(text);
    if (!oxbuild::platform::replace_file(*o.coverage, text.str())) {
        err << "oxrun: " << *o.coverage << ": cannot be written\n";
        return kExitRefused;
    }
    return status;
}

int run_once(const Options& o, std::istream& in, std::ostream& out, std::ostream& err) {
    Script script;
    if (o.operands.size() == 2) {
        const std::string& name = o.operands[1];
        std::ifstream file;
        if (name != "-") file.open(name, std::ios::binary);
        if (name != "-" && !file) {
            err << "oxrun: " << name << ": cannot be read\n";
            return kExitRefused;
        }
        std::ostringstream text;
        text << (name == "-" ? in.rdbuf() : file.rdbuf());
        try {
            script = parse_script(text.str(), name);
        } catch (const ScriptError& e) {
            err << "oxrun: " << e.what() << '\n';
            return kExitRefused;
        }
    }
    const Loaded loaded = load_file(o.operands[0]);
    if (!loaded.program) {
        err << "oxrun: " << loaded.error << '\n';
        return kExitRefused;
    }
    const RunOutcome outcome = run_program(*loaded.program, o.operands[0], script, o.run, out);
    out.flush();
    if (outcome.status != kExitOk) err << "oxrun: " << outcome.error << '\n';
    return outcome.status;
}

int run_tests(const Options& o, std::ostream& out, std::ostream& err) {
    std::vector<std::string> missing;
    const std::vector<std::string> scripts = find_test_scripts(o.operands, missing);
    for (const std::string& m : missing) err << "oxrun: " << m << ": no such file or folder\n";
    if (!missing.empty()) return kExitRefused;
    std::vector<TestResult> results;
    for (const std::string& s : scripts) results.push_back(run_test(s, o.run, o.update));
    if (o.tap) write_tap_report(results, out);
    else write_plain_report(results, out);
    if (o.junit && !oxbuild::platform::replace_file(*o.junit, junit_report(results))) {
        err << "oxrun: " << *o.junit << ": cannot be written\n";
        return kExitRefused;
    }
    for (const TestResult& r : results)
        if (!r.passed) return kExitRuntimeError;
    return kExitOk;
}

}  // namespace

int run_oxrun(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err) {
    if (args.size() == 1 && args[0] == "--dap") return run_debug_adapter();
    const auto options = parse(args, err);
    if (!options) return kExitRefused;
    if (options->help) {
        out << kUsage;
        return kExitOk;
    }
    if (options->version) {
        out << "oxrun " << OXRUN_VERSION << " (model host)\n";
        return kExitOk;
    }
    return with_coverage(*options, err, [&](const Options& o) {
        return o.test ? run_tests(o, out, err) : run_once(o, in, out, err);
    });
}

}  // namespace oxrun
