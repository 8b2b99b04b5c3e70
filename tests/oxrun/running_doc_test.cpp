// docs/running.md lists every standard function once, by number and name,
// and says "recorded" exactly for those the model host only records.
#include <gtest/gtest.h>

#include "oxrun/host.hpp"
#include "support/test_support.hpp"
#include "symbols/host_tables.hpp"

TEST(OxrunDocs, TheTableListsAllStandardFunctionsWithWhatTheModelDoes) {
    const oxtest::Bytes bytes = oxtest::read_file(std::string(OXBUILD_DOCS_DIR) + "/running.md");
    const std::string doc(bytes.begin(), bytes.end());
    int rows = 0;
    for (const oxbuild::StandardFunction& f : oxbuild::standard_functions()) {
        const std::string head = "| " + std::to_string(f.number) + " | `" + std::string(f.name) + "(";
        const std::size_t at = doc.find(head);
        ASSERT_NE(at, std::string::npos) << f.name;
        EXPECT_EQ(doc.find(head, at + 1), std::string::npos) << f.name;
        const std::string row = doc.substr(at, doc.find('\n', at) - at);
        EXPECT_EQ(row.find("| recorded") != std::string::npos, oxrun::is_recorded(f.number)) << row;
        ++rows;
    }
    EXPECT_EQ(rows, 57);
    EXPECT_NE(doc.find("**The model host is not the host.**"), std::string::npos);
}
