// The module header, function table, event handler table and function
// descriptors, written at the start of pass 2 from what pass 1 measured.
#pragma once

#include <cstdint>

namespace oxbuild {

class Compiler;

// Where the sections begin and the module ends, fixed by the header writer
// for pass 2; the menu section's size is measured at the end of pass 1.
struct ModuleLayout {
    std::int64_t code_base = 0;
    std::int64_t bitmap_section = 0;
    std::int64_t wave_section = 0;
    std::int64_t menu_section = 0;
    std::int64_t menu_total = 0;  // menu section size
    std::int64_t module_size = 0;
};

// Bitmap, wave and menu section sizes, from the lists pass 1 built.
void compute_section_totals(Compiler& c);

// Ends in the fatal stop when a module of this size cannot store its
// offsets (more than format::kMaxModuleSize bytes).
void require_module_size(std::int64_t size);

// Writes everything before the code area and fixes the layout, after
// checking the size of the whole module, before any section is written.
void write_module_header(Compiler& c);

}  // namespace oxbuild
