#include "oxrun/coverage.hpp"

#include <algorithm>
#include <filesystem>
#include <unordered_map>

namespace oxrun {

namespace {

using Counts = std::unordered_map<std::int64_t, StepCount>;

// The counts of a run by code address; code that never ran has none.
Counts counts_by_address(const Program& p, const RunWatcher& run) {
    Counts out;
    for (std::size_t f = 0; f < p.functions.size(); ++f)
        for (std::size_t k = 0; k < p.functions[f].steps.size(); ++k)
            out[p.functions[f].steps[k].address] = run.counts()[f][k];
    return out;
}

StepCount count_at(const Counts& counts, std::int64_t address) {
    const auto it = counts.find(address);
    return it == counts.end() ? StepCount{} : it->second;
}

std::string full_path(const std::string& path) {
    std::error_code error;
    const std::filesystem::path full = std::filesystem::absolute(path, error);
    return (error ? std::filesystem::path(path) : full).lexically_normal().generic_string();
}

std::string taken_text(std::uint64_t line_hits, std::uint64_t taken) {
    return line_hits == 0 ? "-" : std::to_string(taken);
}

}  // namespace

RunWatcher::RunWatcher(const Program& p) : program_(p) {
    for (const Function& f : p.functions) counts_.emplace_back(f.steps.size());
}

void RunWatcher::before_step(const Machine& m) {
    const FrameView top = m.frame(m.depth() - 1);
    function_ = top.function;
    step_ = &top.function->steps[top.step];
    ++counts_[static_cast<std::size_t>(function_ - program_.functions.data())][top.step].hits;
}

void RunWatcher::branched(const Machine& m, bool held) {
    const FrameView top = m.frame(m.depth() - 1);
    StepCount& c = counts_[static_cast<std::size_t>(top.function - program_.functions.data())][top.step];
    ++(held ? c.held : c.failed);
}

void RunWatcher::begin_event(const Function* handler) {
    function_ = handler;
    step_ = nullptr;
}

std::string RunWatcher::place() const {
    if (!program_.source || function_ == nullptr) return "";
    if (step_ != nullptr) return program_.source->place_of(step_->address);
    const auto index = static_cast<std::size_t>(function_ - program_.functions.data());
    if (index >= program_.source->functions.size()) return "";
    const sourcemap::SourceRange& r = program_.source->functions[index].range;
    if (static_cast<std::size_t>(r.file) >= program_.source->files.size()) return "";
    return program_.source->files[static_cast<std::size_t>(r.file)].name + "(" + std::to_string(r.first_line) + ")";
}

// A line's hits are those of its instruction run most (a line is reached
// when any of its instructions is); runs add up.
void Coverage::add(const Program& p, const RunWatcher& run) {
    if (!p.source) return;
    const sourcemap::SourceMap& map = *p.source;
    const Counts counts = counts_by_address(p, run);
    std::vector<std::string> paths;
    for (const sourcemap::SourceFile& f : map.files) paths.push_back(full_path(f.path));
    std::map<std::pair<std::size_t, int>, Line> this_run;
    for (const sourcemap::LineRow& row : map.lines) {
        const StepCount c = count_at(counts, row.address);
        Line& line = this_run[{static_cast<std::size_t>(row.file), row.line}];
        line.hits = std::max(line.hits, c.hits);
        if (row.opcode == oxbuild::OP_JUMP_IF_FALSE) line.branches.push_back({c.held, c.failed});
    }
    for (const auto& [at, line] : this_run) {
        Line& total = files_[paths[at.first]].lines[at.second];
        total.hits += line.hits;
        total.branches.resize(std::max(total.branches.size(), line.branches.size()));
        for (std::size_t k = 0; k < line.branches.size(); ++k)
            for (std::size_t b = 0; b < 2; ++b) total.branches[k][b] += line.branches[k][b];
    }
    for (std::size_t f = 0; f < map.functions.size() && f < p.functions.size(); ++f) {
        const sourcemap::FunctionInfo& info = map.functions[f];
        auto& entry = files_[paths[static_cast<std::size_t>(info.range.file)]].functions[info.name];
        entry.first = info.range.first_line;
        entry.second += count_at(counts, p.functions[f].entry).hits;
    }
}

void Coverage::write(std::ostream& out) const {
    for (const auto& [path, file] : files_) {
        out << "TN:\nSF:" << path << '\n';
        std::size_t functions_hit = 0, branches = 0, branches_hit = 0, lines_hit = 0;
        for (const auto& [name, f] : file.functions) out << "FN:" << f.first << ',' << name << '\n';
        for (const auto& [name, f] : file.functions) {
            out << "FNDA:" << f.second << ',' << name << '\n';
            if (f.second != 0) ++functions_hit;
        }
        out << "FNF:" << file.functions.size() << "\nFNH:" << functions_hit << '\n';
        for (const auto& [number, line] : file.lines)
            for (std::size_t k = 0; k < line.branches.size(); ++k)
                for (std::size_t b = 0; b < 2; ++b) {
                    out << "BRDA:" << number << ',' << k << ',' << b << ',' << taken_text(line.hits, line.branches[k][b])
                        << '\n';
                    ++branches;
                    if (line.branches[k][b] != 0) ++branches_hit;
                }
        out << "BRF:" << branches << "\nBRH:" << branches_hit << '\n';
        for (const auto& [number, line] : file.lines) {
            out << "DA:" << number << ',' << line.hits << '\n';
            if (line.hits != 0) ++lines_hit;
        }
        out << "LF:" << file.lines.size() << "\nLH:" << lines_hit << "\nend_of_record\n";
    }
}

}  // namespace oxrun
