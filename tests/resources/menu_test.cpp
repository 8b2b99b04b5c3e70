// #menu: the word encoding of menus, pop-ups and items, the menu section's
// offsets, and the directive's ranges, limits and line rules.
#include <gtest/gtest.h>

#include "format/module_format.hpp"
#include "support/resource_files.hpp"
#include "support/test_support.hpp"

using namespace oxtest;
using namespace oxbuild;

namespace {

// A module without functions, bitmaps or waves: the menu section follows the
// empty bitmap (1032) and wave (4) sections at the code base 272.
constexpr std::uint32_t kMenuSection = 272 + 1032 + 4;
constexpr std::uint32_t kMarker = 2;
constexpr std::uint32_t kSectionHead = 16;  // marker, directory offset, 0, K

// Encoding words.
constexpr std::uint16_t kPopup = 0;
constexpr std::uint16_t kEnd = 1;
constexpr std::uint16_t kItem = 2;

const std::string kProg = "prog.oxs";

// Text bytes, a zero, and one more zero when the length is even.
void menu_text(ByteWriter& w, std::string_view text) {
    w.text(text).byte(0);
    if (text.size() % 2 == 0) w.byte(0);
}

void item(ByteWriter& w, std::string_view text, std::uint32_t id, std::uint32_t value) {
    w.word(kItem);
    menu_text(w, text);
    w.word(id).dword(value);
}

// The section from the encoded menus.
Bytes section_of(const std::vector<Bytes>& menus) {
    ByteWriter w;
    w.dword(kMarker).dword(kMenuSection + 12).dword(0).dword(static_cast<std::uint32_t>(menus.size()));
    std::uint32_t offset = kMenuSection + kSectionHead + 4 * static_cast<std::uint32_t>(menus.size());
    for (const Bytes& m : menus) {
        w.dword(offset);
        offset += static_cast<std::uint32_t>(m.size());
    }
    for (const Bytes& m : menus) w.bytes(m);
    return w.get();
}

Bytes compiled_menus(std::string_view source) {
    const Compiled result = compile_source(source);
    EXPECT_EQ(result.out, created_output());
    if (!result.module_exists) return {};
    EXPECT_EQ(dword_at(result.module, format::kMenuSectionField), kMenuSection);
    return menu_section(result.module);
}

std::string errors_of(std::string_view source) { return compile_source(source).out; }

}  // namespace

TEST(Menus, EmptyMenuIsItsNumberAndAnEnd) {
    ByteWriter menu;
    menu.word(5).word(kEnd);
    EXPECT_EQ(hex(compiled_menus("#menu 5 { }\n")), hex(section_of({menu.get()})));
}

TEST(Menus, PopupsItemsAndTextPadding) {
    const Bytes section = compiled_menus(
        "#menu 1\n"
        "{\n"
        "    POPUP \"File\"\n"
        "    {\n"
        "        MENUITEM \"abc\", 10, 20\n"
        "        MENUITEM \"abcd\", 11, -1\n"
        "    }\n"
        "    POPUP \"ab\" { }\n"
        "    MENUITEM \"\", 100, 0x12345678\n"
        "}\n");
    ByteWriter menu;
    menu.word(1);
    menu.word(kPopup);
    menu_text(menu, "File");
    item(menu, "abc", 10, 20);            // 3 bytes: 2 words of text
    item(menu, "abcd", 11, 0xFFFFFFFF);   // 4 bytes: 3 words of text
    menu.word(kEnd);
    item(menu, "ab", 0, 0);               // an empty pop-up reads as an item
    item(menu, "", 100, 0x12345678);      // an empty text: one word of zeros
    menu.word(kEnd);
    ASSERT_EQ(menu.size(), 62u);  // 1 + (1 + 3) + 6 + 7 + 1 + 6 + 5 + 1 words
    EXPECT_EQ(hex(section), hex(section_of({menu.get()})));
}

TEST(Menus, NestedPopupsCloseInOrder) {
    const Bytes section = compiled_menus("#menu 3 { POPUP \"a\" { POPUP \"b\" { MENUITEM \"c\", 1, 2 } } }\n");
    ByteWriter menu;
    menu.word(3).word(kPopup);
    menu_text(menu, "a");
    menu.word(kPopup);
    menu_text(menu, "b");
    item(menu, "c", 1, 2);
    menu.word(kEnd).word(kEnd).word(kEnd);
    EXPECT_EQ(hex(section), hex(section_of({menu.get()})));
}

TEST(Menus, SecondMenuFollowsTheFirstMenusWords) {
    const Bytes section =
        compiled_menus("#menu 0 { POPUP \"p\" { MENUITEM \"a\", 1, 2 } POPUP \"q\" { } }\n#menu 100 { }\n");
    ByteWriter first, second;
    first.word(0).word(kPopup);
    menu_text(first, "p");
    item(first, "a", 1, 2);
    first.word(kEnd);
    item(first, "q", 0, 0);
    first.word(kEnd);
    second.word(100).word(kEnd);
    ASSERT_EQ(first.size(), 30u);  // 1 + (1 + 1 + 5 + 1) + 5 + 1 words
    EXPECT_EQ(hex(section), hex(section_of({first.get(), second.get()})));
    EXPECT_EQ(dword_at(section, 20), kMenuSection + 24 + 30);
}

TEST(Menus, NumbersAndIdsOutside0To100AreReported) {
    EXPECT_EQ(errors_of("#menu 101 { }\n"
                        "#menu -1 { }\n"
                        "#menu 1 { MENUITEM \"a\", 101, 0\n"
                        "          MENUITEM \"b\", -1, 0 }\n"),
              failed_output(error_line(kProg, 1, msg::menu_id_range) + error_line(kProg, 2, msg::menu_id_range) +
                                error_line(kProg, 3, msg::menu_id_range) + error_line(kProg, 4, msg::menu_id_range),
                            4));
}

TEST(Menus, TextLimitsAre255ForPopupsAnd256ForItems) {
    const std::string t255(255, 'p'), t256(256, 'q'), t257(257, 'r');
    // Accepted at the limits; the menu keeps the whole texts.
    const Bytes section = compiled_menus("#menu 1 { POPUP \"" + t255 + "\" { MENUITEM \"" + t256 + "\", 1, 0 } }\n");
    ByteWriter menu;
    menu.word(1).word(kPopup);
    menu_text(menu, t255);
    item(menu, t256, 1, 0);
    menu.word(kEnd).word(kEnd);
    EXPECT_EQ(hex(section), hex(section_of({menu.get()})));

    EXPECT_EQ(errors_of("#menu 1 { POPUP \"" + t256 + "\" { } }\n#menu 2 { MENUITEM \"" + t257 + "\", 1, 0 }\n"),
              failed_output(error_line(kProg, 1, msg::popup_text_over_255) +
                                error_line(kProg, 2, msg::menu_item_text_over_256),
                            2));
}

TEST(Menus, LineEndsMayStandBeforeCommasButNotAfter) {
    ByteWriter menu;
    menu.word(1);
    item(menu, "a", 1, 2);
    menu.word(kEnd);
    EXPECT_EQ(hex(compiled_menus("#menu 1\n{\nMENUITEM \"a\"\n, 1\n, 2\n}\n")), hex(section_of({menu.get()})));

    // After a comma the number must follow on the same line; the directive
    // ends there, and what follows is read by the top-level loop.
    const std::string broken = errors_of("#menu 1 { MENUITEM \"a\",\n 1, 2 }\n");
    EXPECT_EQ(broken.substr(0, error_line(kProg, 1, msg::syntax).size()), error_line(kProg, 1, msg::syntax));
    // Between MENUITEM and its text: the text is missing, then the comma.
    EXPECT_EQ(errors_of("#menu 1 { MENUITEM\n \"a\", 1, 2 } ;\n"),
              failed_output(error_line(kProg, 1, msg::syntax) + error_line(kProg, 2, msg::syntax), 2));
}

TEST(Menus, OtherWordsInABodyArePassedOver) {
    ByteWriter menu;
    menu.word(1);
    item(menu, "a", 1, 2);
    menu.word(kEnd);
    EXPECT_EQ(hex(compiled_menus("#define SEP separator\n#menu 1 { SEP MENUITEM \"a\", 1, 2 junk }\n")),
              hex(section_of({menu.get()})));
}

TEST(Menus, BodyMustOpenAndClose) {
    // No "{": reported, and recovery skips past the next ';'.
    EXPECT_EQ(errors_of("#menu 1 MENUITEM \"a\", 1, 2;\n"), failed_output(error_line(kProg, 1, msg::syntax), 1));
    // A body that runs into the end of the file.
    EXPECT_EQ(errors_of("#menu 1 {\nMENUITEM \"a\", 1, 2\n"), failed_output(error_line(kProg, 3, msg::syntax), 1));
}
