// The numbers of the format.  An integer is an optional sign and digits,
// and must fit in 32 bits.  A real is an optional sign, digits with an
// optional point, and an optional exponent (E or D in either case, an
// optional sign, digits); it stands for the nearest double, which must be
// finite: plain decimal only, no Inf or NaN.
//
// Two parsers read them.  The quick one takes the usual forms straight from
// the window with the standard parsers; what it declines, Value_scan judges,
// which also reads values longer than the window.  Where the quick one
// takes a value, the scan gives the same; a text the scan refuses, the quick
// one declines.  The quick one is inline: it is asked for every value.
#pragma once

#include <fast_float/fast_float.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <system_error>
#include <utility>

namespace zorvak_crystal {

// Each quick parser reads the number that opens [first, last) into `value`
// and returns the end of its text, as std::from_chars does, where
// ends_at(end) says a value ends there; where it reads no number in our
// form, or the value goes on, it returns null.

// As std::from_chars reads it: no plus sign, and a value that fits.
template <class Ends_at>
const char* quick_integer(const char* first, const char* last, std::int32_t& value, Ends_at ends_at)
{
    const auto [end, ec] = std::from_chars(first, last, value);
    return ec == std::errc{} && ends_at(end) ? end : nullptr;
}

// As fast_float reads it, and a finite value.  fast_float reads what
// std::from_chars reads, correctly rounded; beyond our form it also takes
// inf and nan, the only text it turns into a value that is not finite other
// than a far exponent.  Those, and a value out of range however fast_float
// reports it, are left to the scan.  It knows no D exponent: one is read as
// an E written over it, then put back.
template <class Ends_at>
const char* quick_real(char* first, char* last, double& value, Ends_at ends_at)
{
    auto result = fast_float::from_chars(first, last, value);
    if (result.ec != std::errc{} || !std::isfinite(value)) return nullptr;
    if (ends_at(result.ptr)) return result.ptr;
    char* const letter = first + (result.ptr - first);
    if (letter == last || (*letter != 'D' && *letter != 'd')) return nullptr;
    const char d = std::exchange(*letter, 'E');
    result = fast_float::from_chars(first, last, value);
    *letter = d;
    if (result.ec != std::errc{} || !std::isfinite(value) || !ends_at(result.ptr)) return nullptr;
    return result.ptr;
}

}  // namespace zorvak_crystal
