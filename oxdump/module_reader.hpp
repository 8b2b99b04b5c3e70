// Reads a whole module file into a Module, checking every offset and count
// against the file before using it. Anything that does not match the format
// throws FormatError naming the field and its offset.
#pragma once

#include <cstdint>
#include <span>

#include "oxdump/module_model.hpp"

namespace oxdump {

Module read_module(std::span<const std::uint8_t> file);

// The parts read_module is made of, each given what came before it.
std::vector<Instruction> read_code(std::span<const std::uint8_t> file, const Module& module);
BitmapSection read_bitmap_section(std::span<const std::uint8_t> file, const Module& module);
std::vector<Wave> read_wave_section(std::span<const std::uint8_t> file, const Module& module);
std::vector<Menu> read_menu_section(std::span<const std::uint8_t> file, const Module& module);

}  // namespace oxdump
