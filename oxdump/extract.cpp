#include "oxdump/extract.hpp"

#include <map>
#include <string>
#include <stdexcept>

#include "format/module_format.hpp"
#include "platform/platform.hpp"

namespace oxdump {

namespace {

namespace fmt = oxbuild::format;

// BITMAPFILEHEADER: "BM", file size, two reserved words, pixel offset.
constexpr std::string_view kBmpSignature = "BM";
constexpr std::uint32_t kBmpFileHeaderSize = 14;
constexpr std::string_view kWaveForm = "WAVE";

void append_le(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::vector<std::uint8_t> bmp_file_header(std::uint32_t file_size) {
    std::vector<std::uint8_t> header(kBmpSignature.begin(), kBmpSignature.end());
    append_le(header, file_size, 4);
    append_le(header, 0, 2);
    append_le(header, 0, 2);
    append_le(header, kBmpFileHeaderSize + static_cast<std::uint32_t>(fmt::kBitmapDataFixedSize), 4);
    return header;
}

// Whole or not at all: an extraction stopped on the way leaves no cut file.
void write_file(const std::filesystem::path& path, std::span<const std::uint8_t> head,
                std::span<const std::uint8_t> body) {
    std::string bytes(head.begin(), head.end());
    bytes.append(body.begin(), body.end());
    if (!oxbuild::platform::replace_file(path.string(), bytes)) throw std::runtime_error("cannot write " + path.string());
}

std::string numbered(std::string_view kind, std::int32_t number, int occurrence) {
    std::string name(kind);
    name += '_';
    name += std::to_string(number);
    if (occurrence > 1) {
        name += '-';
        name += std::to_string(occurrence);
    }
    return name;
}

}  // namespace

std::string bitmap_file_name(const Bitmap& bitmap, int occurrence) {
    return numbered("bitmap", bitmap.number, occurrence) + ".bmp";
}

std::string wave_file_name(const Wave& wave, int occurrence) {
    return numbered("wave", wave.number, occurrence) + (wave.form == kWaveForm ? ".wav" : ".riff");
}

std::vector<std::filesystem::path> extract_resources(const Module& module, std::span<const std::uint8_t> file,
                                                     const std::filesystem::path& directory) {
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (error) throw std::runtime_error("cannot create " + directory.string() + ": " + error.message());
    std::vector<std::filesystem::path> written;
    std::map<std::int32_t, int> bitmap_uses, wave_uses;
    for (const Bitmap& b : module.bitmaps.bitmaps) {
        // The stored information header, palette and pixels, as they are.
        const Offset end = b.pixels + b.stride * static_cast<Offset>(b.height);
        const auto body = file.subspan(b.data, end - b.data);
        const auto header = bmp_file_header(static_cast<std::uint32_t>(kBmpFileHeaderSize + body.size()));
        written.push_back(directory / bitmap_file_name(b, ++bitmap_uses[b.number]));
        write_file(written.back(), header, body);
    }
    for (const Wave& w : module.waves) {
        written.push_back(directory / wave_file_name(w, ++wave_uses[w.number]));
        write_file(written.back(), {}, file.subspan(w.data, w.size));
    }
    return written;
}

}  // namespace oxdump
