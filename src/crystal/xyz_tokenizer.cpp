#include "crystal/xyz_tokenizer.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <utility>

#include "crystal/xyz_number.hpp"
#include "crystal/message_text.hpp"

namespace zorvak_crystal {

namespace {

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

// A value ending at p is known to end there from the window alone, without
// reading on: the zero after the text is a value byte.
bool ends_in_window(const char* p)
{
    const Char_class k = class_of(*p);
    return k != value_byte && (k != carriage_return || p[1] == '\n');
}

// Offending text is shown up to this many bytes.
constexpr std::size_t shown_limit = 48;
// A text value is cut to this many bytes; labels are discarded anyway.
constexpr std::size_t text_limit = 128;
// Of a value too long for the window, this much is kept: enough for a text
// value and for any message.
constexpr std::size_t aside_size = std::max(text_limit, shown_limit + 1);

constexpr const char* repeat_message = "repeat counts (count*value) are not accepted";

}  // namespace

Xyz_tokenizer::Xyz_tokenizer(Source source, std::string_view filename, std::size_t window)
    : filename_(filename), window_(std::move(source), filename, window)
{
}

Xyz_tokenizer::Xyz_tokenizer(std::string_view text, std::string_view filename, std::size_t window)
    : filename_(filename), window_(text, filename, window)
{
}

bool Xyz_tokenizer::more()
{
    if (window_.last_block()) return false;
    if (value_.taking != Taking::nothing) {
        // A value filling the whole window is not kept whole: its first
        // bytes say all that a message shows, and the rest passes through
        // the scan, which needs none of it again.
        if (window_.full() && !value_.set_aside && value_.from == 0 && pos_ >= aside_size) set_value_aside();
        if (value_.set_aside) scan_value_piece();
    }
    // A window too small for the first bytes of a value set aside (or for
    // the two bytes a look ahead needs) has nothing to drop, and grows.
    const std::size_t keep_from = value_.taking == Taking::nothing || value_.set_aside ? pos_ : value_.from;
    pos_ -= keep_from;
    value_.from -= std::min(value_.from, keep_from);
    value_.to -= std::min(value_.to, keep_from);
    return window_.refill(keep_from, line_);
}

inline int Xyz_tokenizer::peek(std::size_t ahead)
{
    while (pos_ + ahead >= window_.end()) {
        if (!more()) return -1;
    }
    return static_cast<unsigned char>(data()[pos_ + ahead]);
}

// A line end follows `ahead` bytes on, or the text ends there.
inline bool Xyz_tokenizer::line_ends_at(std::size_t ahead)
{
    const int c = peek(ahead);
    return c < 0 || c == '\n';
}

// Blanks, tabs, a comma, a slash, a line end, or a carriage return before one.
inline bool Xyz_tokenizer::value_ends_here()
{
    const int c = peek(0);
    if (c < 0) return true;
    const Char_class k = class_of(static_cast<char>(c));
    return k != value_byte && (k != carriage_return || line_ends_at(1));
}

inline bool Xyz_tokenizer::ends_value_within(const char* p) const
{
    const char* const end = data() + window_.end();
    if (p >= end) return window_.last_block();
    const Char_class k = class_of(*p);
    if (k == value_byte) return false;
    if (k != carriage_return) return true;
    return p + 1 < end ? p[1] == '\n' : window_.last_block();
}

void Xyz_tokenizer::scan_value_piece()
{
    if (value_.taking == Taking::quoted_text) return;
    value_.scan.feed(std::string_view(data() + value_.from, pos_ - value_.from));
    // A number that can no longer be good fails here, without reading on,
    // and so does text in the form of a repeat count.
    if (value_.taking == Taking::integer && !value_.scan.may_be_integer()) reject_naming_repeats("bad integer value");
    if (value_.taking == Taking::real && !value_.scan.may_be_real()) reject_naming_repeats("bad real value");
    if (value_.taking == Taking::plain_text && value_.scan.is_repeat_count()) reject_last(repeat_message);
}

void Xyz_tokenizer::set_value_aside()
{
    value_.aside.assign(data() + value_.from, aside_size);
    value_.set_aside = true;
}

std::string_view Xyz_tokenizer::value_text() const
{
    if (value_.set_aside) return value_.aside;
    return std::string_view(data() + value_.from, value_.to - value_.from);
}

void Xyz_tokenizer::end_group_slowly()
{
    for (;;) {
        const void* nl = std::memchr(data() + pos_, '\n', window_.end() - pos_);
        if (nl != nullptr) {
            pos_ = static_cast<std::size_t>(static_cast<const char*>(nl) - data()) + 1;
            ++line_;
            return;
        }
        pos_ = window_.end();
        if (!more()) return;
    }
}

inline void Xyz_tokenizer::seek_value()
{
    ++item_;
    // Usually blanks, or one comma among blanks, come before the value.
    const char* const text = data();
    const std::size_t end = window_.end();
    std::size_t p = pos_;
    while (p < end && class_of(text[p]) == blank) ++p;
    if (p < end && text[p] == ',' && !after_comma_) {
        ++p;
        while (p < end && class_of(text[p]) == blank) ++p;
    }
    if (p < end && class_of(text[p]) == value_byte) {
        pos_ = p;
    } else {
        seek_value_slowly();
    }
    after_comma_ = false;
    value_.line = line_;
    value_.from = pos_;
    value_.set_aside = false;
}

void Xyz_tokenizer::seek_value_slowly()
{
    for (;; ++pos_) {
        const int c = peek(0);
        if (c < 0) fail(Error_kind::end_of_file, line_, item_, "end of file before the group was complete");
        const Char_class k = class_of(static_cast<char>(c));
        if (k == value_byte) break;
        if (k == carriage_return) {
            if (!line_ends_at(1)) break;
        } else if (k == line_end) {
            ++line_;
        } else if (k == comma) {
            if (after_comma_) {
                fail(Error_kind::bad_value, line_, item_,
                     "missing value (a comma with no value before it) is not accepted");
            }
            after_comma_ = true;
        } else if (k == slash) {
            fail(Error_kind::bad_value, line_, item_, "a slash ending the group early is not accepted");
        }
    }
}

void Xyz_tokenizer::take_plain(Taking kind)
{
    value_.taking = kind;
    value_.scan.reset();
    while (!value_ends_here()) ++pos_;
    value_.to = pos_;
    // All of the value, or what the window still holds of one set aside.
    value_.scan.feed(std::string_view(data() + value_.from, value_.to - value_.from));
    value_.taking = Taking::nothing;
}

inline void Xyz_tokenizer::take(std::size_t size)
{
    pos_ += size;
    value_.to = pos_;
}

void Xyz_tokenizer::reject_naming_repeats(const char* what) const
{
    if (value_.scan.is_repeat_count()) reject_last(repeat_message);
    reject_last(what);
}

// Most values are plain numbers that the quick parser takes whole, so it is
// left to find where they end; anything else gets the full form check.
std::int32_t Xyz_tokenizer::next_integer()
{
    seek_value();
    const auto ends = [this](const char* p) { return ends_value_within(p); };
    std::int32_t value = 0;
    if (const char* end = quick_integer(data() + pos_, value, ends)) {
        take(static_cast<std::size_t>(end - data()) - pos_);
        return value;
    }
    return integer_value();
}

std::int32_t Xyz_tokenizer::integer_value()
{
    take_plain(Taking::integer);
    if (!value_.scan.is_integer()) reject_naming_repeats("bad integer value");
    const std::optional<std::int32_t> value = value_.scan.integer_value();
    if (!value) reject_last("integer value does not fit in 32 bits");
    return *value;
}

double Xyz_tokenizer::next_real()
{
    seek_value();
    const auto ends = [this](const char* p) { return ends_value_within(p); };
    double value = 0.0;
    if (const char* end = quick_real(data() + pos_, value, ends)) {
        take(static_cast<std::size_t>(end - data()) - pos_);
        return value;
    }
    return real_value();
}

double Xyz_tokenizer::real_value()
{
    take_plain(Taking::real);
    if (!value_.scan.is_real()) reject_naming_repeats("bad real value");
    // The nearest double of a value too small for one is a zero.
    const std::optional<double> value = value_.scan.real_value();
    if (!value) reject_last("real value is too large for a double");
    return *value;
}

namespace {

// The quick parsers for a value that must end at `end`: for the forms the
// plain ones leave, which few files have, so kept out of their way.
[[gnu::cold]] bool quick_integer_ending_at(const char* first, const char* end, std::int32_t& value)
{
    return quick_integer(first, value, [end](const char* p) { return p == end; }) != nullptr;
}

[[gnu::cold]] bool quick_real_ending_at(const char* first, const char* end, double& value)
{
    return quick_real(first, value, [end](const char* p) { return p == end; }) != nullptr;
}

}  // namespace

// The values' places and digits come from masks of the line's bytes, not
// each from the end of the value before it, so the four numbers are read
// independently, in parallel as the processor sees fit.  Only blanks
// separate the values here, and the last starts on the line; any other
// line is left to the reading value by value.  A value in another form
// than the plain parsers take goes to the quick ones, which must then end
// it where the masks do.
bool Xyz_tokenizer::take_short_number_line(Number_line& line, std::int32_t lowest, std::int32_t highest)
{
    const char* const start = data() + pos_;
    const word_scan::Line_bytes bytes = line_bytes(start);
    const std::uint64_t values = ~bytes.separators;
    // The k-th value's start and the separator after it are the lowest bits
    // of starts[k] and ends[k].  Ends alternate with starts, the first start
    // coming first, so four ends mean four values.
    std::uint64_t starts[4] = {values & ~(values << 1)};
    std::uint64_t ends[4] = {~values & (values << 1)};
    for (int k = 1; k < 4; ++k) {
        starts[k] = starts[k - 1] & (starts[k - 1] - 1);
        ends[k] = ends[k - 1] & (ends[k - 1] - 1);
    }
    if (ends[3] == 0) return false;
    unsigned first[4];
    unsigned after[4];
    for (int k = 0; k < 4; ++k) {
        first[k] = static_cast<unsigned>(__builtin_ctzll(starts[k]));
        after[k] = static_cast<unsigned>(__builtin_ctzll(ends[k]));
    }
    // All four on one line: the last may end it.
    if ((bytes.line_ends & ((std::uint64_t(1) << first[3]) - 1)) != 0) return false;

    const auto size = [&](int k) { return after[k] - first[k]; };
    const auto digits = [&](int k) { return bytes.digits >> first[k]; };
    if (!plain_integer(start + first[0], size(0), digits(0), line.integer)
        && !quick_integer_ending_at(start + first[0], start + after[0], line.integer)) {
        return false;
    }
    if (line.integer < lowest || line.integer > highest) return false;
    // A carriage return before the line end ends the last value too.
    if (start[after[3]] == '\n' && start[after[3] - 1] == '\r') --after[3];
    for (int k = 1; k < 4; ++k) {
        double& real = line.reals[k - 1];
        if (!plain_real(start + first[k], size(k), digits(k), real)
            && !quick_real_ending_at(start + first[k], start + after[k], real)) {
            return false;
        }
    }
    return end_number_line(start + after[3]);
}

bool Xyz_tokenizer::take_number_line_by_values(Number_line& line, std::int32_t lowest, std::int32_t highest)
{
    const char* const text = data();
    const auto ends = [](const char* p) { return ends_in_window(p); };
    // Blanks only before the first value: a comma there stands for a
    // missing one.
    const char* p = quick_integer(skip_blanks(text + pos_), line.integer, ends);
    if (p == nullptr || line.integer < lowest || line.integer > highest) return false;
    for (double& real : line.reals) {
        p = skip_blanks(p);
        if (*p == ',') p = skip_blanks(p + 1);
        p = quick_real(p, real, ends);
        if (p == nullptr) return false;
    }
    return end_number_line(p);
}

// Drops the rest of the line after its last value, p: false when the line
// goes on past the window's end.
bool Xyz_tokenizer::end_number_line(const char* p)
{
    // Mostly the line ends right after the last value.
    const char* const text = data();
    const char* line_end = p;
    if (*p != '\n') {
        const char* const end = text + window_.end();
        line_end = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
        if (line_end == nullptr) return false;
    }
    pos_ = static_cast<std::size_t>(line_end - text) + 1;
    ++line_;
    item_ = 4;
    after_comma_ = false;
    return true;
}

std::string Xyz_tokenizer::next_text()
{
    seek_value();
    const char quote = data()[pos_];
    if (quote != '\'' && quote != '"') {
        take_plain(Taking::plain_text);
        if (value_.scan.is_repeat_count()) reject_last(repeat_message);
        return std::string(value_text().substr(0, text_limit));
    }

    value_.taking = Taking::quoted_text;
    std::string value;
    for (++pos_;; ++pos_) {
        const int c = peek(0);
        if (c < 0 || c == '\n' || (c == '\r' && line_ends_at(1))) {
            value_.to = pos_;
            reject_last("quoted text has no closing quote on its line");
        }
        if (c == quote) {
            if (peek(1) != quote) break;
            ++pos_;
        }
        if (value.size() < text_limit) value += static_cast<char>(c);
    }
    ++pos_;
    value_.to = pos_;
    if (!value_ends_here()) reject_last("text follows the closing quote directly");
    value_.taking = Taking::nothing;
    return value;
}

void Xyz_tokenizer::reject_last(const std::string& what) const
{
    fail(Error_kind::bad_value, value_.line, item_, what + " " + shown(value_text(), shown_limit));
}

void Xyz_tokenizer::fail(Error_kind kind, long line, int item, const std::string& what) const
{
    std::string where = group_;
    if (group_number_ != 0) where += " " + std::to_string(group_number_);
    throw Xyz_error::at_item(kind, std::string(filename_), line, item, where, what);
}

}  // namespace zorvak_crystal
