// The whole compiler, both passes, on one source text; no other files exist
// beside it. Every outcome is checked, not only the absence of crashes.
#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const oxfuzz::Workspace& workspace = oxfuzz::Workspace::get();
    workspace.write("prog.oxs", std::span(data, size));
    oxfuzz::check_outcome(oxfuzz::compile("prog.oxs"));
    return 0;
}
