#include "resources/menus.hpp"

#include <vector>

#include "driver/compiler.hpp"
#include "format/module_format.hpp"
#include "module/module_writer.hpp"

namespace oxbuild {

namespace {

using Kind = MenuEntry::Kind;

constexpr std::int32_t kMinMenuId = 0;
constexpr std::int32_t kMaxMenuId = 100;
constexpr std::size_t kPopupTextMax = 255;
constexpr std::size_t kItemTextMax = 256;

void check_menu_id(Compiler& c, std::int32_t id) {
    if (id < kMinMenuId || id > kMaxMenuId) c.diag.report_error(msg::menu_id_range);
}


// MENUITEM "text", id, value
bool parse_item(Compiler& c, std::vector<MenuEntry>& entries) {
    MenuEntry item;
    item.kind = Kind::item;
    if (!c.lex.read_string(item.text, kItemTextMax, StringForm::one_on_line)) c.diag.report_error(msg::menu_item_text_over_256);
    if (!c.lex.expect_char(',')) return false;
    if (!c.lex.read_integer(item.id, true)) return false;
    check_menu_id(c, item.id);
    if (!c.lex.expect_char(',')) return false;
    if (!c.lex.read_integer(item.value, true)) return false;
    entries.push_back(std::move(item));
    return true;
}

// { entries } with pop-ups nested to any depth, kept flat: a pop-up's
// entries stand between its open and close entries. On failure the entries
// read so far stay, with every open pop-up closed.
void parse_menu_body(Compiler& c, std::vector<MenuEntry>& entries) {
    std::size_t open_popups = 0;
    const auto fail = [&] { entries.insert(entries.end(), open_popups, MenuEntry{Kind::popup_close, {}, 0, 0}); };
    if (!c.lex.expect_char('{')) return fail();
    Word word;
    while (true) {
        c.lex.read_identifier(word);
        if (word == "POPUP") {
            MenuEntry popup;
            popup.kind = Kind::popup_open;
            if (!c.lex.read_string(popup.text, kPopupTextMax, StringForm::one_on_line))
                c.diag.report_error(msg::popup_text_over_255);
            entries.push_back(std::move(popup));
            ++open_popups;
            if (!c.lex.expect_char('{')) return fail();
        } else if (word == "MENUITEM") {
            if (!parse_item(c, entries)) return fail();
        } else if (word.empty()) {
            // Any other word is passed over; no word must be the closing brace.
            if (c.reader.cur() != '}') {
                c.lex.syntax_error();
                return fail();
            }
            c.reader.step_over(1);
            if (open_popups == 0) return;
            entries.push_back({Kind::popup_close, {}, 0, 0});
            --open_popups;
        }
    }
}

bool is_empty_popup(const std::vector<MenuEntry>& entries, std::size_t i) {
    return entries[i].kind == Kind::popup_open && i + 1 < entries.size() &&
           entries[i + 1].kind == Kind::popup_close;
}

// The menu encoding, walked by a counter for the section's size and
// directory and by a writer for the bytes, so that the two cannot disagree.

// Text bytes, a zero, and one more zero when the length is even.
template <typename Out>
void encode_text(Out& out, const std::string& text) {
    for (const char ch : text) out.byte(static_cast<unsigned char>(ch));
    out.byte(0);
    if (text.size() % 2 == 0) out.byte(0);
}

template <typename Out>
void encode_item(Out& out, const std::string& text, std::int32_t id, std::int32_t value) {
    out.word(format::kMenuItem);
    encode_text(out, text);
    out.word(static_cast<std::uint32_t>(id) & 0xFFFF);
    out.dword(static_cast<std::uint32_t>(value));
}

// Menu number, entries, menu end. A pop-up with entries: kind, text,
// entries, end; an item (or an empty pop-up): kind, text, ID word, value dword.
template <typename Out>
void encode_menu(Out& out, const Menu& menu) {
    out.word(static_cast<std::uint32_t>(menu.number) & 0xFFFF);
    for (std::size_t i = 0; i < menu.entries.size(); ++i) {
        const MenuEntry& e = menu.entries[i];
        if (is_empty_popup(menu.entries, i)) {
            encode_item(out, e.text, 0, 0);
            ++i;
        } else if (e.kind == Kind::popup_open) {
            out.word(format::kMenuPopup);
            encode_text(out, e.text);
        } else if (e.kind == Kind::popup_close) {
            out.word(format::kMenuEnd);
        } else {
            encode_item(out, e.text, e.id, e.value);
        }
    }
    out.word(format::kMenuEnd);
}

struct SizeCounter {
    std::int64_t bytes = 0;
    void byte(std::uint32_t) { bytes += 1; }
    void word(std::uint32_t) { bytes += 2; }
    void dword(std::uint32_t) { bytes += 4; }
};

struct SinkWriter {
    Sink& sink;
    void byte(std::uint32_t value) { sink.emit_byte(value); }
    void word(std::uint32_t value) { sink.emit_word(value); }
    void dword(std::uint32_t value) { sink.emit_dword(value); }
};

std::int64_t menu_data_size(const Menu& menu) {
    SizeCounter counter;
    encode_menu(counter, menu);
    return counter.bytes;
}

std::int64_t menu_data_start(std::size_t menus) {
    return static_cast<std::int64_t>(format::kMenuSectionFixedSize + 4 * menus);
}

}  // namespace

void directive_menu(Compiler& c) {
    const SourcePoint directive = c.listener != nullptr ? c.point_here() : SourcePoint{};
    Menu menu;
    if (!c.lex.read_integer(menu.number, true)) return;
    if (c.listener != nullptr) c.listener->resource_declared(ResourceKind::menu, directive, menu.number);
    check_menu_id(c, menu.number);
    auto& menus = c.p().menus;
    menus.push_back(std::move(menu));
    parse_menu_body(c, menus.back().entries);
}

std::int64_t menu_section_size(const std::vector<Menu>& menus) {
    std::int64_t size = menu_data_start(menus.size());
    for (const Menu& menu : menus) size += menu_data_size(menu);
    return size;
}

void write_menu_section(Compiler& c) {
    const auto& menus = c.p().menus;
    const std::int64_t section = c.run.layout.menu_section;
    // The header writer checked the menus of pass 1; these are the ones written.
    require_module_size(section + menu_section_size(menus));
    c.sink.emit_dword(format::kMenuTableMarker);
    c.sink.emit_dword(static_cast<std::uint32_t>(section + static_cast<std::int64_t>(format::kMenuDirectoryDelta)));
    c.sink.emit_dword(0);
    c.sink.emit_dword(static_cast<std::uint32_t>(menus.size()));
    std::int64_t offset = section + menu_data_start(menus.size());
    for (const Menu& menu : menus) {
        c.sink.emit_dword(static_cast<std::uint32_t>(offset));
        offset += menu_data_size(menu);
    }
    SinkWriter writer{c.sink};
    for (const Menu& menu : menus) encode_menu(writer, menu);
}

}  // namespace oxbuild
