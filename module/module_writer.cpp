#include "module/module_writer.hpp"

#include <array>

#include "driver/compiler.hpp"
#include "core/fatal.hpp"
#include "module/function_descriptors.hpp"
#include "format/module_format.hpp"
#include "resources/bitmaps.hpp"
#include "resources/menus.hpp"
#include "resources/waves.hpp"
#include "symbols/host_tables.hpp"

namespace oxbuild {

namespace {

using namespace format;

std::int64_t descriptor_size(const FunctionRecord& f) { return FunctionDescriptors::size_of(f.parameter_count); }

std::int32_t handler_field(const Compiler& c, std::string_view event_name) {
    const auto index = c.run.functions.find_index(event_name);
    if (!index || index->kind != FunctionKind::user) return kNoHandler;
    return index->call_number;
}

void emit_dword(Compiler& c, std::int64_t value) { c.sink.emit_dword(static_cast<std::uint32_t>(value)); }

// Each field from a zero-filled buffer: the text, then zeros to the width.
void emit_text_fields(Compiler& c) {
    for (std::size_t i = 0; i < kTextFieldCount; ++i) {
        std::string field = c.run.texts.text[i];
        field.resize(kTextFieldWidths[i], '\0');
        c.sink.emit_text(field);
    }
}

// Lays out the file from pass 1's measures.
ModuleLayout compute_layout(const Compiler& c, std::int64_t user_functions, std::int64_t events) {
    ModuleLayout layout;
    std::int64_t code_base = static_cast<std::int64_t>(kDescriptorOffsetsField + kEventTableHeadSize) +
                             4 * user_functions + 4 * events + c.run.descriptors.size();
    layout.code_base = code_base;
    layout.bitmap_section = code_base + c.run.code_size;
    layout.wave_section = layout.bitmap_section + c.run.bitmap_total;
    layout.menu_section = layout.wave_section + c.run.wave_total;
    layout.menu_total = c.run.layout.menu_total;
    layout.module_size = layout.menu_section + layout.menu_total;
    require_module_size(layout.module_size);
    return layout;
}

}  // namespace

void compute_section_totals(Compiler& c) {
    c.run.bitmap_total = bitmap_section_size(c.p().bitmaps);
    c.run.wave_total = wave_section_size(c.p().waves);
    c.run.layout.menu_total = menu_section_size(c.p().menus);
}

void require_module_size(std::int64_t size) {
    if (size < 0 || size > kMaxModuleSize) fatal_stop("the module would be larger than its 32-bit offsets can address");
}

void write_module_header(Compiler& c) {
    const auto all_events = events();
    const std::int64_t user_functions = c.run.functions.user_count();
    const auto event_entries = static_cast<std::int64_t>(all_events.size() - kFixedHandlerEvents);
    const ModuleLayout layout = compute_layout(c, user_functions, event_entries);
    c.run.layout = layout;
    c.sink.set_code_base(layout.code_base);

    c.sink.emit_text(kMagic);
    c.sink.emit_dword(kFormatNumber);
    emit_text_fields(c);
    emit_dword(c, kHeaderSize);
    emit_dword(c, layout.bitmap_section);
    const std::int64_t event_table = static_cast<std::int64_t>(kDescriptorOffsetsField) + 4 * user_functions;
    emit_dword(c, event_table);
    emit_dword(c, layout.wave_section);
    emit_dword(c, 0);
    emit_dword(c, layout.menu_section);
    for (std::size_t i = 0; i < kTrailingReservedDwords; ++i) emit_dword(c, 0);

    for (std::size_t i = 0; i < kFixedHandlerEvents; ++i) emit_dword(c, handler_field(c, all_events[i].name));
    for (const std::int32_t count : c.run.global_counts) emit_dword(c, count);
    emit_dword(c, user_functions);
    std::int64_t descriptor = event_table + static_cast<std::int64_t>(kEventTableHeadSize) + 4 * event_entries;
    for (const FunctionRecord& f : c.run.functions.records()) {
        if (f.kind != FunctionKind::user) continue;
        emit_dword(c, descriptor);
        descriptor += descriptor_size(f);
    }

    emit_dword(c, event_entries);
    for (std::size_t i = kFixedHandlerEvents; i < all_events.size(); ++i)
        emit_dword(c, handler_field(c, all_events[i].name));

    const std::int64_t first_descriptor = event_table + static_cast<std::int64_t>(kEventTableHeadSize) + 4 * event_entries;
    if (!c.run.descriptors.write(c.sink, layout.code_base, first_descriptor))
        fatal_stop("cannot read the function descriptors back");
}

}  // namespace oxbuild
