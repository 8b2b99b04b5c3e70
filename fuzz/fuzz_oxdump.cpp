// The module inspector on arbitrary module bytes: reading, listing and
// extracting the resources. It must turn any file into a listing or a
// one-line message, and it must list every module that the layout check
// (the same check the compiler's output passes) finds consistent.
#include <cstddef>
#include <cstdint>
#include <iostream>
#include <span>
#include <sstream>
#include <vector>

#include "fuzz_support.hpp"
#include "oxdump/byte_cursor.hpp"
#include "oxdump/extract.hpp"
#include "oxdump/module_reader.hpp"
#include "oxdump/oxdump.hpp"
#include "stress/module_layout_check.hpp"

namespace {

[[noreturn]] void broken(const char* what, const std::string& detail) {
    std::cerr << "BROKEN PROPERTY: " << what << "\n" << detail.substr(0, 4000) << '\n';
    std::abort();
}

// Reads the module and writes its resources out again.
void extract(std::span<const std::uint8_t> bytes) {
    oxdump::Module module;
    try {
        module = oxdump::read_module(bytes);
    } catch (const oxdump::FormatError&) {
        return;
    }
    (void)oxdump::extract_resources(module, bytes, oxfuzz::Workspace::get().path("extracted"));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    std::ostringstream out, err;
    const int status = oxdump::dump_module_bytes(bytes, "m.oxb", out, err);
    if (status != oxdump::kExitListed && status != oxdump::kExitBadModule) broken("unexpected exit status", err.str());
    if (status == oxdump::kExitBadModule && err.str().empty()) broken("a bad module without a message", out.str());
    const std::string layout = oxtest::check_module_layout(std::vector<unsigned char>(bytes.begin(), bytes.end()));
    if (layout.empty() && status != oxdump::kExitListed) broken("a consistent module not listed", err.str());
    if (status == oxdump::kExitListed) extract(bytes);
    return 0;
}
