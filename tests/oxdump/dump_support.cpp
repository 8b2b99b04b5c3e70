#include "dump_support.hpp"

#include <span>
#include <sstream>
#include <stdexcept>

#include "oxdump/oxdump.hpp"
#include "support/system.hpp"

namespace oxdumptest {

namespace {

constexpr std::size_t kBmpHeadersSize = 14 + 40;
constexpr std::size_t kFullColourTable = 256;

void put(Bytes& b, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) b.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

}  // namespace

Dump dump_bytes(const Bytes& module, std::string_view name) {
    std::ostringstream out, err;
    Dump d;
    d.status = oxdump::dump_module_bytes(std::span<const std::uint8_t>(module.data(), module.size()), name, out, err);
    d.out = out.str();
    d.err = err.str();
    return d;
}

Dump run_dump(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    Dump d;
    d.status = oxdump::run_oxdump(args, out, err);
    d.out = out.str();
    d.err = err.str();
    return d;
}

Dump run_dump_binary(const std::vector<std::string>& args, const std::string& cwd) {
    const oxtest::ProcessRun run = oxtest::run_process(OXDUMP_BINARY, args, cwd);
    Dump d;
    d.status = run.status;
    d.out = oxtest::lf_lines(run.out);
    d.err = oxtest::lf_lines(run.err);
    return d;
}

std::string block(const std::string& listing, std::string_view from, std::string_view to) {
    std::istringstream in(listing);
    std::string text, line;
    bool inside = false;
    while (std::getline(in, line)) {
        if (!inside && line.starts_with(from))
            inside = true;
        else if (inside && !to.empty() && line.starts_with(to))
            break;
        if (inside) text += line + "\n";
    }
    return text;
}

Bytes patched_dword(Bytes module, std::size_t at, std::uint32_t value) {
    if (at + 4 > module.size()) throw std::out_of_range("patch past the end");
    for (int i = 0; i < 4; ++i) module[at + static_cast<std::size_t>(i)] = static_cast<unsigned char>(value >> (8 * i));
    return module;
}

Bytes patched_word(Bytes module, std::size_t at, std::uint16_t value) {
    if (at + 2 > module.size()) throw std::out_of_range("patch past the end");
    module[at] = static_cast<unsigned char>(value);
    module[at + 1] = static_cast<unsigned char>(value >> 8);
    return module;
}

Bytes bmp_file(std::int32_t width, std::int32_t height, const std::vector<Rgb>& colours, const Bytes& pixels,
               bool all256) {
    const std::size_t entries = all256 ? kFullColourTable : colours.size();
    const std::size_t pixel_offset = kBmpHeadersSize + 4 * entries;
    Bytes b{'B', 'M'};
    put(b, static_cast<std::uint32_t>(pixel_offset + pixels.size()), 4);
    put(b, 0, 4);
    put(b, static_cast<std::uint32_t>(pixel_offset), 4);
    put(b, 40, 4);
    put(b, static_cast<std::uint32_t>(width), 4);
    put(b, static_cast<std::uint32_t>(height), 4);
    put(b, 1, 2);
    put(b, 8, 2);
    put(b, 0, 4);  // no compression
    put(b, static_cast<std::uint32_t>(pixels.size()), 4);
    put(b, 2835, 4);
    put(b, 2835, 4);
    put(b, all256 ? 0 : static_cast<std::uint32_t>(colours.size()), 4);
    put(b, 0, 4);
    for (std::size_t i = 0; i < entries; ++i) {
        const Rgb c = i < colours.size() ? colours[i] : Rgb{};
        b.insert(b.end(), {c.blue, c.green, c.red, 0});
    }
    b.insert(b.end(), pixels.begin(), pixels.end());
    return b;
}

Bytes riff_file(std::string_view rest) {
    Bytes b{'R', 'I', 'F', 'F'};
    put(b, static_cast<std::uint32_t>(rest.size()), 4);
    b.insert(b.end(), rest.begin(), rest.end());
    return b;
}

oxtest::Compiled compile_resource_example(const oxtest::TempDir& dir) {
    // a.bmp: four colours, index 2 transparent.
    oxtest::write_file(dir / "a.bmp", bmp_file(3, 2, {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}},
                                               {0, 1, 2, 0, 3, 2, 1, 0}));
    // b.bmp: a full table: black (transparent), green again, one new colour,
    // and black in every other entry.
    oxtest::write_file(dir / "b.bmp",
                       bmp_file(5, 1, {{0, 0, 0}, {0, 255, 0}, {0x12, 0x34, 0x56}}, {0, 1, 2, 3, 255, 0, 0, 0}, true));
    const std::string format_chunk = std::string("fmt ") + std::string("\x10\0\0\0", 4) + std::string(16, '\1');
    const std::string data_chunk = std::string("data") + std::string("\4\0\0\0", 4) + "\x80\x80\x80\x80";
    oxtest::write_file(dir / "s.wav", riff_file("WAVE" + format_chunk + data_chunk));
    oxtest::write_file(dir / "t.riff", riff_file("ab"));
    return oxtest::compile_in(dir,
                              "#module \"\x82\xA0 clock\"\n"
                              "#copyright \"(c) \\\"us\\\"\"\n"
                              "#version \"1.0\\t\"\n"
                              "#comment \"\xB1\\x80!\"\n"
                              "#bitmap 7 \"a.bmp\" 2\n"
                              "#bitmap -1 \"b.bmp\" 0\n"
                              "#wave 3 \"s.wav\"\n"
                              "#wave 4 \"t.riff\"\n"
                              "#menu 1 {\n"
                              "  POPUP \"File\" {\n"
                              "    MENUITEM \"Open\", 1, 0\n"
                              "    POPUP \"Recent\" { MENUITEM \"a\", 4, 100 }\n"
                              "  }\n"
                              "  MENUITEM \"About\", 3, -7\n"
                              "  POPUP \"Empty\" { }\n"
                              "}\n"
                              "#menu 2 { }\n"
                              "OnMenuItemSelected(int menu, int item) { PlayWave(3); }\n");
}

}  // namespace oxdumptest
