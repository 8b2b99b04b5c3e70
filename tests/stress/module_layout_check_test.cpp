// The layout check vouches for every module the stress tests and fuzz
// targets see, so it must itself catch a module that is off by a little.
#include <gtest/gtest.h>

#include <functional>

#include "stress/stress_support.hpp"

using namespace oxtest;

namespace {

// One function with a loop, a global, and a menu with one item.
Bytes sample_module() {
    const Compiled result = compile_source("int g;\nf(int a) { while (a > 0) { a = a - 1; g = a; } }\n"
                                           "#menu 3 { MENUITEM \"x\", 7, 9 }\n");
    EXPECT_EQ(result.status, 0);
    return result.module;
}

void put_dword(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<unsigned char>(v >> (8 * i));
}

}  // namespace

TEST(ModuleLayoutCheck, CatchesModulesOffByALittle) {
    const Bytes good = sample_module();
    ASSERT_EQ(check_module_layout(good), "");
    const std::size_t descriptor = dword_at(good, 236);
    const std::size_t menu = dword_at(good, 180);
    const std::vector<std::pair<const char*, std::function<void(Bytes&)>>> corruptions = {
        {"a byte appended", [](Bytes& b) { b.push_back(0); }},
        {"the last byte cut", [](Bytes& b) { b.pop_back(); }},
        {"bitmap section moved", [](Bytes& b) { put_dword(b, 164, dword_at(b, 164) + 2); }},
        {"entry inside an instruction", [&](Bytes& b) { put_dword(b, descriptor, dword_at(b, descriptor) + 2); }},
        {"global slot past the count", [](Bytes& b) { put_dword(b, 220, 0); }},
        {"menu item ID out of range", [&](Bytes& b) { b[b.size() - 8] = 101; }},
        {"menu directory offset", [&](Bytes& b) { put_dword(b, menu + 4, 0); }},
    };
    for (const auto& [what, corrupt] : corruptions) {
        Bytes bad = good;
        corrupt(bad);
        EXPECT_NE(check_module_layout(bad), "") << what;
    }
}
