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
    if (!c.lex.read_string(item.text, kItemTextMax, false, true)) c.diag.report_error(msg::menu_item_text_over_256);
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
            if (!c.lex.read_string(popup.text, kPopupTextMax, false, true))
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

// Text bytes, a zero, and one more zero when the length is even.
std::int64_t text_words(const std::string& text) { return static_cast<std::int64_t>(text.size() + 2) / 2; }

bool is_empty_popup(const std::vector<MenuEntry>& entries, std::size_t i) {
    return entries[i].kind == Kind::popup_open && i + 1 < entries.size() &&
           entries[i + 1].kind == Kind::popup_close;
}

// Menu start, entries, menu end. A pop-up with entries: kind, text, entries,
// end; an item (or an empty pop-up): kind, text, ID word, value dword.
std::int64_t menu_words(const Menu& menu) {
    std::int64_t words = 2;
    for (std::size_t i = 0; i < menu.entries.size(); ++i) {
        const MenuEntry& e = menu.entries[i];
        if (is_empty_popup(menu.entries, i)) {
            words += text_words(e.text) + 4;
            ++i;
        } else if (e.kind == Kind::popup_open) {
            words += text_words(e.text) + 1;
        } else if (e.kind == Kind::popup_close) {
            words += 1;
        } else {
            words += text_words(e.text) + 4;
        }
    }
    return words;
}

void emit_menu_text(Compiler& c, const std::string& text) {
    for (const char ch : text) c.sink.emit_byte(static_cast<unsigned char>(ch));
    c.sink.emit_byte(0);
    if (text.size() % 2 == 0) c.sink.emit_byte(0);
}

void emit_item(Compiler& c, const std::string& text, std::int32_t id, std::int32_t value) {
    c.sink.emit_word(format::kMenuItem);
    emit_menu_text(c, text);
    c.sink.emit_word(static_cast<std::uint32_t>(id) & 0xFFFF);
    c.sink.emit_dword(static_cast<std::uint32_t>(value));
}

void emit_menu(Compiler& c, const Menu& menu) {
    c.sink.emit_word(static_cast<std::uint32_t>(menu.number) & 0xFFFF);
    for (std::size_t i = 0; i < menu.entries.size(); ++i) {
        const MenuEntry& e = menu.entries[i];
        if (is_empty_popup(menu.entries, i)) {
            emit_item(c, e.text, 0, 0);
            ++i;
        } else if (e.kind == Kind::popup_open) {
            c.sink.emit_word(format::kMenuPopup);
            emit_menu_text(c, e.text);
        } else if (e.kind == Kind::popup_close) {
            c.sink.emit_word(format::kMenuEnd);
        } else {
            emit_item(c, e.text, e.id, e.value);
        }
    }
    c.sink.emit_word(format::kMenuEnd);
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
    auto size = static_cast<std::int64_t>(format::kMenuSectionFixedSize + 4 * menus.size());
    for (const Menu& menu : menus) size += 2 * menu_words(menu);
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
    std::int64_t offset = section + static_cast<std::int64_t>(format::kMenuSectionFixedSize + 4 * menus.size());
    for (const Menu& menu : menus) {
        c.sink.emit_dword(static_cast<std::uint32_t>(offset));
        offset += 2 * menu_words(menu);
    }
    for (const Menu& menu : menus) emit_menu(c, menu);
}

}  // namespace oxbuild
