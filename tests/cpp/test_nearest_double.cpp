#include "crystal/nearest_double.hpp"

#include <gtest/gtest.h>

#include <fast_float/fast_float.h>

#include <cfenv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>

namespace {

using zorvak_crystal::nearest_double;

// Every bit of the double, the sign of a zero included.
std::string bits(double v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%a", v);
    return text;
}

// What fast_float's from_chars gives for the text "[-]<w>e<q>".
std::string from_chars_of(std::uint64_t w, std::int64_t q, bool negative)
{
    const std::string text = (negative ? "-" : "") + std::to_string(w) + "e" + std::to_string(q);
    double value = 0.0;
    const auto result = fast_float::from_chars(text.data(), text.data() + text.size(), value);
    // fast_float 8 also says result_out_of_range where the value is an
    // infinity or a zero; 3.x says nothing.  Either way the value is set.
    EXPECT_TRUE(result.ec == std::errc{} || result.ec == std::errc::result_out_of_range) << text;
    return bits(value);
}

// Checks one decimal; true when nearest_double decided it.
bool expect_as_from_chars(std::uint64_t w, std::int64_t q, bool negative)
{
    double value = 0.0;
    if (!nearest_double(w, q, negative, value)) return false;
    EXPECT_EQ(bits(value), from_chars_of(w, q, negative)) << (negative ? "-" : "") << w << "e" << q;
    return true;
}

struct Decimal {
    std::uint64_t w;
    std::int64_t q;
};

TEST(NearestDouble, EdgesOfEachWayAsFromChars)
{
    const std::uint64_t two_53 = std::uint64_t(1) << 53;
    const Decimal cases[] = {
        {0, 0}, {0, -400}, {0, 400}, {1, 0}, {5, -1},
        // Where the exact division or product stops being exact.
        {two_53, 22}, {two_53, -22}, {two_53 + 1, 0}, {two_53 + 1, 22}, {two_53 - 1, -22}, {1, 23}, {1, -23},
        // Halfway between two doubles: ties go to the even one.
        {9007199254740993, 0}, {9007199254740995, 0}, {45035996273704985, -1},
        // The largest double and just past it; the smallest and below it.
        {17976931348623157, 292}, {17976931348623159, 292}, {49406564584124654, -340},
        {24703282292062327, -340}, {24703282292062328, -340}, {22250738585072014, -324},
        {22250738585072011, -324}, {9999999999999999999u, -343}, {9999999999999999999u, 289},
        {1, 308}, {1, 309}, {1, -324}, {1, -325}, {75719999999999998, -17}};
    for (const Decimal& d : cases)
        for (const bool negative : {false, true})
            EXPECT_TRUE(expect_as_from_chars(d.w, d.q, negative)) << d.w << "e" << d.q;
}

TEST(NearestDouble, RandomDecimalsOfUpTo19DigitsAsFromChars)
{
    std::mt19937_64 random(3);
    int undecided = 0;
    for (int n = 0; n < 200000; ++n) {
        const unsigned digits = 1 + random() % 19;
        std::uint64_t w = 0;
        for (unsigned i = 0; i < digits; ++i) w = w * 10 + random() % 10;
        const std::int64_t q = static_cast<std::int64_t>(random() % 700) - 360;
        if (!expect_as_from_chars(w, q, random() & 1)) ++undecided;
    }
    // Left to the caller's full parse only in rare cases.
    EXPECT_LT(undecided, 20);
}

TEST(NearestDouble, SameUnderAnotherRoundingMode)
{
    // from_chars rounds to nearest whatever the mode; so must this.
    const int saved = std::fegetround();
    for (const int mode : {FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
        ASSERT_EQ(std::fesetround(mode), 0);
        for (const Decimal& d : {Decimal{1, -1}, Decimal{3, -1}, Decimal{123456789, -5}, Decimal{7, 22}})
            for (const bool negative : {false, true}) EXPECT_TRUE(expect_as_from_chars(d.w, d.q, negative));
    }
    std::fesetround(saved);
}

}  // namespace
