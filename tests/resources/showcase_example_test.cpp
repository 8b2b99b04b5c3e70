// The showcase example compiles, with the resource files its script makes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "format/module_format.hpp"
#include "support/resource_files.hpp"
#include "support/system.hpp"
#include "support/test_support.hpp"

using namespace oxtest;
using namespace oxbuild;

namespace {

namespace fs = std::filesystem;

const fs::path kExamples = fs::path(__FILE__).parent_path().parent_path().parent_path() / "examples";

}  // namespace

TEST(ShowcaseExample, CompilesWithTheResourcesItsScriptWrites) {
    if (on_windows()) GTEST_SKIP() << "POSIX only: the resources are made by a shell script";
    TempDir dir;
    for (const char* name : {"showcase.oxs", "showcase.oxh", "make_resources.sh"})
        fs::copy_file(kExamples / name, dir.path() / name);
    ASSERT_EQ(std::system(("sh '" + (dir / "make_resources.sh") + "'").c_str()), 0);
    const RunResult run = run_binary({"showcase.oxs"}, dir.path().string());
    ASSERT_EQ(run.out.substr(run.out.find('\n') + 1), created_output("showcase.oxb"));
    const Bytes module = read_file(dir / "showcase.oxb");
    EXPECT_EQ(dword_at(bitmap_section(module), 1028), 2u);  // bitmaps
    EXPECT_EQ(dword_at(wave_section(module), 0), 1u);       // waves
    EXPECT_EQ(dword_at(menu_section(module), 12), 1u);      // menus
}
