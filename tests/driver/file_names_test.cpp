// The file-name operations. Names are code page 932 bytes: a trail byte 0x5C
// (as in 0x95 0x5C, a common kanji) must never be taken for a separator, and
// '\' and '/' both separate directories.
#include <gtest/gtest.h>

#include <string>

#include "driver/file_names.hpp"

using namespace oxbuild;

namespace {

// 0x95 0x5C: one double-byte character whose second byte is '\'.
const std::string kTrail5C = "\x95\x5C";

struct NameCase {
    std::string name;
    std::string expected;
};

}  // namespace

TEST(FileNames, DefaultExtensionOnlyWhenTheLastComponentHasNoDot) {
    const NameCase cases[] = {
        {"prog", "prog.oxs"},
        {"prog.", "prog."},
        {"prog.tar.oxs", "prog.tar.oxs"},
        {"dir.old\\prog", "dir.old\\prog.oxs"},
        {"dir.old/prog", "dir.old/prog.oxs"},
        {"a.b/c\\d", "a.b/c\\d.oxs"},
        {"/home/u/prog", "/home/u/prog.oxs"},
        {"C:prog", "C:prog.oxs"},
        // A trail byte 0x5C ends no component: the dot before it counts.
        {"a.b" + kTrail5C, "a.b" + kTrail5C},
        {kTrail5C, kTrail5C + ".oxs"},
        // The byte after a lead byte is skipped, even a dot.
        {"a\x81.", "a\x81..oxs"},
        // A lead byte at the very end has no trail byte.
        {"a\x81", "a\x81.oxs"},
    };
    for (const NameCase& c : cases) EXPECT_EQ(add_default_extension(c.name, "oxs"), c.expected) << c.name;
}

TEST(FileNames, ReplaceExtensionCutsAtTheFirstDotOfTheLastComponent) {
    const NameCase cases[] = {
        {"prog.oxs", "prog.oxb"},
        {"prog.tar.oxs", "prog.oxb"},
        {"prog.", "prog.oxb"},
        {"prog", "prog.oxb"},
        {".oxs", ".oxb"},
        {"dir.old\\prog.oxs", "dir.old\\prog.oxb"},
        {"dir.old/prog.x.y", "dir.old/prog.oxb"},
        {"a.b\\c/d.oxs", "a.b\\c/d.oxb"},
        // Without a real separator the whole name is the last component.
        {"d.x" + kTrail5C + "p.q", "d.oxb"},
        {kTrail5C + ".oxs", kTrail5C + ".oxb"},
    };
    for (const NameCase& c : cases) EXPECT_EQ(replace_extension(c.name, "oxb"), c.expected) << c.name;
}

TEST(FileNames, DirectoryOfKeepsARootSeparatorAndHasNoDrives) {
    const NameCase cases[] = {
        {"a.oxs", ""},
        {"src\\a.oxs", "src"},
        {"src/a.oxs", "src"},
        {"a/b\\c.oxs", "a/b"},
        {"\\a.oxs", "\\"},
        {"/a.oxs", "/"},
        {"/home/u/a.oxs", "/home/u"},
        {"C:a.oxs", ""},
        {"C:\\a.oxs", "C:"},
        {kTrail5C + "a.oxs", ""},
        {"d\\" + kTrail5C + "\\a.oxs", "d\\" + kTrail5C},
        {"d\\" + kTrail5C, "d"},
    };
    for (const NameCase& c : cases) EXPECT_EQ(directory_of(c.name), c.expected) << c.name;
}

TEST(FileNames, SystemPathTurnsOnlyRealBackslashesIntoSlashes) {
    const NameCase cases[] = {
        {"dir.old\\prog.oxs", "dir.old/prog.oxs"},
        {"a/b\\c", "a/b/c"},
        {"\\\\server\\x", "//server/x"},
        {kTrail5C + ".oxs", kTrail5C + ".oxs"},
        {"d\\" + kTrail5C + "\\a.oxs", "d/" + kTrail5C + "/a.oxs"},
        // The second 0x81 is a trail byte, so the backslash after it is free.
        {"\x81\x81\\a", "\x81\x81/a"},
    };
    for (const NameCase& c : cases) EXPECT_EQ(to_system_path(c.name), c.expected) << c.name;
}

// The lead bytes are exactly 0x81-0x9F and 0xE0-0xFC: only after one of them
// is a backslash part of the character instead of a separator.
TEST(FileNames, LeadByteRangesDecideWhetherABackslashSeparates) {
    struct LeadCase {
        unsigned char byte;
        bool lead;
    };
    const LeadCase edges[] = {{0x80, false}, {0x81, true},  {0x9F, true}, {0xA0, false},
                              {0xDF, false}, {0xE0, true}, {0xFC, true}, {0xFD, false}};
    for (const LeadCase& c : edges) {
        const std::string first(1, static_cast<char>(c.byte));
        const std::string name = first + "\\a";
        EXPECT_EQ(to_system_path(name), c.lead ? name : first + "/a") << std::hex << int{c.byte};
        EXPECT_EQ(directory_of(name), c.lead ? "" : first) << std::hex << int{c.byte};
    }
}
