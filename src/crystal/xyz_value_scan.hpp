// What a value's bytes say of its form and, for a number, of its value,
// gathered as they pass: a value need not be held whole to be judged, so
// one longer than the tokenizer's window streams through in pieces.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace zorvak_crystal {

class Value_scan {
public:
    // Forgets the value scanned so far.
    void reset() { s_ = State{}; }
    // Takes the next bytes of the value.
    void feed(std::string_view bytes);

    // Every byte so far fits the form of an integer, or of a real, as
    // xyz_number.hpp gives them.
    bool may_be_integer() const { return s_.integer_form && s_.real_form; }
    bool may_be_real() const { return s_.real_form; }
    // The value scanned is complete in that form.
    bool is_integer() const { return may_be_integer() && s_.mantissa_digits > 0; }
    bool is_real() const;
    // Digits followed by '*' open the value: a repeat count (3*0.0).
    bool is_repeat_count() const { return s_.repeat_count; }

    // The integer's value; none when it does not fit in 32 bits.  Needs
    // is_integer().
    std::optional<std::int32_t> integer_value() const;
    // The nearest double to the real, as for the whole text; none when that
    // is too large for a double.  Needs is_real().
    std::optional<double> real_value() const;

private:
    // Enough significant digits that keeping only these, and whether any
    // later one is non-zero, rounds every value as its full text would: a
    // point halfway between two doubles has at most 767 of them.
    static constexpr std::size_t kept_digits = 800;
    // Decimal exponents stop growing here, far beyond any text's length,
    // so that the exponent and the place of the point still add up.
    static constexpr std::int64_t exponent_cap = 100'000'000'000'000'000;

    enum class Part : unsigned char { mantissa, fraction, exponent_letter, exponent };

    void mantissa_digit(char c);
    void other_byte(char c);

    struct State {
        Part part = Part::mantissa;
        bool integer_form = true;
        bool real_form = true;
        bool negative = false;
        bool started = false;  // a byte was fed
        // Leading digits, while nothing else has come yet.
        bool leading_digits_only = true;
        bool any_leading_digit = false;
        bool repeat_count = false;
        std::uint64_t mantissa_digits = 0;  // before and after the point
        std::uint64_t significant = 0;      // from the first non-zero digit on
        std::size_t kept = 0;               // of those, the first in kept_
        bool dropped_non_zero = false;      // a non-zero digit beyond them
        // The mantissa is 0.<significant digits> times 10 to this power.
        std::int64_t point = 0;
        std::uint64_t exponent_digits = 0;
        bool exponent_negative = false;
        std::int64_t exponent = 0;  // saturates at exponent_cap
    };
    State s_;
    std::array<char, kept_digits> kept_;
};

}  // namespace zorvak_crystal
