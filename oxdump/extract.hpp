// Writes a module's resources back out as files: each bitmap as an 8-bit
// BMP file (file header, the stored information header, palette and pixels)
// and each wave as the RIFF file it was copied from.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "oxdump/module_model.hpp"

namespace oxdump {

// The file names used: bitmap_NUMBER.bmp, and wave_NUMBER.wav for a RIFF
// file of form "WAVE" or wave_NUMBER.riff for any other form. Numbers are
// unique in a module the compiler wrote; should one repeat, its second file
// gets "-2" after the number, its third "-3", and so on.
std::string bitmap_file_name(const Bitmap& bitmap, int occurrence = 1);
std::string wave_file_name(const Wave& wave, int occurrence = 1);

// Creates the directory when needed and returns the paths written, in
// section order. Throws std::runtime_error when a file cannot be written.
std::vector<std::filesystem::path> extract_resources(const Module& module, std::span<const std::uint8_t> file,
                                                     const std::filesystem::path& directory);

}  // namespace oxdump
