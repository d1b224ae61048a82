#include "crystal/xyz_number.hpp"

#include <gtest/gtest.h>

#include <fast_float/fast_float.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "crystal/xyz_value_scan.hpp"
#include "crystal/xyz_window.hpp"

namespace {

using zorvak_crystal::line_bytes;
using zorvak_crystal::plain_integer;
using zorvak_crystal::plain_real;
using zorvak_crystal::quick_integer;
using zorvak_crystal::quick_real;
using zorvak_crystal::Text_window;
using zorvak_crystal::Value_scan;

const std::string bad = "bad";
const std::string too_large = "too large";
const std::string declined = "declined";

std::string integer(std::int32_t v) { return std::to_string(v); }

// Every bit of the double, the sign of a zero included.
std::string real(double v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%a", v);
    return text;
}

std::string scanned_integer(const std::string& text)
{
    Value_scan scan;
    scan.feed(text);
    if (!scan.is_integer()) return bad;
    const std::optional<std::int32_t> v = scan.integer_value();
    return v ? integer(*v) : too_large;
}

std::string scanned_real(const std::string& text)
{
    Value_scan scan;
    scan.feed(text);
    if (!scan.is_real()) return bad;
    const std::optional<double> v = scan.real_value();
    return v ? real(*v) : too_large;
}

// The text followed by the zero padding the window keeps after its text.
std::string padded(const std::string& text) { return text + std::string(Text_window::padding, '\0'); }

// What the quick parser makes of the whole text; declined where it takes
// none or not all of it.
std::string quick_integer_of(const std::string& text)
{
    const std::string buffer = padded(text);
    const char* const end = buffer.data() + text.size();
    std::int32_t value = 0;
    const bool taken = quick_integer(buffer.data(), value, [end](const char* p) { return p == end; });
    return taken ? integer(value) : declined;
}

std::string quick_real_of(const std::string& text)
{
    const std::string buffer = padded(text);
    const char* const end = buffer.data() + text.size();
    double value = 0.0;
    const bool taken = quick_real(buffer.data(), value, [end](const char* p) { return p == end; });
    return taken ? real(value) : declined;
}

// What the plain parsers make of the whole text, as a line's masks give
// it to them; declined where they take none of it.
std::string plain_integer_of(const std::string& text)
{
    const std::string buffer = padded(text);
    std::int32_t value = 0;
    const bool taken = text.size() < 64
        && plain_integer(buffer.data(), static_cast<unsigned>(text.size()), line_bytes(buffer.data()).digits, value);
    return taken ? integer(value) : declined;
}

std::string plain_real_of(const std::string& text)
{
    const std::string buffer = padded(text);
    double value = 0.0;
    const bool taken = text.size() < 64
        && plain_real(buffer.data(), static_cast<unsigned>(text.size()), line_bytes(buffer.data()).digits, value);
    return taken ? real(value) : declined;
}

struct Form {
    std::string text;
    std::string integer;  // read as an integer
    std::string real;     // read as a real
};

std::ostream& operator<<(std::ostream& os, const Form& f) { return os << "text \"" << f.text << "\""; }

class BothParsers : public ::testing::TestWithParam<Form> {};

TEST_P(BothParsers, GiveTheSameValueOrTheSameRefusal)
{
    // The quick parser may leave any text to the scan, but what it takes
    // it must read as the scan does.
    const Form& f = GetParam();
    EXPECT_EQ(scanned_integer(f.text), f.integer);
    EXPECT_EQ(scanned_real(f.text), f.real);
    const std::string quick_i = quick_integer_of(f.text);
    if (quick_i != declined) EXPECT_EQ(quick_i, f.integer);
    const std::string quick_r = quick_real_of(f.text);
    if (quick_r != declined) EXPECT_EQ(quick_r, f.real);
    // And so for the plain parsers, which may leave any text to the quick.
    const std::string plain_i = plain_integer_of(f.text);
    if (plain_i != declined) EXPECT_EQ(plain_i, f.integer);
    const std::string plain_r = plain_real_of(f.text);
    if (plain_r != declined) EXPECT_EQ(plain_r, f.real);
}

constexpr double denorm_min = std::numeric_limits<double>::denorm_min();
constexpr double largest = std::numeric_limits<double>::max();

INSTANTIATE_TEST_SUITE_P(
    Forms, BothParsers,
    ::testing::Values(
        Form{"42", integer(42), real(42)}, Form{"+7", integer(7), real(7)},
        Form{"-7", integer(-7), real(-7)}, Form{"-0", integer(0), real(-0.0)},
        Form{"007", integer(7), real(7)}, Form{"00012", integer(12), real(12)},
        Form{"2147483647", integer(2147483647), real(2147483647.0)},
        Form{"-2147483648", integer(-2147483647 - 1), real(-2147483648.0)},
        Form{"2147483648", too_large, real(2147483648.0)},
        Form{"-2147483649", too_large, real(-2147483649.0)},
        Form{"99999999999999999999", too_large, real(1e20)},
        Form{"9007199254740993", too_large, real(9007199254740992.0)},
        Form{"2.0", bad, real(2)}, Form{"2e3", bad, real(2000)},
        Form{"1.5", bad, real(1.5)}, Form{"5.", bad, real(5)}, Form{".5", bad, real(0.5)},
        Form{"-.5", bad, real(-0.5)}, Form{"+.5e-0", bad, real(0.5)}, Form{"-0.0", bad, real(-0.0)},
        Form{"0.1", bad, real(0.1)}, Form{"0.75719999999999998", bad, real(0.7572)},
        Form{"1.5D-3", bad, real(1.5e-3)}, Form{"1.5d-3", bad, real(1.5e-3)},
        Form{"1e5", bad, real(1e5)}, Form{"1E+05", bad, real(1e5)}, Form{"-2.5D2", bad, real(-250)},
        Form{"9007199254740993.000000000000000000001", bad, real(9007199254740994.0)},
        Form{"4.9e-324", bad, real(denorm_min)},
        Form{"2.4703282292062327e-324", bad, real(0)},
        Form{"2.4703282292062328e-324", bad, real(denorm_min)},
        Form{"1e-400", bad, real(0)}, Form{"-1d-400", bad, real(-0.0)},
        Form{"1.7976931348623157e308", bad, real(largest)},
        Form{"1.7976931348623158e308", bad, real(largest)},
        Form{"1.7976931348623159e308", bad, too_large},
        Form{"1e400", bad, too_large}, Form{"-1D309", bad, too_large},
        Form{"inf", bad, bad}, Form{"-Infinity", bad, bad}, Form{"NaN", bad, bad}, Form{"nan(1)", bad, bad},
        Form{"0x10", bad, bad}, Form{"0x1p3", bad, bad}, Form{"+", bad, bad}, Form{"-", bad, bad},
        Form{".", bad, bad}, Form{"e5", bad, bad}, Form{"1e", bad, bad}, Form{"1e+", bad, bad},
        Form{"1d+", bad, bad}, Form{"1.5D", bad, bad}, Form{"1D5D5", bad, bad}, Form{"1e5d", bad, bad},
        Form{"1.5.2", bad, bad}, Form{"1+5", bad, bad}, Form{"1E5.0", bad, bad}, Form{"--1", bad, bad},
        Form{"+-1", bad, bad}, Form{"1.5q", bad, bad}, Form{"3*1", bad, bad}, Form{"3*0.0", bad, bad},
        // The quick parser's own limits: nine digits of an integer, 19 of
        // a real, five of an exponent, a sign, a point or a letter where
        // the digit runs' ends could misplace one.
        Form{"999999999", integer(999999999), real(999999999)},
        Form{"-0000000001", integer(-1), real(-1)},
        Form{"1234567890123456789", too_large, real(1234567890123456789.0)},
        Form{"12345678901234567891", too_large, real(12345678901234567891.0)},
        Form{"0.1234567890123456789", bad, real(0.1234567890123456789)},
        Form{"-1234567890.123456789e+12", bad, real(-1234567890.123456789e+12)},
        Form{"0.00000000000000000000123", bad, real(1.23e-21)},
        Form{"0.0040691407478945507", bad, real(0.0040691407478945507)},
        // Digits and point within one word, or just past it.
        Form{"1.234567", bad, real(1.234567)}, Form{"1.2345678", bad, real(1.2345678)},
        Form{"-.1234567", bad, real(-.1234567)}, Form{"-.12345678", bad, real(-.12345678)},
        Form{"12345678", integer(12345678), real(12345678)}, Form{"1234567.", bad, real(1234567)},
        Form{"12345678.9", bad, real(12345678.9)},
        // Long fractions, read as sixteen places with zeros added.
        Form{"-0.123456789", bad, real(-0.123456789)}, Form{"999.9999999999999999", bad, real(1000)},
        Form{"1.2345678901234567e-300", bad, real(1.2345678901234567e-300)},
        Form{"4.9406564584124654e-324", bad, real(denorm_min)},
        Form{"2.4703282292062327e-324", bad, real(0)}, Form{"1.797693134862315708e308", bad, real(largest)},
        Form{"1.797693134862315808e308", bad, too_large}, Form{"1234.123456789", bad, real(1234.123456789)},
        // Four to eight digits before the point: fewer places than sixteen.
        Form{"-2860.9328556499613", bad, real(-2860.9328556499613)},
        Form{"12345678.12345678901", bad, real(12345678.12345678901)},
        Form{"99999999.99999999999", bad, real(99999999.99999999999)},
        Form{"1000.0000000000001e-3", bad, real(1.0000000000000001)}, Form{"-12345.678D2", bad, real(-1234567.8)},
        Form{"123456789.1234567891", bad, real(123456789.1234567891)},
        // Seventeen places behind a zero: the first read as the digit before the point.
        Form{"0.36525896460287443", bad, real(0.36525896460287443)},
        Form{"-0.00000000000000001", bad, real(-1e-17)}, Form{"0.99999999999999999", bad, real(1)},
        Form{"0.12345678901234567e3", bad, real(123.45678901234567)},
        Form{"00.12345678901234567", bad, real(0.12345678901234567)},
        Form{"1.12345678901234567", bad, real(1.12345678901234567)},
        Form{"000000000000000000001234567890123456789", too_large, real(1234567890123456789.0)},
        Form{"0000000000000000000000.0", bad, real(0)},
        Form{"1e99999", bad, too_large}, Form{"1e-99999", bad, real(0)}, Form{"1e+00308", bad, real(1e308)},
        Form{"1e100000", bad, too_large}, Form{"5e-000000000000000000001", bad, real(0.5)},
        Form{"+.5e-3", bad, real(0.5e-3)}, Form{"5.e3", bad, real(5000)}, Form{"-.5D+1", bad, real(-5)},
        Form{"1.e", bad, bad}, Form{"1.5e+-3", bad, bad}, Form{"1.5e3.", bad, bad}, Form{"1.5ee3", bad, bad},
        Form{"1.5de3", bad, bad}, Form{"1-", bad, bad}, Form{"1.5e3-", bad, bad}, Form{"-", bad, bad},
        Form{"-e5", bad, bad}, Form{".5.", bad, bad}, Form{"5..", bad, bad}, Form{"1,5", bad, bad},
        Form{std::string("1\0", 2), bad, bad}));

TEST(QuickParser, TakesTheFormsFilesAreWrittenIn)
{
    // Anything it declines goes the slow way, value by value.
    for (const std::string text : {"42", "-7", "+7", "1.5", "-0.5", "1E+05", "1.5e-3", "1.5D-3", "-2.5d2",
                                   "-12.345678901234567", "12.34567890", "-2.9450e+01", "1.2345678901E-05",
                                   "0.0040691407478945507", "-0.00000000000000000000012"}) {
        if (text.find_first_of(".EeDd") == std::string::npos)
            EXPECT_NE(quick_integer_of(text), declined) << text;
        EXPECT_NE(quick_real_of(text), declined) << text;
    }
}

// Doubles written as programs write them, every way the format allows:
// what the quick parser takes it must read as fast_float reads the same
// text (with E for D), the nearest double, and as the scan does.
TEST(QuickParser, ReadsWrittenDoublesAsFastFloatAndTheScan)
{
    std::mt19937_64 random(5);
    std::uniform_real_distribution<double> uniform(-50.0, 50.0);
    const char* const formats[] = {"%.17g", "%.8f", "%.4e", "%.10E", "%.15g", "%.3f", "%g"};
    for (int n = 0; n < 20000; ++n) {
        double x = uniform(random);
        // Coordinates of large structures, with four digits before the
        // point, and values below 1.
        if (n % 5 == 1) x *= 100.0;
        if (n % 5 == 2) x /= 50.0;
        // Now and then a magnitude far from 1, tiny and huge ones included.
        if (n % 4 == 0) x = std::ldexp(x, static_cast<int>(random() % 2000) - 1000);
        for (const char* format : formats) {
            char written[64];
            std::snprintf(written, sizeof written, format, x);
            std::string text = written;
            if (n % 3 == 0) std::replace(text.begin(), text.end(), 'e', 'D');
            std::string e_text = text;
            std::replace(e_text.begin(), e_text.end(), 'D', 'e');
            double want = 0.0;
            fast_float::from_chars(e_text.data(), e_text.data() + e_text.size(), want);
            const std::string quick = quick_real_of(text);
            // Long texts of far magnitudes may be left to the scan; values
            // as coordinates are written never are, and the plain parser
            // takes those from 0.1 to 5000 itself.
            if (n % 4 != 0) EXPECT_NE(quick, declined) << "text " << text;
            const std::string plain = plain_real_of(text);
            if (n % 4 != 0 && std::fabs(x) >= 0.1) EXPECT_NE(plain, declined) << "text " << text;
            if (plain != declined) EXPECT_EQ(plain, real(want)) << text;
            if (quick == declined) continue;
            EXPECT_EQ(quick, real(want)) << text;
            EXPECT_EQ(quick, scanned_real(text)) << text;
        }
    }
}

}  // namespace
