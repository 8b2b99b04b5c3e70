// #wave: a RIFF file attached under a number and copied whole into the
// wave section.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "resources/resource_records.hpp"

namespace oxbuild {

class Compiler;

// #wave number "file"
void directive_wave(Compiler& c);

// Whether the wave's file still reads as its directive found it: a RIFF
// file of the recorded size.
bool wave_file_unchanged(const Compiler& c, const WaveRecord& w);

// N, the directory (number, data offset, size), then every file's bytes.
// Writes nothing when pass 2 counted errors.
void write_wave_section(Compiler& c);

// The section's sizes, for its directory and for the module's layout:
// where the wave data begins (past a directory of so many waves), and the
// whole section.
std::int64_t wave_data_start(std::size_t waves);
std::int64_t wave_section_size(const std::vector<WaveRecord>& waves);

}  // namespace oxbuild
