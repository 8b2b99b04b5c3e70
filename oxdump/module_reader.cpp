#include "oxdump/module_reader.hpp"

#include <algorithm>

#include "format/module_format.hpp"
#include "symbols/host_tables.hpp"

namespace oxdump {

namespace {

using namespace oxbuild;
namespace fmt = oxbuild::format;

constexpr std::string_view kTextFieldNames[] = {"module name", "copyright", "version", "comment"};

bool has_magic(std::span<const std::uint8_t> file) {
    return file.size() >= fmt::kMagic.size() && std::equal(fmt::kMagic.begin(), fmt::kMagic.end(), file.begin());
}

std::uint32_t dword_at(Cursor& in, Offset at, std::string_view field) {
    in.seek(at, field);
    return in.dword(field);
}

void read_magic_and_format(Cursor& in, std::span<const std::uint8_t> file) {
    if (!has_magic(file))
        fail(fmt::kMagicOffset, "not a module: it does not begin with the magic \"" + std::string(fmt::kMagic) + "\"");
    const std::uint32_t format = dword_at(in, fmt::kFormatOffset, "format number");
    if (format != fmt::kFormatNumber)
        fail(fmt::kFormatOffset,
             "format number " + std::to_string(format) + " is not " + std::to_string(fmt::kFormatNumber));
}

// A text field: its bytes up to the first zero, which the field must hold.
std::string read_text_field(Cursor& in, std::size_t field) {
    const Offset at = fmt::kTextFieldOffsets[field];
    in.seek(at, kTextFieldNames[field]);
    const auto bytes = in.bytes(fmt::kTextFieldWidths[field], kTextFieldNames[field]);
    const auto zero = std::find(bytes.begin(), bytes.end(), 0);
    if (zero == bytes.end()) fail(at, std::string(kTextFieldNames[field]) + " field has no terminating zero");
    return std::string(bytes.begin(), zero);
}

Header read_header(Cursor& in, std::span<const std::uint8_t> file) {
    read_magic_and_format(in, file);
    Header h;
    h.format = fmt::kFormatNumber;
    for (std::size_t i = 0; i < h.texts.size(); ++i) h.texts[i] = read_text_field(in, i);
    h.function_table = dword_at(in, fmt::kFunctionTableOffsetField, "function table offset");
    if (h.function_table != fmt::kHeaderSize)
        fail(fmt::kFunctionTableOffsetField, "function table offset " + std::to_string(h.function_table) + " is not " +
                                                 std::to_string(fmt::kHeaderSize));
    h.bitmap_section = dword_at(in, fmt::kBitmapSectionField, "bitmap section offset");
    h.event_table = dword_at(in, fmt::kEventTableField, "event handler table offset");
    h.wave_section = dword_at(in, fmt::kWaveSectionField, "wave section offset");
    h.menu_section = dword_at(in, fmt::kMenuSectionField, "menu section offset");
    return h;
}

// -1, or the index of one of the module's functions.
std::int32_t read_handler(Cursor& in, std::string_view event, std::uint32_t functions) {
    const Offset at = in.offset();
    const std::int32_t handler = in.signed_dword("handler field");
    if (handler != fmt::kNoHandler && (handler < 0 || static_cast<std::uint32_t>(handler) >= functions))
        fail(at, "handler of " + std::string(event) + " is function " + std::to_string(handler) +
                     ", but the module has " + count_of(functions, "function"));
    return handler;
}

// Checks that a stored offset holds the value the layout gives it.
void expect_offset(Offset field_at, std::string_view field, Offset stored, Offset expected) {
    if (stored != expected)
        fail(field_at, std::string(field) + " " + std::to_string(stored) + " is not " + std::to_string(expected));
}

// The function table and the event handler table; the handler fields are
// checked once the number of functions is known.
void read_tables(Cursor& in, Module& m, std::vector<Offset>& descriptor_offsets) {
    const std::uint32_t functions = dword_at(in, fmt::kFunctionCountField, "function count");
    in.require(functions, kDwordSize, "descriptor offsets");
    for (std::uint32_t f = 0; f < functions; ++f) descriptor_offsets.push_back(in.dword("descriptor offset"));

    const Offset event_table = fmt::kDescriptorOffsetsField + kDwordSize * Offset{functions};
    expect_offset(fmt::kEventTableField, "event handler table offset", m.header.event_table, event_table);
    in.seek(event_table, "event handler table");
    const auto all_events = events();
    const std::size_t entries = all_events.size() - kFixedHandlerEvents;
    const Offset count_at = in.offset();
    const std::uint32_t count = in.dword("event handler count");
    if (count != entries)
        fail(count_at, "event handler table has " + std::to_string(count) + " entries, not " + std::to_string(entries));
    for (std::size_t e = kFixedHandlerEvents; e < all_events.size(); ++e)
        m.event_handlers.push_back(read_handler(in, all_events[e].name, functions));

    in.seek(fmt::kLoadHandlerField, "handler fields");
    for (std::size_t e = 0; e < kFixedHandlerEvents; ++e)
        m.fixed_handlers[e] = read_handler(in, all_events[e].name, functions);
    for (std::size_t t = 0; t < m.global_counts.size(); ++t) m.global_counts[t] = in.dword("global count");
}

Parameter read_parameter(Cursor& in, const Function& f) {
    const Offset at = in.offset();
    const std::uint16_t type_word = in.word("parameter type word");
    const TypeCode type = type_code(type_word);
    const int type_class = type_class_index(type);
    if (type_flags(type_word) != LOCAL_FLAG || type_class < 0)
        fail(at, "parameter type word " + hex(type_word) + " is not a parameter type");
    const Offset slot_at = in.offset();
    const std::uint16_t slot = in.word("parameter slot word");
    if (slot != UNNAMED_PARAMETER_SLOT && slot >= f.local_counts[static_cast<std::size_t>(type_class)])
        fail(slot_at, "parameter slot " + std::to_string(slot) + " lies past the function's " +
                          count_of(f.local_counts[static_cast<std::size_t>(type_class)],
                                   std::string(type_name(type)) + " local"));
    return {type, slot};
}

// One descriptor at its expected offset: entry, six local counts, n,
// n parameter pointers, n parameter descriptors.
Function read_descriptor(Cursor& in, Offset at) {
    Function f;
    f.descriptor = at;
    in.seek(at, "function descriptor");
    f.entry = in.dword("function entry");  // a file offset until the code base is known
    for (std::uint32_t& count : f.local_counts) count = in.dword("local count");
    const std::uint32_t n = in.dword("parameter count");
    in.require(n, fmt::kDescriptorPerParameter, "parameters");
    const Offset first = at + fmt::kDescriptorFixedSize + kDwordSize * Offset{n};
    for (Offset k = 0; k < n; ++k) in.expected_offset("parameter pointer", first + kDwordSize * k);
    for (Offset k = 0; k < n; ++k) f.parameters.push_back(read_parameter(in, f));
    return f;
}

void read_descriptors(Cursor& in, Module& m, const std::vector<Offset>& descriptor_offsets) {
    Offset at = m.header.event_table + fmt::kEventTableHeadSize + kDwordSize * Offset{m.event_handlers.size()};
    for (std::size_t k = 0; k < descriptor_offsets.size(); ++k) {
        expect_offset(fmt::kDescriptorOffsetsField + kDwordSize * k, "descriptor offset", descriptor_offsets[k], at);
        m.functions.push_back(read_descriptor(in, at));
        at = in.offset();
    }
    m.code_base = at;
}

// The three sections follow the code area in order and lie in the file.
void check_section_offset(Offset field_at, std::string_view section, Offset offset, Offset previous,
                          std::string_view previous_name, Offset file_size) {
    if (offset < previous)
        fail(field_at, std::string(section) + " offset " + std::to_string(offset) + " lies before " +
                           std::string(previous_name) + " at " + std::to_string(previous));
    if (offset > file_size)
        fail(field_at, std::string(section) + " offset " + std::to_string(offset) + " lies past the end of the file (" +
                           std::to_string(file_size) + " bytes)");
}

void check_sections(const Module& m) {
    const Header& h = m.header;
    check_section_offset(fmt::kBitmapSectionField, "bitmap section", h.bitmap_section, m.code_base, "the code base",
                         m.file_size);
    check_section_offset(fmt::kWaveSectionField, "wave section", h.wave_section, h.bitmap_section, "the bitmap section",
                         m.file_size);
    check_section_offset(fmt::kMenuSectionField, "menu section", h.menu_section, h.wave_section, "the wave section",
                         m.file_size);
}

// Entries were read as file offsets; they must start inside the code area.
void relocate_entries(Module& m) {
    for (std::size_t k = 0; k < m.functions.size(); ++k) {
        Function& f = m.functions[k];
        if (f.entry < m.code_base || f.entry >= m.code_base + m.code_size)
            fail(f.descriptor, "entry " + std::to_string(f.entry) + " of function " + std::to_string(k) +
                                   " lies outside the code area (" + std::to_string(m.code_base) + " to " +
                                   std::to_string(m.code_base + m.code_size) + ")");
        f.entry -= m.code_base;
    }
}

}  // namespace

Module read_module(std::span<const std::uint8_t> file) {
    Cursor in(file);
    Module m;
    m.file_size = file.size();
    m.header = read_header(in, file);
    std::vector<Offset> descriptor_offsets;
    read_tables(in, m, descriptor_offsets);
    read_descriptors(in, m, descriptor_offsets);
    check_sections(m);
    m.code_size = m.header.bitmap_section - m.code_base;
    relocate_entries(m);
    m.code = read_code(file, m);
    m.bitmaps = read_bitmap_section(file, m);
    m.waves = read_wave_section(file, m);
    m.menus = read_menu_section(file, m);
    return m;
}

}  // namespace oxdump
