// The file-name operations. Names are code page 932 bytes: a trail byte 0x5C
// (as in 0x95 0x5C, a common kanji) must never be taken for a separator, and
// '\' and '/' both separate directories.
#include <gtest/gtest.h>

#include <string>

#include "platform/file_names.hpp"

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

// Names with drives (the Windows build's rules, tested on every system).
TEST(FileNames, DriveAndDirectoryOfAPath) {
    struct DriveCase {
        std::string path, drive, directory, with_drive;
    };
    const DriveCase cases[] = {
        {"D:\\work\\src\\a.oxs", "D", "\\work\\src", "D:\\work\\src"},
        {"D:\\a.oxs", "D", "\\", "D:\\"},
        {"\\a.oxs", "", "\\", "\\"},
        {"src\\a.oxs", "", "src", "src"},
        {"D:a.oxs", "D", "", "D:"},
        {"a.oxs", "", "", ""},
        {"D:src/a.oxs", "D", "src", "D:src"},
        {"D:/a.oxs", "D", "/", "D:/"},
        {"\\\\server\\share\\a.oxs", "", "\\\\server\\share", "\\\\server\\share"},
        {"D:\\" + kTrail5C + "\\a.oxs", "D", "\\" + kTrail5C, "D:\\" + kTrail5C},
        {"D:" + kTrail5C + "a.oxs", "D", "", "D:"},
    };
    for (const DriveCase& c : cases) {
        const DriveAndDirectory parts = split_drive_and_directory(c.path);
        EXPECT_EQ(parts.drive, c.drive) << c.path;
        EXPECT_EQ(parts.directory, c.directory) << c.path;
        EXPECT_EQ(directory_with_drive(c.path), c.with_drive) << c.path;
    }
}

// A name that a source gives goes where it would with the source's drive
// and directory current: rooted names to that drive's root, names with a
// drive or a server nowhere else.
TEST(FileNames, NamesAResourceGivesResolveOnTheSourcesDrive) {
    struct ResolveCase {
        std::string directory, name, expected;
    };
    const ResolveCase cases[] = {
        {"D:\\work\\src", "inc.oxh", "D:\\work\\src\\inc.oxh"},
        {"D:\\work\\src", "sub\\inc.oxh", "D:\\work\\src\\sub\\inc.oxh"},
        {"D:\\work\\src", "\\lib\\inc.oxh", "D:\\lib\\inc.oxh"},
        {"D:\\work\\src", "/lib/inc.oxh", "D:/lib/inc.oxh"},
        {"D:\\work\\src", "E:inc.oxh", "E:inc.oxh"},
        {"D:\\work\\src", "e:\\inc.oxh", "e:\\inc.oxh"},
        {"D:\\work\\src", "\\\\server\\share\\inc.oxh", "\\\\server\\share\\inc.oxh"},
        {"D:\\", "inc.oxh", "D:\\inc.oxh"},
        {"D:", "inc.oxh", "D:inc.oxh"},
        {"D:", "\\inc.oxh", "D:\\inc.oxh"},
        {"\\", "inc.oxh", "\\inc.oxh"},
        {"\\work", "\\inc.oxh", "\\inc.oxh"},
        {"src", "inc.oxh", "src\\inc.oxh"},
        {"", "inc.oxh", "inc.oxh"},
        {"", "\\inc.oxh", "\\inc.oxh"},
        {"\\\\server\\share\\dir", "\\inc.oxh", "\\\\server\\share\\inc.oxh"},
        {"\\\\server\\share", "inc.oxh", "\\\\server\\share\\inc.oxh"},
        // A trail byte 0x5C at the end is no separator: one is added.
        {"D:\\" + kTrail5C, "inc.oxh", "D:\\" + kTrail5C + "\\inc.oxh"},
    };
    for (const ResolveCase& c : cases)
        EXPECT_EQ(resolve_on_drive(c.directory, c.name), c.expected) << c.directory << " + " << c.name;
}

TEST(FileNames, DeviceNamesWhateverTheirExtensionCaseOrDirectory) {
    for (const std::string name : {"CON", "con", "NUL", "nul.oxs", "Aux.h", "PRN", "COM1", "com9.wav", "LPT1",
                                   "CONIN$", "CONOUT$", "NUL ", "nul .txt", "COM1:", "D:NUL", "dir\\con.oxs",
                                   "D:\\dir/aux", "\\\\.\\PhysicalDrive0", "//./pipe/x", "\\\\.\\C:\\a.oxs"})
        EXPECT_TRUE(is_device_name(name)) << name;
    for (const std::string name : {"CONS", "con1", "COM0", "COM10", "LPT", "NULL.oxs", "a.con", "console.oxs",
                                   "con\\prog.oxs", "\\\\server\\con\\a.oxs", "\\\\?\\C:\\a.oxs", "", "prog.oxs"})
        EXPECT_FALSE(is_device_name(name)) << name;
}
