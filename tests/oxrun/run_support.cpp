#include "run_support.hpp"

#include <sstream>

#include "oxrun/command_line.hpp"
#include "support/system.hpp"

namespace oxruntest {

Result run_source(const oxtest::TempDir& dir, std::string_view source, std::string_view script,
               const std::vector<std::string>& options) {
    oxtest::write_file(dir / "prog.oxs", source);
    std::vector<std::string> args = options;
    args.push_back(dir / "prog.oxs");
    if (!script.empty()) {
        oxtest::write_file(dir / "s.oxt", script);
        args.push_back(dir / "s.oxt");
    }
    std::istringstream in;
    std::ostringstream out, err;
    Result r;
    r.status = oxrun::run_oxrun(args, in, out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
}

Result run_source(std::string_view source, std::string_view script, const std::vector<std::string>& options) {
    oxtest::TempDir dir;
    return run_source(dir, source, script, options);
}

Result run_binary(const std::vector<std::string>& args, const std::string& cwd) {
    const oxtest::ProcessRun p = oxtest::run_process(OXRUN_BINARY, args, cwd);
    return {oxtest::lf_lines(p.out), oxtest::lf_lines(p.err), p.status};
}

std::string onload_calls(std::string_view decls, std::string_view body, const std::vector<std::string>& options) {
    const std::string source = std::string(decls) + "\nOnLoad(int &result)\n{\n" + std::string(body) + "\n}\n";
    const Result r = run_source(source, "", options);
    const std::string head = "OnLoad(&result)\n";
    const std::string tail = "  -> &result=0\n";
    if (r.status != 0 || !r.out.starts_with(head) || !r.out.ends_with(tail)) return r.out + r.err;
    return r.out.substr(head.size(), r.out.size() - head.size() - tail.size());
}

}  // namespace oxruntest
