// The numbers of the format.  An integer is an optional sign and digits,
// and must fit in 32 bits.  A real is an optional sign, digits with an
// optional point, and an optional exponent (E or D in either case, an
// optional sign, digits); it stands for the nearest double, which must be
// finite: plain decimal only, no Inf or NaN.
//
// Two parsers read them.  The quick one takes the usual forms straight from
// the window, judging and converting in one pass; what it declines,
// Value_scan judges, which also reads values longer than the window.  Where
// the quick one takes a value, the scan gives the same; a text the scan
// refuses, the quick one declines.  The quick one is inline: it is asked
// for every value.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>

#include "crystal/nearest_double.hpp"
#include "crystal/xyz_word_scan.hpp"

namespace zorvak_crystal {

// Each quick parser reads the number at `first` into `value` and returns
// the end of its text, where ends_at(end) says a value ends there; where it
// reads no number in our form, or the value goes on, it returns null.  The
// text must be followed by padding as xyz_word_scan.hpp says, and a number
// is looked for in its first 32 bytes: a longer one is left to the scan.

namespace quick_number_detail {

// The first byte at or after `from` that is not a digit.  Bits beyond the
// 32 looked at count as none, so there is always one.
inline unsigned digits_end(std::uint32_t digits, unsigned from)
{
    const std::uint64_t others = ~std::uint64_t(digits);
    return static_cast<unsigned>(__builtin_ctzll(others >> from)) + from;
}

// Whether byte i of the 32 from p, where a run of digits ends, is a sign,
// a point or an exponent letter.
inline bool sign_at(const char* p, unsigned i) { return i < 32 && word_scan::is_sign(p[i]); }
inline bool point_at(const char* p, unsigned i) { return i < 32 && p[i] == '.'; }
inline bool exponent_letter_at(const char* p, unsigned i) { return i < 32 && word_scan::is_exponent_letter(p[i]); }

// The mantissa of a number whose digits and point lie within the eight
// bytes at p: the point is taken out, the fraction's digits moving down a
// byte, and the digits are read as one.
inline std::uint64_t mantissa_within_word(const char* p, unsigned integer_digits, unsigned fraction_digits)
{
    const std::uint64_t word = word_scan::load(p);
    const std::uint64_t integer_bytes = integer_digits == 0 ? 0 : ~std::uint64_t(0) >> (64 - 8 * integer_digits);
    const std::uint64_t digits = (word & integer_bytes) | ((word >> 8) & ~integer_bytes);
    return word_scan::digits_value_of(digits, integer_digits + fraction_digits);
}

// The exponent that `count` digits at e write (up to eight): mostly two,
// quicker taken alone.
inline std::int64_t exponent_value(const char* e, unsigned count)
{
    return static_cast<std::int64_t>(count == 2 ? (e[0] - '0') * 10 + (e[1] - '0') : word_scan::digits_value(e, count));
}

// The inverses of 5^0 to 5^5 modulo 2^64: multiplying by one divides
// exactly a number that 5^k divides.  Newton's steps double the right bits
// of each, from the three that a number is its own inverse in.
constexpr auto inverses_of_five_powers = [] {
    std::array<std::uint64_t, 6> t{};
    std::uint64_t power = 1;
    for (std::size_t k = 0; k < t.size(); ++k) {
        std::uint64_t inverse = power;
        for (int step = 0; step < 5; ++step) inverse *= 2 - power * inverse;
        t[k] = inverse;
        power *= 5;
    }
    return t;
}();

// x / 10^k for an x that ends in k zeros (k up to 5): the factor 2^k
// shifted out, then the exact quotient by 5^k.
inline std::uint64_t without_zeros(std::uint64_t x, unsigned k)
{
    return (x >> k) * inverses_of_five_powers[k];
}

// The mantissa of more than 19 digits of which the leading zeros make the
// rest fit, one byte at a time (a rare form).
inline std::uint64_t mantissa_by_bytes(const char* p, unsigned from, unsigned end)
{
    std::uint64_t mantissa = 0;
    for (unsigned i = from; i < end; ++i)
        if (p[i] != '.') mantissa = mantissa * 10 + static_cast<unsigned>(p[i] - '0');
    return mantissa;
}

// The digits from the first that is not a leading zero (the point passed
// over): those a 64-bit mantissa must hold, as fast_float counts them.
inline unsigned significant_digits(const char* p, unsigned from, unsigned end, unsigned digits)
{
    for (unsigned i = from; i < end && (p[i] == '0' || p[i] == '.'); ++i) digits -= p[i] == '0';
    return digits;
}

}  // namespace quick_number_detail

// The plain parsers take a value whose extent [first, first + size) is
// already known (size below 64) and whose digits `digits` flags (bit i for
// first[i]), in the usual forms only: they return false for any other,
// which the quick parsers then judge.  Where they take a value, the quick
// parsers give the same.

// Digits alone, up to nine of them: an unsigned integer.
[[gnu::always_inline]] inline bool plain_integer(const char* first, unsigned size, std::uint64_t digits, std::int32_t& value)
{
    const std::uint64_t bytes = ~(~std::uint64_t(0) << size);
    if (size == 0 || size > 9 || (bytes & ~digits) != 0) return false;
    value = static_cast<std::int32_t>(digits_value(first, size));
    return true;
}

// plain_real for more than three digits before the point (large
// coordinates), in xyz_number.cpp: a call of its own.
bool plain_real_wide(const char* first, unsigned size, std::uint64_t digits, double& value);

namespace quick_number_detail {

// plain_real, and with Wide its own call for more than three digits before
// the point: kept apart, so that the usual forms' code is compiled as if
// there were no others.
template <bool Wide>
[[gnu::always_inline]] inline bool plain_real_as(const char* first, unsigned size, std::uint64_t digits, double& value)
{
    using word_scan::is_exponent_letter;
    using word_scan::is_sign;
    const auto lowest = [size](std::uint64_t bits) {
        return bits == 0 ? size : static_cast<unsigned>(__builtin_ctzll(bits));
    };
    const unsigned sign = is_sign(*first) ? 1 : 0;
    // The bytes after the sign that are not digits, from the first on.
    std::uint64_t others = ~(~std::uint64_t(0) << size) & ~digits & ~std::uint64_t(sign);
    const unsigned integer_end = lowest(others);
    unsigned mantissa_end = integer_end;
    if (integer_end < size && first[integer_end] == '.') {
        others &= others - 1;
        mantissa_end = lowest(others);
    }
    const unsigned integer_digits = integer_end - sign;
    const unsigned fraction_digits = mantissa_end - integer_end - (mantissa_end > integer_end ? 1 : 0);
    const unsigned all_digits = integer_digits + fraction_digits;
    if (!Wide && integer_digits > 3) return plain_real_wide(first, size, digits, value);
    // A value below 1 written out in full, "0." and seventeen places: the
    // first place is read as the digit before the point.
    const unsigned moved = !Wide && fraction_digits == 17 && integer_digits == 1 && first[sign] == '0' ? 1 : 0;
    if (integer_digits > 8 || fraction_digits - moved > 16 || all_digits == 0 || all_digits > 19) return false;
    // Eight places or fewer are read as they stand, and their value is
    // mostly converted exactly with one division; more are read as sixteen,
    // or as fewer where more than three digits come before them (the wide
    // form), so that the mantissa keeps to 19 digits.
    const char* const integer = first + sign;
    const char* const fraction = first + integer_end + 1;
    const bool short_fraction = fraction_digits <= 8;
    const unsigned fewer_places = Wide ? integer_digits - 3 : 0;
    std::uint64_t mantissa = 0;
    if (all_digits < 8) {
        mantissa = mantissa_within_word(integer, integer_digits, fraction_digits);
    } else if (short_fraction) {
        mantissa = word_scan::digits_value(integer, integer_digits) * word_scan::powers_of_ten[fraction_digits]
            + word_scan::digits_value(fraction, fraction_digits);
    } else {
        const char* const leading = moved ? fraction : integer;
        mantissa = word_scan::digits_value(leading, integer_digits) * word_scan::powers_of_ten[16 - fewer_places]
            + without_zeros(sixteen_places_value(fraction + moved, fraction_digits - moved), fewer_places);
    }
    std::int64_t exponent = short_fraction ? -static_cast<std::int64_t>(fraction_digits)
                                           : -16 + static_cast<std::int64_t>(fewer_places) - moved;
    const bool negative = *first == '-';
    // Without an exponent sixteen places (or seventeen, moved) take one
    // power of ten, and the conversion is specialised for it.
    if (mantissa_end == size && !short_fraction) {
        if (!Wide) return nearest_double(mantissa, -16 - static_cast<std::int64_t>(moved), negative, value);
        // And for four digits before the point, fifteen.
        if (fewer_places == 1) return nearest_double(mantissa, -15, negative, value);
    }
    if (mantissa_end < size) {
        if (!is_exponent_letter(first[mantissa_end])) return false;
        others &= others - 1;
        unsigned exponent_start = mantissa_end + 1;
        if (lowest(others) == exponent_start && is_sign(first[exponent_start])) {
            others &= others - 1;
            ++exponent_start;
        }
        const unsigned count = size - exponent_start;
        if (others != 0 || count == 0 || count > 3) return false;
        const auto written = exponent_value(first + exponent_start, count);
        exponent += first[mantissa_end + 1] == '-' ? -written : written;
    }
    return nearest_double(mantissa, exponent, negative, value) && std::isfinite(value);
}

}  // namespace quick_number_detail

// An optional sign, up to eight digits and up to sixteen after an optional
// point (one digit at least, 19 at most; or "0." and seventeen), and an
// optional exponent of up to three digits: the forms of written coordinates.  The non-digits are found
// from the digit mask at once.  Each such number has one nearest double, so
// this gives what quick_real gives, however that reaches it.
[[gnu::always_inline]] inline bool plain_real(const char* first, unsigned size, std::uint64_t digits, double& value)
{
    return quick_number_detail::plain_real_as<false>(first, size, digits, value);
}

// Up to nine digits, which fit whatever the sign; longer ones go to the scan.
template <class Ends_at>
const char* quick_integer(const char* first, std::int32_t& value, Ends_at ends_at)
{
    using namespace quick_number_detail;
    const unsigned start = sign_at(first, 0) ? 1 : 0;
    const unsigned end = digits_end(digit_mask(first), start);
    const unsigned count = end - start;
    if (count == 0 || count > 9 || !ends_at(first + end)) return nullptr;
    const auto v = static_cast<std::int32_t>(digits_value(first + start, count));
    value = *first == '-' ? -v : v;
    return first + end;
}

// At most 19 significant digits (those of any double written out
// shortest), converted as fast_float converts them; more digits, a far
// exponent, a value out of range and the rare undecided case are left to
// the scan.  The parts are found from the digit mask in a fixed run of
// steps, with few branches, and those follow the number's form, which
// stays the same from value to value in a file.
template <class Ends_at>
const char* quick_real(const char* first, double& value, Ends_at ends_at)
{
    using namespace quick_number_detail;
    const std::uint32_t digit_bytes = digit_mask(first);
    const unsigned integer_start = sign_at(first, 0) ? 1 : 0;
    const unsigned integer_end = digits_end(digit_bytes, integer_start);
    const unsigned fraction_start = integer_end + (point_at(first, integer_end) ? 1 : 0);
    const unsigned fraction_end = digits_end(digit_bytes, fraction_start);
    const unsigned integer_digits = integer_end - integer_start;
    const unsigned fraction_digits = fraction_end - fraction_start;
    const unsigned digits = integer_digits + fraction_digits;
    if (digits == 0 || (digits > 19 && significant_digits(first, integer_start, fraction_end, digits) > 19))
        return nullptr;
    std::int64_t exponent = -static_cast<std::int64_t>(fraction_digits);
    unsigned end = fraction_end;
    if (exponent_letter_at(first, end)) {
        const unsigned sign = end + 1;
        const unsigned exponent_start = sign + (sign_at(first, sign) ? 1 : 0);
        const unsigned exponent_end = digits_end(digit_bytes, exponent_start);
        const unsigned count = exponent_end - exponent_start;
        // Five digits at most: a farther exponent is left to the scan,
        // which clamps it.
        if (count == 0 || count > 5) return nullptr;
        const auto written = exponent_value(first + exponent_start, count);
        exponent += first[sign] == '-' ? -written : written;
        end = exponent_end;
    }
    if (!ends_at(first + end)) return nullptr;
    std::uint64_t mantissa = 0;
    if (fraction_end <= integer_start + 8) {
        mantissa = mantissa_within_word(first + integer_start, integer_digits, fraction_digits);
#ifdef __x86_64__
    } else if (fraction_digits > 8 && fraction_digits <= 16 && integer_digits <= 3) {
        // The long fraction of a written double, read at once as sixteen
        // places: the number is the same with the zeros added, and its
        // nearest double too.
        mantissa = digits_value(first + integer_start, integer_digits) * word_scan::powers_of_ten[16]
            + word_scan::sixteen_digits_value(first + fraction_start, fraction_digits);
        exponent -= 16 - static_cast<std::int64_t>(fraction_digits);
#endif
    } else if (digits <= 19) {
        mantissa = digits_value(first + integer_start, integer_digits) * word_scan::powers_of_ten[fraction_digits]
            + digits_value(first + fraction_start, fraction_digits);
    } else {
        mantissa = mantissa_by_bytes(first, integer_start, fraction_end);
    }
    if (!nearest_double(mantissa, exponent, *first == '-', value) || !std::isfinite(value)) return nullptr;
    return first + end;
}

}  // namespace zorvak_crystal
