// What every stress test asks of a compilation, whatever its input: no
// crash, a sensible message, the right exit status, no module after
// errors, and a module consistent in every offset when one is created.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "stress/module_layout_check.hpp"
#include "support/system.hpp"  // Deadline
#include "support/test_support.hpp"

namespace oxtest {

inline void expect_created(const Compiled& result) {
    EXPECT_EQ(result.out, created_output());
    EXPECT_EQ(result.status, 0);
    ASSERT_TRUE(result.module_exists);
    EXPECT_EQ(check_module_layout(result.module), "");
}

inline void expect_failed(const Compiled& result, const std::string& error_lines, int count) {
    EXPECT_EQ(result.out, failed_output(error_lines, count));
    EXPECT_EQ(result.status, 1);
    EXPECT_FALSE(result.module_exists);
}

// Exit status and module agree, and a created module is consistent.
inline void expect_consistent(const Compiled& result) {
    if (result.status == 0) {
        ASSERT_TRUE(result.module_exists) << result.out;
        EXPECT_EQ(check_module_layout(result.module), "") << result.out;
    } else {
        EXPECT_EQ(result.status, 1) << result.out;
        EXPECT_FALSE(result.module_exists) << result.out;
    }
}

inline std::string repeat_text(std::string_view text, std::size_t times) {
    std::string s;
    s.reserve(text.size() * times);
    for (std::size_t i = 0; i < times; ++i) s += text;
    return s;
}

}  // namespace oxtest
