// The module file layout: the contract with the host that loads modules.
// All values little-endian; every stored offset counts from the file's start
// and is a signed 32-bit value.
//
//   module header            208 bytes   magic, format, four text fields, section offsets
//   function table           28 + 4F     fixed handlers, global counts, F, descriptor offsets
//   event handler table      4 + 4E      E, one handler field per event from the fourth on
//   function descriptors     32 + 8n     one per user function (n parameters)
//   code area                code size   starts at the code base
//   bitmap section           Tb          palette head, palette, directory, bitmaps
//   wave section             Tw          directory, whole RIFF files
//   menu section             to the end  head, menu offsets, encoded menus
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>

namespace oxbuild::format {

inline constexpr std::string_view kMagic = "OXB ";
inline constexpr std::uint32_t kFormatNumber = 128;
inline constexpr std::int32_t kNoHandler = -1;
// Every offset the module stores points inside it, so a module of at most
// this size can store all of them.
inline constexpr std::int64_t kMaxModuleSize = std::numeric_limits<std::int32_t>::max();

// Module header fields.
inline constexpr std::size_t kMagicOffset = 0;
inline constexpr std::size_t kFormatOffset = 4;
inline constexpr std::size_t kTextFieldOffsets[] = {8, 42, 76, 94};  // module, copyright, version, comment
inline constexpr std::size_t kTextFieldWidths[] = {34, 34, 18, 66};
inline constexpr std::size_t kTextFieldLimits[] = {32, 32, 16, 64};   // longest text of each field
inline constexpr std::size_t kFunctionTableOffsetField = 160;
inline constexpr std::size_t kBitmapSectionField = 164;
inline constexpr std::size_t kEventTableField = 168;
inline constexpr std::size_t kWaveSectionField = 172;
inline constexpr std::size_t kReservedField = 176;
inline constexpr std::size_t kMenuSectionField = 180;
inline constexpr std::size_t kTrailingReservedDwords = 6;
inline constexpr std::size_t kHeaderSize = 208;

// Function table, at kHeaderSize.
inline constexpr std::size_t kLoadHandlerField = 208;
inline constexpr std::size_t kUnloadHandlerField = 212;
inline constexpr std::size_t kIntervalHandlerField = 216;
inline constexpr std::size_t kGlobalCountFields = 220;  // int, uint, str
inline constexpr std::size_t kFunctionCountField = 232;
inline constexpr std::size_t kDescriptorOffsetsField = 236;  // F dwords
inline constexpr std::size_t kFunctionTableFixedSize = 28;

// Event handler table: E, then E handler fields.
inline constexpr std::size_t kEventTableHeadSize = 4;

// Function descriptor: entry, six local counts, n, n parameter pointers,
// n parameter descriptors (type word 0x100 + type code, slot word).
inline constexpr std::size_t kDescriptorFixedSize = 32;
inline constexpr std::size_t kDescriptorLocalCounts = 4;
inline constexpr std::size_t kDescriptorParameterCount = 28;
inline constexpr std::size_t kDescriptorPerParameter = 8;  // pointer + descriptor

// Bitmap section: LOGPALETTE head (version, count), 256 entries of red,
// green, blue, 0, N, then N directory entries (number, data offset).
inline constexpr std::uint16_t kPaletteVersion = 0x300;
inline constexpr std::size_t kPaletteSize = 1024;
inline constexpr std::size_t kBitmapSectionFixedSize = 1032;
inline constexpr std::size_t kBitmapDirectoryEntry = 8;
// Per bitmap: a 40-byte information header and its own copy of the palette
// (blue, green, red, 0), then the pixel rows.
inline constexpr std::size_t kBitmapInfoHeaderSize = 40;
inline constexpr std::size_t kBitmapDataFixedSize = kBitmapInfoHeaderSize + kPaletteSize;  // 1064
inline constexpr std::size_t kBitmapSectionPerBitmap = kBitmapDirectoryEntry + kBitmapDataFixedSize;  // 1072
inline constexpr std::int32_t kPixelsPerMetre = 5906;  // 150 dots per inch

// Wave section: N, then N directory entries (number, data offset, size).
inline constexpr std::size_t kWaveSectionFixedSize = 4;
inline constexpr std::size_t kWaveDirectoryEntry = 12;

// Menu section: marker, directory offset (M + 12), 0, K, K menu offsets.
inline constexpr std::uint32_t kMenuTableMarker = 2;
inline constexpr std::size_t kMenuDirectoryDelta = 12;
inline constexpr std::size_t kMenuSectionFixedSize = 16;
// Menu encoding words.
inline constexpr std::uint16_t kMenuPopup = 0;
inline constexpr std::uint16_t kMenuEnd = 1;
inline constexpr std::uint16_t kMenuItem = 2;

// Row stride of an 8-bit bitmap: the smallest multiple of 4 not below w.
constexpr std::int64_t bitmap_stride(std::int64_t width) { return (width + 3) & ~std::int64_t{3}; }

}  // namespace oxbuild::format
