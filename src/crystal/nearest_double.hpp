// The double nearest to a decimal w × 10^q, computed as fast_float's
// from_chars computes it for a text of at most 19 digits, so that a number
// whose digits were already gathered is not parsed a second time.
//
// This is the one file that reaches past fast_float's public from_chars:
// compute_float, to_float, adjusted_mantissa and binary_format, all in
// namespace fast_float with these signatures from 3.x (Debian 12: 3.9)
// through 8.x (Debian 13 and testing).  test_nearest_double checks the
// result against from_chars itself for every form the reader takes.
#pragma once

#include <fast_float/fast_float.h>

#include <cfloat>
#include <cstdint>
#include <cstring>

namespace zorvak_crystal {

namespace nearest_double_detail {

// The powers of ten a double holds exactly.
constexpr double exact_powers_of_ten[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                          1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                          1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Whether arithmetic rounds to nearest (the default, which nothing here
// changes): only then does one correctly rounded division or product give
// the nearest double.  The volatile keeps the compiler from deciding it.
inline bool rounds_to_nearest()
{
    static volatile float smallest = FLT_MIN;
    const float s = smallest;
    return s + 1.0f == 1.0f - s;
}

}  // namespace nearest_double_detail

// Sets `value` to the double nearest to w × 10^q, negated when `negative`,
// where w came from at most 19 digits; false in the rare case where the
// quick computation cannot decide, which the caller leaves to a full parse.
// Too small a value gives a zero, too large an infinity.
inline bool nearest_double(std::uint64_t w, std::int64_t q, bool negative, double& value)
{
    using namespace nearest_double_detail;
    // Clinger's fast path: w and 10^|q| are exact doubles, and one
    // operation rounds once.  from_chars takes it up to w = 2^53; here it
    // stops at 15 digits, so that the choice follows the digits' count,
    // which stays the same from value to value in a file, rather than their
    // size (the 16- and 17-digit values of written doubles fall on both
    // sides of 2^53).  Beyond, the other way gives the same nearest double.
    if (q >= -22 && q <= 22 && w < 1'000'000'000'000'000 && rounds_to_nearest()) {
        double magnitude = static_cast<double>(w);
        magnitude = q < 0 ? magnitude / exact_powers_of_ten[-q] : magnitude * exact_powers_of_ten[q];
        // The sign bit set without a branch: signs are as likely as not.
        std::uint64_t bits;
        std::memcpy(&bits, &magnitude, sizeof bits);
        bits |= std::uint64_t(negative) << 63;
        std::memcpy(&value, &bits, sizeof value);
        return true;
    }
    // Otherwise Eisel and Lemire's method, with from_chars's own code.
    const fast_float::adjusted_mantissa am = fast_float::compute_float<fast_float::binary_format<double>>(q, w);
    if (am.power2 < 0) return false;
    fast_float::to_float(negative, am, value);
    return true;
}

}  // namespace zorvak_crystal
