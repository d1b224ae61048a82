#include "c_binding/c_f_string_c_binding.hpp"

#include <gtest/gtest.h>

#include <string>

// As a C caller declares them: linking needs the unmangled names.
extern "C" void c_f_string_ptr(const char* c_string, char* f_string, std::size_t L) noexcept;
extern "C" void c_f_string_chars(const char* c_string, char* f_string, std::size_t L) noexcept;

namespace {

using c_f_string_c_binding::c_f_string_chars;
using c_f_string_c_binding::c_f_string_ptr;
using c_f_string_c_binding::nul;

// Converts with the field surrounded by guard bytes, so a write past either
// end shows up in the result.
std::string convert(const char* c_string, std::size_t L, bool as_chars = false)
{
    std::string field(L + 2, '#');
    if (as_chars) c_f_string_chars(c_string, &field[1], L);
    else c_f_string_ptr(c_string, &field[1], L);
    EXPECT_EQ(field.front(), '#') << "wrote before the field";
    EXPECT_EQ(field.back(), '#') << "wrote past the field";
    return field.substr(1, L);
}

struct Case {
    const char* name;
    std::string input;
    std::size_t L;
    std::string expected;
};

class Conversion : public testing::TestWithParam<Case> {};

TEST_P(Conversion, PtrAndCharsAgree)
{
    const Case& c = GetParam();
    EXPECT_EQ(convert(c.input.c_str(), c.L), c.expected) << "c_f_string_ptr";
    EXPECT_EQ(convert(c.input.c_str(), c.L, true), c.expected) << "c_f_string_chars";
}

INSTANTIATE_TEST_SUITE_P(
    c_f_string, Conversion,
    testing::Values(
        Case{"Empty", "", 5, "     "},
        Case{"Shorter", "ab", 5, "ab   "},
        Case{"OneShortOfL", std::string(127, 'x'), 128, std::string(127, 'x') + " "},
        Case{"ExactlyL", std::string(128, 'x'), 128, std::string(128, 'x')},
        Case{"CutAtL", std::string(128, 'x') + "y", 128, std::string(128, 'x')},
        Case{"LOneByte", "a", 1, "a"},
        Case{"LOneEmpty", "", 1, " "},
        Case{"LZero", "abc", 0, ""},
        Case{"BlanksKept", " a b ", 7, " a b   "},
        // U+00E9 is two bytes; a cut may split it.
        Case{"Utf8Whole", "\xc3\xa9t\xc3\xa9", 6, "\xc3\xa9t\xc3\xa9 "},
        Case{"Utf8Split", "\xc3\xa9t\xc3\xa9", 4, "\xc3\xa9t\xc3"},
        Case{"HighBytes", "\x01\x7f\xff", 4, "\x01\x7f\xff "}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

TEST(c_f_string_ptr, NullGivesBlanks)
{
    EXPECT_EQ(convert(nullptr, 4), "    ");
}

TEST(c_f_string_chars, StopsAtFirstNul)
{
    const char chars[] = {'a', nul, 'b', nul};
    EXPECT_EQ(convert(chars, 3, true), "a  ");
}

TEST(c_f_string, CallableWithCLinkage)
{
    char field[4];
    ::c_f_string_ptr("ab", field, sizeof field);
    EXPECT_EQ(std::string(field, sizeof field), "ab  ");
    ::c_f_string_chars("xyz", field, sizeof field);
    EXPECT_EQ(std::string(field, sizeof field), "xyz ");
}

}  // namespace
