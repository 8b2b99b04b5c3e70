// #wave: a RIFF file attached under a number and copied whole into the
// wave section.
#pragma once

namespace oxbuild {

class Compiler;

// #wave number "file"
void directive_wave(Compiler& c);

// N, the directory (number, data offset, size), then every file's bytes.
// Writes nothing when pass 2 counted errors.
void write_wave_section(Compiler& c);

}  // namespace oxbuild
