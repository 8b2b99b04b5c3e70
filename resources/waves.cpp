#include "resources/waves.hpp"

#include <algorithm>
#include <array>
#include <memory>

#include "driver/compiler.hpp"
#include "core/fatal.hpp"
#include "format/module_format.hpp"
#include "resources/binary_file.hpp"
#include "resources/directives.hpp"

namespace oxbuild {

namespace {

constexpr std::string_view kRiffMagic = "RIFF";
constexpr std::size_t kCopyChunk = 1 << 16;  // at most the room a stream gives at once

bool starts_as_riff(BinaryFile& file) {
    std::array<unsigned char, 4> magic{};
    return file.read(magic.data(), magic.size()) == magic.size() &&
           std::string_view(reinterpret_cast<const char*>(magic.data()), magic.size()) == kRiffMagic;
}

// Opens the file and checks its first four bytes; reports what is wrong.
void add_wave(Compiler& c, std::int32_t number, const std::string& name) {
    const std::string path = c.resolve(name);
    const auto file = BinaryFile::open(path);
    if (!file) {
        c.diag.report_error_file(msg::wave_not_found, name);
        return;
    }
    c.run.inputs.add(path);
    if (!starts_as_riff(*file)) {
        c.diag.report_error_file(msg::wave_malformed, name);
        return;
    }
    c.p().waves.push_back({number, name, file->size()});
    c.p().wave_numbers.insert(number);
}

// Copies exactly the recorded size, read a piece at a time straight into
// the module's room; a file that no longer holds it ends the run, since the
// header already promised those bytes. A pass that writes no module reads
// the pieces all the same, into a buffer of its own.
void copy_wave(Compiler& c, const WaveRecord& wave) {
    const auto file = BinaryFile::open(c.resolve(wave.file_name));
    if (!file) fatal_stop("cannot open a wave file again: " + wave.file_name);
    std::unique_ptr<unsigned char[]> unwritten;
    std::int64_t left = wave.size;
    while (left > 0) {
        const auto want = static_cast<std::size_t>(std::min<std::int64_t>(left, kCopyChunk));
        bool whole = false;
        const auto read_piece = [&](unsigned char* to) { whole = file->read(to, want) == want; };
        c.sink.emit_in_place(want, read_piece);
        if (!c.sink.writes()) {
            if (!unwritten) unwritten.reset(new unsigned char[kCopyChunk]);  // left unfilled: the file fills it
            read_piece(unwritten.get());
        }
        if (!whole) fatal_stop("cannot read a wave file in full: " + wave.file_name);
        left -= static_cast<std::int64_t>(want);
    }
}

}  // namespace

void directive_wave(Compiler& c) {
    const SourcePoint directive = c.listener != nullptr ? c.point_here() : SourcePoint{};
    std::int32_t number = 0;
    if (!c.lex.read_integer(number, true)) return;
    const FileNameResult name = c.lex.read_file_name(kFileNameMax, true);
    if (!file_name_read(c, name)) return;
    if (c.listener != nullptr) {
        c.listener->resource_declared(ResourceKind::wave, directive, number);
        c.listener->file_named(c.name_here(name.name), c.resolve(name.name));
    }
    if (c.p().wave_numbers.count(number) != 0) c.diag.report_error(msg::wave_number_twice);
    add_wave(c, number, name.name);
    c.lex.end_directive();
}

bool wave_file_unchanged(const Compiler& c, const WaveRecord& w) {
    const auto file = BinaryFile::open(c.resolve(w.file_name));
    return file && starts_as_riff(*file) && file->size() == w.size;
}

void write_wave_section(Compiler& c) {
    if (c.diag.error_count() != 0) return;
    const auto& waves = c.p().waves;
    c.sink.emit_dword(static_cast<std::uint32_t>(waves.size()));
    std::int64_t offset = c.run.layout.wave_section + wave_data_start(waves.size());
    for (const WaveRecord& w : waves) {
        c.sink.emit_dword(static_cast<std::uint32_t>(w.number));
        c.sink.emit_dword(static_cast<std::uint32_t>(offset));
        c.sink.emit_dword(static_cast<std::uint32_t>(w.size));
        offset += w.size;
    }
    for (const WaveRecord& w : waves) copy_wave(c, w);
}

std::int64_t wave_data_start(std::size_t waves) {
    return static_cast<std::int64_t>(format::kWaveSectionFixedSize + format::kWaveDirectoryEntry * waves);
}

std::int64_t wave_section_size(const std::vector<WaveRecord>& waves) {
    std::int64_t size = wave_data_start(waves.size());
    for (const WaveRecord& w : waves) size += w.size;
    return size;
}

}  // namespace oxbuild
