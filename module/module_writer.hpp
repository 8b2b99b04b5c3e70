// The module header, function table, event handler table and function
// descriptors, written at the start of pass 2 from what pass 1 measured.
#pragma once

#include <cstdint>

namespace oxbuild {

class Compiler;

// Where the sections begin, fixed by the header writer for pass 2.
struct ModuleLayout {
    std::int64_t code_base = 0;
    std::int64_t bitmap_section = 0;
    std::int64_t wave_section = 0;
    std::int64_t menu_section = 0;
};

// Bitmap and wave section sizes, from the lists pass 1 built.
void compute_section_totals(Compiler& c);

// Writes everything before the code area and fixes the layout. A module
// whose offsets do not fit in 32 signed bits ends in the fatal stop.
void write_module_header(Compiler& c);

}  // namespace oxbuild
