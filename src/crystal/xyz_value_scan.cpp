#include "crystal/xyz_value_scan.hpp"

#include "crystal/xyz_word_scan.hpp"

#include <fast_float/fast_float.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <system_error>

namespace zorvak_crystal {

namespace {

// Beyond this decimal exponent either way every mantissa gives a zero or
// an infinity; it keeps the text handed to fast_float short.
constexpr std::int64_t exponent_clamp = 100'000;

}  // namespace

void Value_scan::feed(std::string_view bytes)
{
    for (const char c : bytes) {
        if (c >= '0' && c <= '9') {
            s_.any_leading_digit |= s_.leading_digits_only;
            if (s_.real_form) {
                if (s_.part == Part::mantissa || s_.part == Part::fraction) {
                    mantissa_digit(c);
                } else {
                    s_.part = Part::exponent;
                    ++s_.exponent_digits;
                    if (s_.exponent < exponent_cap) s_.exponent = s_.exponent * 10 + (c - '0');
                }
            }
        } else {
            other_byte(c);
        }
        s_.started = true;
    }
}

void Value_scan::mantissa_digit(char c)
{
    ++s_.mantissa_digits;
    if (s_.significant == 0 && c == '0') {
        // A leading zero after the point moves the first significant digit.
        if (s_.part == Part::fraction) --s_.point;
        return;
    }
    ++s_.significant;
    if (s_.part == Part::mantissa) ++s_.point;
    if (s_.kept < kept_digits) {
        kept_[s_.kept++] = c;
    } else if (c != '0') {
        s_.dropped_non_zero = true;
    }
}

void Value_scan::other_byte(char c)
{
    if (s_.leading_digits_only) {
        s_.leading_digits_only = false;
        s_.repeat_count = s_.any_leading_digit && c == '*';
    }
    if (!s_.real_form) return;
    const bool sign = word_scan::is_sign(c);
    if (sign && !s_.started) {
        s_.negative = c == '-';
    } else if (sign && s_.part == Part::exponent_letter) {
        s_.exponent_negative = c == '-';
        s_.part = Part::exponent;
    } else if (c == '.' && s_.part == Part::mantissa) {
        s_.part = Part::fraction;
        s_.integer_form = false;
    } else if (word_scan::is_exponent_letter(c) && s_.part <= Part::fraction && s_.mantissa_digits > 0) {
        s_.part = Part::exponent_letter;
        s_.integer_form = false;
    } else {
        s_.real_form = false;
        s_.integer_form = false;
    }
}

bool Value_scan::is_real() const
{
    if (!s_.real_form || s_.mantissa_digits == 0) return false;
    return s_.part <= Part::fraction || (s_.part == Part::exponent && s_.exponent_digits > 0);
}

std::optional<std::int32_t> Value_scan::integer_value() const
{
    if (s_.significant > 10) return std::nullopt;
    std::int64_t value = 0;
    for (std::size_t i = 0; i < s_.kept; ++i) value = value * 10 + (kept_[i] - '0');
    if (s_.negative) value = -value;
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::optional<double> Value_scan::real_value() const
{
    const double zero = s_.negative ? -0.0 : 0.0;
    if (s_.significant == 0) return zero;

    // The value as [-]0.<kept digits>[1]e<exponent>: a non-zero digit
    // dropped is stood for by a 1 after the kept ones, which rounds alike.
    const std::int64_t exponent = std::clamp(
        s_.point + (s_.exponent_negative ? -s_.exponent : s_.exponent), -exponent_clamp, exponent_clamp);
    std::array<char, kept_digits + 32> text;
    char* p = text.data();
    if (s_.negative) *p++ = '-';
    *p++ = '0';
    *p++ = '.';
    std::memcpy(p, kept_.data(), s_.kept);
    p += s_.kept;
    if (s_.dropped_non_zero) *p++ = '1';
    *p++ = 'e';
    p = std::to_chars(p, text.data() + text.size(), exponent).ptr;

    double value = 0.0;
    const auto result = fast_float::from_chars(text.data(), p, value);
    if (result.ec == std::errc{} && std::isfinite(value) && value != 0.0) return value;
    // Out of a double's range, whether fast_float says so by its error code
    // or by a zero or an infinity: the mantissa lies in [0.1, 1), so the
    // exponent tells which side.
    if (exponent > 0) return std::nullopt;
    return zero;
}

}  // namespace zorvak_crystal
