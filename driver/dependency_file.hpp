// The dependency file for build tools (OXBUILD_DEPFILE): one rule
// "module: source includes bitmaps waves" in the form make and ninja read,
// naming every file the module was built from, then an empty rule for each
// of those files but the source, so that make goes on when one of them has
// been renamed or deleted (the next build then finds what is read now).
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace oxbuild {

// The files a compilation read, each name once, in the order of first use,
// as the compiler opened them.
class InputFiles {
public:
    void add(const std::string& path) {
        if (seen_.insert(path).second) names_.push_back(path);
    }
    const std::vector<std::string>& names() const { return names_; }

private:
    std::vector<std::string> names_;
    std::unordered_set<std::string> seen_;
};

// "target: prerequisite ...\n" and "prerequisite:\n" for each prerequisite
// after the first, with each name quoted as make reads it back, or nullopt
// when a name cannot be written so (a line end, a final backslash).
std::optional<std::string> dependency_rule(std::string_view target, std::span<const std::string> prerequisites);

// Writes the rule for the module to the file at path. False when it cannot
// be written, or when path names the module or one of its inputs, which
// writing would destroy.
[[nodiscard]] bool write_dependency_file(const std::string& path, const std::string& module_path,
                                         const InputFiles& inputs);

}  // namespace oxbuild
