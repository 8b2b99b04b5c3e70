// The directives through the whole compiler: one source text, with files
// beside it for #include, #bitmap and #wave to find (fuzz/directives.dict
// names them), so that the resource paths are reached as well as the
// #define, text field and #menu parsers.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "fuzz_support.hpp"

namespace {

constexpr std::string_view kIncludeFile =
    "#define LIMIT 100\n"
    "#define ITEM MENUITEM\n"
    "#menu 7 { POPUP \"p\" { ITEM \"i\", 1, LIMIT } }\n";
constexpr std::string_view kWave = "RIFF\x04\0\0\0WAVE";

void prepare_files(const oxfuzz::Workspace& workspace) {
    workspace.write("inc.oxs", kIncludeFile);
    workspace.write("w.wav", kWave);
    workspace.write("short.wav", std::string_view("RI"));
    workspace.write("a.bmp", oxfuzz::make_bitmap(3, 2, 4, 0));
    workspace.write("b.bmp", oxfuzz::make_bitmap(5, 1, 16, 9));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    prepare_files(oxfuzz::Workspace::get());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const oxfuzz::Workspace& workspace = oxfuzz::Workspace::get();
    workspace.write("prog.oxs", std::span(data, size));
    oxfuzz::check_outcome(oxfuzz::compile("prog.oxs"));
    return 0;
}
