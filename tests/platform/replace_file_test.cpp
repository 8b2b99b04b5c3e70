// A file rewritten in place is the old one or the whole new one: the new
// bytes take the name with the old file's permissions, and a write that
// cannot be made leaves the old file and nothing else.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/platform.hpp"
#include "support/system.hpp"
#include "support/test_support.hpp"

using namespace oxtest;
namespace fs = std::filesystem;

TEST(ReplaceFile, NewBytesTakeTheNameWithTheOldPermissionsAndNothingIsLeftBeside) {
    TempDir dir;
    const std::string name = dir / "prog.oxs";
    write_file(name, "old text, longer than the new\n");
    const auto kept = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(to_path(name), kept);
    const auto before = fs::status(to_path(name)).permissions();
    ASSERT_TRUE(oxbuild::platform::replace_file(name, "new\n"));
    EXPECT_EQ(read_file(name), Bytes({'n', 'e', 'w', '\n'}));
    EXPECT_EQ(fs::status(to_path(name)).permissions(), before);
    EXPECT_EQ(listing(dir.path()), std::vector<std::string>{"prog.oxs"});

    const std::string fresh = dir / "fresh.txt";
    ASSERT_TRUE(oxbuild::platform::replace_file(fresh, ""));
    EXPECT_TRUE(file_exists(fresh));
    EXPECT_TRUE(read_file(fresh).empty());
}

TEST(ReplaceFile, AFailedWriteLeavesTheOldFileAlone) {
    TempDir dir;
    EXPECT_FALSE(oxbuild::platform::replace_file(dir / "missing/prog.oxs", "new\n"));
    EXPECT_TRUE(listing(dir.path()).empty());
    fs::create_directory(dir.path() / "locked");
    const std::string locked = dir / "locked/prog.oxs";
    write_file(locked, "old\n");
    fs::permissions(dir.path() / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    if (can_create_file_in(dir.path() / "locked")) GTEST_SKIP() << "this user writes in any directory";
    EXPECT_FALSE(oxbuild::platform::replace_file(locked, "new\n"));
    EXPECT_EQ(read_file(locked), Bytes({'o', 'l', 'd', '\n'}));
    EXPECT_EQ(listing(dir.path() / "locked"), std::vector<std::string>{"prog.oxs"});
}
