#include "module/interpreter_version.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

using morvane_module::major_minor;

class Major_minor : public testing::TestWithParam<std::pair<std::string, std::string>> {};

TEST_P(Major_minor, KeepsBothNumbersWhole)
{
    const auto& [version, expected] = GetParam();
    EXPECT_EQ(major_minor(version), expected) << "from " << version;
}

INSTANTIATE_TEST_SUITE_P(
    interpreter_version, Major_minor,
    testing::Values(std::pair<std::string, std::string>{"3.11.7 (main, Jan  1 2024)", "3.11"},
                    std::pair<std::string, std::string>{"3.8.10", "3.8"},
                    std::pair<std::string, std::string>{"3.10.0", "3.10"},
                    std::pair<std::string, std::string>{"3.13.0rc1+", "3.13"},
                    std::pair<std::string, std::string>{"3.14a1", "3.14"},
                    std::pair<std::string, std::string>{"4 (odd)", "4"},
                    std::pair<std::string, std::string>{"", ""}));

// Regression: comparing three characters made these pairs look equal.
TEST(interpreter_version, NeighbouringMinorsDiffer)
{
    EXPECT_NE(major_minor("3.11.1"), major_minor("3.12.0"));
    EXPECT_NE(major_minor("3.1.5"), major_minor("3.10.0"));
}

}  // namespace
