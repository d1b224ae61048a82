#include "crystal/xyz_value_scan.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using zorvak_crystal::Value_scan;

// Decimal digits of 5^k.
std::string power_of_five(int k)
{
    std::vector<int> digits{1};  // least significant first
    for (int i = 0; i < k; ++i) {
        int carry = 0;
        for (int& d : digits) {
            const int v = d * 5 + carry;
            d = v % 10;
            carry = v / 10;
        }
        if (carry > 0) digits.push_back(carry);
    }
    std::string text;
    for (auto d = digits.rbegin(); d != digits.rend(); ++d) text += static_cast<char>('0' + *d);
    return text;
}

// 2^-1075 in full: halfway between zero and the smallest double.
std::string half_denorm_min()
{
    const std::string digits = power_of_five(1075);
    return "0." + std::string(1075 - digits.size(), '0') + digits;
}

const std::string million_zeros(1'000'000, '0');

// What the scan says of `text`, fed whole or one byte at a time.
std::string judged(const std::string& text, bool bytewise)
{
    Value_scan scan;
    scan.reset();
    if (bytewise) {
        for (const char c : text) scan.feed(std::string_view(&c, 1));
    } else {
        scan.feed(text);
    }
    std::ostringstream out;
    out.precision(17);
    if (scan.is_repeat_count()) out << "repeat ";
    if (scan.is_integer()) {
        const std::optional<std::int32_t> v = scan.integer_value();
        out << "integer " << (v ? std::to_string(*v) : "too large") << " ";
    } else if (scan.may_be_integer()) {
        out << "integer so far ";
    }
    if (scan.is_real()) {
        const std::optional<double> v = scan.real_value();
        if (v) out << "real " << *v << (std::signbit(*v) ? " negative" : "");
        else out << "real too large";
    } else if (scan.may_be_real()) {
        out << "real so far";
    } else {
        out << "neither";
    }
    return out.str();
}

struct Scan_case {
    std::string name;
    std::string text;
    std::string want;
};

std::ostream& operator<<(std::ostream& os, const Scan_case& c) { return os << c.name; }

class Judged : public ::testing::TestWithParam<Scan_case> {};

TEST_P(Judged, AlikeWholeOrByteByByte)
{
    EXPECT_EQ(judged(GetParam().text, false), GetParam().want);
    EXPECT_EQ(judged(GetParam().text, true), GetParam().want);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, Judged,
    ::testing::Values(
        Scan_case{"integer", "-0042", "integer -42 real -42 negative"},
        Scan_case{"int32_min_after_zeros", "-" + std::string(3000, '0') + "2147483648",
                  "integer -2147483648 real -2147483648 negative"},
        Scan_case{"int32_max_plus_one", "+2147483648", "integer too large real 2147483648"},
        Scan_case{"eleven_digits", "10000000000", "integer too large real 10000000000"},
        Scan_case{"zeros", std::string(5000, '0'), "integer 0 real 0"},
        Scan_case{"sign_alone", "-", "integer so far real so far"},
        Scan_case{"point_alone", ".", "real so far"},
        Scan_case{"open_exponent", "1.5e-", "real so far"},
        Scan_case{"two_points", "1.5.", "neither"},
        Scan_case{"exponent_without_mantissa", "e5", "neither"},
        Scan_case{"repeat_count", "12*0.5", "repeat neither"},
        Scan_case{"signed_repeat", "+12*0.5", "neither"},
        Scan_case{"star_after_point", "1.*2", "neither"},
        Scan_case{"d_exponent", "-2.5D2", "real -250 negative"},
        Scan_case{"negative_zero", "-0." + million_zeros, "real -0 negative"},
        Scan_case{"zero_far_exponent", "0.0e" + std::string(40, '9'), "real 0"},
        Scan_case{"point_moved_back", "0." + million_zeros + "1e1000001", "real 1"},
        Scan_case{"point_moved_on", "1" + million_zeros + "d-1000000", "real 1"},
        Scan_case{"too_large", "1" + std::string(309, '0'), "integer too large real too large"},
        Scan_case{"too_large_by_exponent", "0.1e" + std::string(40, '9'), "real too large"},
        Scan_case{"largest", "1.7976931348623157e308", "real 1.7976931348623157e+308"},
        Scan_case{"far_below_smallest", "-1e-" + std::string(40, '9'), "real -0 negative"},
        // A value exactly halfway between two doubles rounds to the even
        // one; any non-zero digit after it, however far, rounds up.
        Scan_case{"halfway_to_even", "9007199254740993." + million_zeros, "real 9007199254740992"},
        Scan_case{"past_halfway", "9007199254740993." + million_zeros + "1", "real 9007199254740994"},
        Scan_case{"half_denorm_min", half_denorm_min(), "real 0"},
        Scan_case{"past_half_denorm_min", half_denorm_min() + million_zeros + "1",
                  "real 4.9406564584124654e-324"}),
    [](const ::testing::TestParamInfo<Scan_case>& info) { return info.param.name; });

TEST(Judged, ResetForgetsTheValueBefore)
{
    Value_scan scan;
    scan.feed("3*x");
    scan.reset();
    scan.feed("7");
    EXPECT_FALSE(scan.is_repeat_count());
    EXPECT_EQ(scan.integer_value(), 7);
}

}  // namespace
