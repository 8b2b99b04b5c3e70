#include "support/resource_files.hpp"

#include <algorithm>
#include <filesystem>

#include "format/module_format.hpp"

namespace oxtest {

namespace {

constexpr std::uint16_t kPlanes = 1;
constexpr std::uint32_t kBmpPixelsPerMetre = 2835;  // any value; the compiler writes its own
constexpr std::size_t kCoreColourEntry = 3;
constexpr std::size_t kInfoColourEntry = 4;

constexpr std::uint16_t kPcmFormat = 1;
constexpr std::uint16_t kMonoChannels = 1;
constexpr std::uint32_t kSampleRate = 8000;
constexpr std::uint16_t kBitsPerSample = 8;
constexpr std::uint32_t kFmtChunkSize = 16;

std::size_t colour_table_size(const BmpContents& bmp) {
    return table_entries(bmp) * (bmp.core_header ? kCoreColourEntry : kInfoColourEntry);
}

void write_core_header(ByteWriter& w, const BmpContents& bmp) {
    w.dword(kBmpCoreHeaderSize);
    w.word(static_cast<std::uint32_t>(bmp.width)).word(static_cast<std::uint32_t>(bmp.height));
    w.word(kPlanes).word(bmp.bit_count);
}

void write_info_header(ByteWriter& w, const BmpContents& bmp) {
    w.dword(kBmpInfoHeaderSize);
    w.dword(static_cast<std::uint32_t>(bmp.width)).dword(static_cast<std::uint32_t>(bmp.height));
    w.word(kPlanes).word(bmp.bit_count).dword(bmp.compression);
    w.dword(static_cast<std::uint32_t>(bmp.pixels.size()));
    w.dword(kBmpPixelsPerMetre).dword(kBmpPixelsPerMetre);
    w.dword(bmp.colours_used).dword(0);
}

void write_colour_table(ByteWriter& w, const BmpContents& bmp) {
    for (std::size_t i = 0; i < table_entries(bmp); ++i) {
        const Colour c = i < bmp.colours.size() ? bmp.colours[i] : Colour{};
        w.byte(c.blue).byte(c.green).byte(c.red);
        if (!bmp.core_header) w.byte(0);
    }
}

Bytes slice(const Bytes& module, std::size_t from, std::size_t to) {
    return Bytes(module.begin() + static_cast<std::ptrdiff_t>(from), module.begin() + static_cast<std::ptrdiff_t>(to));
}

}  // namespace

std::size_t table_entries(const BmpContents& bmp) {
    if (bmp.core_header || bmp.colours_used == 0) return kBmpFullColourTable;
    return std::min<std::size_t>(bmp.colours_used, kBmpFullColourTable);
}

Bytes make_bmp(const BmpContents& bmp) {
    const std::uint32_t header_size = bmp.core_header ? kBmpCoreHeaderSize : kBmpInfoHeaderSize;
    const std::size_t pixel_offset = kBmpFileHeaderSize + header_size + colour_table_size(bmp);
    const std::size_t file_size = pixel_offset + bmp.pixels.size();
    ByteWriter w;
    w.text("BM").dword(static_cast<std::uint32_t>(bmp.file_size_field.value_or(file_size)));
    w.word(0).word(0).dword(static_cast<std::uint32_t>(pixel_offset));
    if (bmp.core_header) write_core_header(w, bmp);
    else write_info_header(w, bmp);
    write_colour_table(w, bmp);
    w.bytes(bmp.pixels);
    return w.get();
}

void write_bmp(const std::string& path, const BmpContents& bmp) { write_file(path, make_bmp(bmp)); }

Bytes padded_rows(const std::vector<Bytes>& rows, std::size_t stride, unsigned char pad) {
    Bytes out;
    for (const Bytes& row : rows) {
        out.insert(out.end(), row.begin(), row.end());
        out.insert(out.end(), stride - row.size(), pad);
    }
    return out;
}

Bytes make_riff(std::string_view form, const Bytes& payload) {
    ByteWriter w;
    w.text("RIFF").dword(static_cast<std::uint32_t>(form.size() + payload.size())).text(form).bytes(payload);
    return w.get();
}

Bytes make_wave(const Bytes& samples) {
    constexpr std::uint32_t kBlockAlign = kMonoChannels * kBitsPerSample / 8;
    ByteWriter chunks;
    chunks.text("fmt ").dword(kFmtChunkSize);
    chunks.word(kPcmFormat).word(kMonoChannels).dword(kSampleRate).dword(kSampleRate * kBlockAlign);
    chunks.word(kBlockAlign).word(kBitsPerSample);
    chunks.text("data").dword(static_cast<std::uint32_t>(samples.size())).bytes(samples);
    return make_riff("WAVE", chunks.get());
}

void write_sparse_riff(const std::string& path, std::int64_t size) {
    constexpr std::int64_t kRiffHead = 8;  // "RIFF" and the size field
    ByteWriter w;
    w.text("RIFF").dword(static_cast<std::uint32_t>(size - kRiffHead)).text("WAVE");
    write_file(path, w.get());
    std::filesystem::resize_file(path, static_cast<std::uintmax_t>(size));  // extends the file with a hole
}

Bytes bitmap_section(const Bytes& module) {
    using namespace oxbuild::format;
    return slice(module, dword_at(module, kBitmapSectionField), dword_at(module, kWaveSectionField));
}

Bytes wave_section(const Bytes& module) {
    using namespace oxbuild::format;
    return slice(module, dword_at(module, kWaveSectionField), dword_at(module, kMenuSectionField));
}

Bytes menu_section(const Bytes& module) {
    return slice(module, dword_at(module, oxbuild::format::kMenuSectionField), module.size());
}

}  // namespace oxtest
