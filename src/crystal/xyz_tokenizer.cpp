#include "crystal/xyz_tokenizer.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

#include "crystal/xyz_text.hpp"

namespace zorvak_crystal {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// What a byte means between and after values; one look-up per byte.
enum Char_class : unsigned char { value_byte, blank, line_end, comma, slash, carriage_return };

constexpr auto char_classes = [] {
    std::array<Char_class, 256> t{};
    t[' '] = t['\t'] = blank;
    t['\n'] = line_end;
    t[','] = comma;
    t['/'] = slash;
    t['\r'] = carriage_return;
    return t;
}();

Char_class class_of(char c) { return char_classes[static_cast<unsigned char>(c)]; }

// Offending text is shown up to this many bytes.
constexpr std::size_t shown_limit = 48;

// Digits followed by '*' open a repeat count (3*0.0).
bool is_repeat_count(std::string_view t)
{
    std::size_t i = 0;
    while (i < t.size() && is_digit(t[i])) ++i;
    return i > 0 && i < t.size() && t[i] == '*';
}

}  // namespace

inline bool Xyz_tokenizer::at_line_end(std::size_t p) const
{
    return p == text_.size() || text_[p] == '\n';
}

// Blanks, tabs, a comma, a slash, a line end, or a carriage return before one.
inline bool Xyz_tokenizer::ends_value(std::size_t p) const
{
    if (p == text_.size()) return true;
    const Char_class c = class_of(text_[p]);
    return c != value_byte && (c != carriage_return || at_line_end(p + 1));
}

void Xyz_tokenizer::begin_group(const char* what, long number)
{
    group_ = what;
    group_number_ = number;
    item_ = 0;
    after_comma_ = true;
}

void Xyz_tokenizer::end_group()
{
    // Usually the last value ends right at the line end.
    if (pos_ < text_.size() && text_[pos_] == '\n') {
        ++pos_;
        ++line_;
        return;
    }
    const std::size_t nl = text_.find('\n', pos_);
    if (nl == std::string_view::npos) {
        pos_ = text_.size();
    } else {
        pos_ = nl + 1;
        ++line_;
    }
}

inline void Xyz_tokenizer::seek_value()
{
    ++item_;
    // Usually a single blank, or none, comes before the value.
    std::size_t p = pos_;
    if (p < text_.size() && class_of(text_[p]) == blank) ++p;
    if (p < text_.size() && class_of(text_[p]) == value_byte) {
        pos_ = p;
    } else {
        seek_value_slowly();
    }
    after_comma_ = false;
    value_line_ = line_;
}

void Xyz_tokenizer::seek_value_slowly()
{
    for (;; ++pos_) {
        if (pos_ == text_.size()) {
            fail(Error_kind::end_of_file, line_, item_, "end of file before the group was complete");
        }
        const Char_class c = class_of(text_[pos_]);
        if (c == value_byte) break;
        if (c == carriage_return) {
            if (!at_line_end(pos_ + 1)) break;
        } else if (c == line_end) {
            ++line_;
        } else if (c == comma) {
            if (after_comma_) {
                fail(Error_kind::bad_value, line_, item_,
                     "missing value (a comma with no value before it) is not accepted");
            }
            after_comma_ = true;
        } else if (c == slash) {
            fail(Error_kind::bad_value, line_, item_,
                 "a slash ending the group early is not accepted");
        }
    }
}

std::string_view Xyz_tokenizer::take_plain()
{
    const std::size_t start = pos_;
    while (!ends_value(pos_)) ++pos_;
    value_text_ = text_.substr(start, pos_ - start);
    return value_text_;
}

inline void Xyz_tokenizer::take(std::size_t size)
{
    value_text_ = text_.substr(pos_, size);
    pos_ += size;
}

void Xyz_tokenizer::reject_value(const char* what) const
{
    // A repeat count is named as such rather than as a bad number.
    if (is_repeat_count(value_text_)) reject_last("repeat counts (count*value) are not accepted");
    reject_last(what);
}

// Most values are plain numbers that std::from_chars takes whole, so it is
// left to find where they end; anything else gets the full form check.
// from_chars takes no plus sign, and an integer only in digits.
std::int32_t Xyz_tokenizer::next_integer()
{
    seek_value();
    const char* const first = text_.data() + pos_;
    std::int32_t value = 0;
    const auto [ptr, ec] = std::from_chars(first, text_.data() + text_.size(), value);
    if (ec == std::errc{} && ends_value(static_cast<std::size_t>(ptr - text_.data()))) {
        take(static_cast<std::size_t>(ptr - first));
        return value;
    }
    return integer_value(take_plain());
}

std::int32_t Xyz_tokenizer::integer_value(std::string_view t) const
{
    std::size_t i = (t[0] == '+' || t[0] == '-') ? 1 : 0;
    const std::size_t digits_from = i;
    while (i < t.size() && is_digit(t[i])) ++i;
    if (i == digits_from || i != t.size()) reject_value("bad integer value");

    // from_chars takes a minus sign but not a plus sign.
    const char* first = t.data() + (t[0] == '+' ? 1 : 0);
    std::int32_t value = 0;
    const auto [ptr, ec] = std::from_chars(first, t.data() + t.size(), value);
    if (ec == std::errc::result_out_of_range) reject_last("integer value does not fit in 32 bits");
    if (ec != std::errc{} || ptr != t.data() + t.size()) reject_value("bad integer value");
    return value;
}

double Xyz_tokenizer::next_real()
{
    seek_value();
    // Of the forms from_chars takes beyond ours, inf and nan are the only
    // ones it turns into a value that is not finite (a far exponent is out
    // of range instead); a D exponent stops it early.
    const char* const first = text_.data() + pos_;
    double value = 0.0;
    const auto [ptr, ec] = std::from_chars(first, text_.data() + text_.size(), value);
    if (ec == std::errc{} && std::isfinite(value) && ends_value(static_cast<std::size_t>(ptr - text_.data()))) {
        take(static_cast<std::size_t>(ptr - first));
        return value;
    }
    return real_value(take_plain());
}

double Xyz_tokenizer::real_value(std::string_view t) const
{

    // Check the form first: from_chars alone would also take inf, nan and
    // hexadecimal digits, and knows no D exponent.
    std::size_t i = 0;
    const bool negative = t[0] == '-';
    if (t[0] == '+' || t[0] == '-') ++i;
    const std::size_t int_from = i;
    while (i < t.size() && is_digit(t[i])) ++i;
    const std::size_t int_digits = i - int_from;
    std::size_t frac_from = i;
    if (i < t.size() && t[i] == '.') frac_from = ++i;
    while (i < t.size() && is_digit(t[i])) ++i;
    const std::size_t frac_digits = i - frac_from;
    if (int_digits + frac_digits == 0) reject_value("bad real value");

    std::size_t exp_letter = std::string_view::npos;
    long long exponent = 0;
    if (i < t.size() && (t[i] == 'E' || t[i] == 'e' || t[i] == 'D' || t[i] == 'd')) {
        exp_letter = i++;
        const bool exp_negative = i < t.size() && t[i] == '-';
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
        const std::size_t exp_from = i;
        for (; i < t.size() && is_digit(t[i]); ++i) {
            // Saturate: only the sign of a far exponent matters below.
            if (exponent < 1'000'000) exponent = exponent * 10 + (t[i] - '0');
        }
        if (i == exp_from) reject_value("bad real value");
        if (exp_negative) exponent = -exponent;
    }
    if (i != t.size()) reject_value("bad real value");

    std::string_view number = t[0] == '+' ? t.substr(1) : t;
    if (exp_letter != std::string_view::npos) exp_letter -= t.size() - number.size();

    // A D exponent is rewritten as E in a copy; short values (all usual
    // ones) are copied to the stack.
    char small[64];
    std::string large;
    if (exp_letter != std::string_view::npos && (number[exp_letter] == 'D' || number[exp_letter] == 'd')) {
        char* copy = small;
        if (number.size() > sizeof small) {
            large.assign(number);
            copy = large.data();
        } else {
            number.copy(small, number.size());
        }
        copy[exp_letter] = 'E';
        number = std::string_view(copy, number.size());
    }

    double value = 0.0;
    const auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (ec == std::errc::result_out_of_range) {
        // Decimal exponent of the leading non-zero digit decides between
        // underflow (the nearest double is a zero) and overflow.
        std::size_t first_nonzero = 0;
        const std::string_view digits = t.substr(int_from, frac_from - int_from + frac_digits);
        long long lead = static_cast<long long>(int_digits) - 1;
        for (const char c : digits) {
            if (c == '.') continue;
            if (c != '0') break;
            ++first_nonzero;
        }
        lead -= static_cast<long long>(first_nonzero);
        if (lead + exponent < 0) return negative ? -0.0 : 0.0;
        reject_last("real value is too large for a double");
    }
    if (ec != std::errc{} || ptr != number.data() + number.size()) reject_value("bad real value");
    return value;
}

std::string Xyz_tokenizer::next_text()
{
    seek_value();
    const char quote = text_[pos_];
    if (quote != '\'' && quote != '"') {
        take_plain();
        if (is_repeat_count(value_text_)) reject_last("repeat counts (count*value) are not accepted");
        return std::string(value_text_);
    }

    const std::size_t start = pos_;
    std::string value;
    for (++pos_;; ++pos_) {
        if (at_line_end(pos_) || (text_[pos_] == '\r' && at_line_end(pos_ + 1))) {
            value_text_ = text_.substr(start, pos_ - start);
            reject_last("quoted text has no closing quote on its line");
        }
        if (text_[pos_] == quote) {
            if (pos_ + 1 < text_.size() && text_[pos_ + 1] == quote) {
                ++pos_;
            } else {
                break;
            }
        }
        value += text_[pos_];
    }
    ++pos_;
    value_text_ = text_.substr(start, pos_ - start);
    if (!ends_value(pos_)) reject_last("text follows the closing quote directly");
    return value;
}

void Xyz_tokenizer::reject_last(const std::string& what) const
{
    fail(Error_kind::bad_value, value_line_, item_, what + " " + shown(value_text_, shown_limit));
}

void Xyz_tokenizer::fail(Error_kind kind, long line, int item, const std::string& what) const
{
    std::string message = "file " + shown(filename_) + ", line " + std::to_string(line)
        + ", item " + std::to_string(item) + " of " + group_;
    if (group_number_ != 0) message += " " + std::to_string(group_number_);
    message += ": " + what + " (unit " + std::to_string(read_unit) + ")";
    throw Xyz_error(kind, std::string(filename_), read_unit, 0, line, item, message);
}

}  // namespace zorvak_crystal
