// The token rules of the XYZ format.  Values are separated by blanks (tabs,
// and a carriage return before a line end, count as blanks) or by one comma
// with optional blanks; a group of values continues over lines until it is
// complete, and then the rest of the line holding its last value is dropped.
//
// Forms a fresh record cannot honour are refused as bad values: a slash
// ending a group early, repeat counts such as 3*0.0, and null values (two
// commas in a row, or a comma opening a group).
//
// The text is read through a Text_window, refilled as the values are taken.
// A value that reaches the end of the window is never taken cut: more text
// is read first, and only the end of the text itself ends a value there.  A
// value longer than the window streams through it: its first bytes are set
// aside for messages, and the rest is judged as it passes (Value_scan).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "crystal/xyz_error.hpp"
#include "crystal/xyz_value_scan.hpp"
#include "crystal/xyz_window.hpp"

namespace zorvak_crystal {

class Xyz_tokenizer {
public:
    // The text, a piece at a time, and the window's size: see Text_window.
    using Source = Text_window::Source;
    static constexpr std::size_t default_window = Text_window::default_size;

    // Reads the text from `source` through a window of `window` bytes (at
    // least 1); `filename` only names the text in errors.
    Xyz_tokenizer(Source source, std::string_view filename, std::size_t window = default_window);
    // Text already in memory, which must outlive the tokenizer, through a
    // window of at most `window` bytes (a whole short text at once).
    Xyz_tokenizer(std::string_view text, std::string_view filename, std::size_t window = default_window);

    // Starts a group at the current line.  `what` names it in errors
    // ("the cell group"); a non-zero `number` follows it ("atom 3").
    void begin_group(const char* what, long number = 0)
    {
        group_ = what;
        group_number_ = number;
        item_ = 0;
        after_comma_ = true;
    }
    // Drops the rest of the line holding the group's last value.
    void end_group()
    {
        // Usually the last value ends right at the line end (LF or CR LF).
        const std::size_t cr = pos_ < window_.end() && data()[pos_] == '\r' ? 1 : 0;
        if (pos_ + cr < window_.end() && data()[pos_ + cr] == '\n') {
            pos_ += cr + 1;
            ++line_;
        } else {
            end_group_slowly();
        }
    }

    // The next value of the group as an integer, or as a real, in the forms
    // xyz_number.hpp gives.
    std::int32_t next_integer();
    double next_real();
    // A group of an integer within [lowest, highest] and three reals, in the
    // form nearly every line of a file has: all on one line that the window
    // holds, each value after the one before it past blanks or one comma
    // among blanks.  Takes the group and drops the rest of its line, as
    // next_integer, next_real and end_group would; anything else it leaves
    // as it was, for them to read and judge, and returns false.  Needs no
    // begin_group.
    struct Number_line {
        std::int32_t integer;
        std::array<double, 3> reals;
    };
    bool take_number_line(Number_line& line, std::int32_t lowest, std::int32_t highest);

    // The next value as text, plain or quoted ('...' or "...", a doubled
    // quote inside standing for one), cut to its first 128 bytes.  Quoted
    // text ends on its own line.
    std::string next_text();

    // Line (from 1) of the current position.
    long line() const { return line_; }
    // Item (from 1) of the value last taken within the group.
    int item() const { return item_; }
    // Bytes of the text taken or passed over so far.
    std::uint64_t consumed() const { return window_.passed() + pos_; }

    // Throws bad_value for the value last taken: its line, item and text.
    [[noreturn]] void reject_last(const std::string& what) const;

private:
    // What kind of value is being taken, if any: it decides what of the
    // window must be kept when more text is read.
    enum class Taking { nothing, integer, real, plain_text, quoted_text };

    // Reads more text after the window's end, dropping what is no longer
    // needed (everything before the value being taken); false once the text
    // has ended.  Offsets stay valid, pointers into the window do not.
    bool more();
    // Passes the bytes of the value set aside that the window holds through
    // the scan, failing at once where they already decide.
    void scan_value_piece();
    // The byte `ahead` bytes after the current position, or -1 past the end
    // of the text.
    int peek(std::size_t ahead);
    // Whether a line end follows `ahead` bytes on, or the text ends there.
    bool line_ends_at(std::size_t ahead);
    // Whether a value ends at the current position, reading more if needed.
    bool value_ends_here();
    // Whether a value ending at p in the window is known to end there
    // without reading more: the quick parsers' test.
    bool ends_value_within(const char* p) const;

    // take_number_line for values separated by blanks whose last starts
    // within 64 bytes, and for any other line; the line's end after its
    // last value.
    bool take_short_number_line(Number_line& line, std::int32_t lowest, std::int32_t highest);
    bool take_number_line_by_values(Number_line& line, std::int32_t lowest, std::int32_t highest);
    bool end_number_line(const char* last_value_end);

    // end_group for a line that goes on after the group's last value.
    void end_group_slowly();
    // Passes separators to the start of the next value and counts its item.
    void seek_value();
    void seek_value_slowly();
    // Takes the plain (unquoted) value at the current position.
    void take_plain(Taking kind);
    // Keeps only the first bytes of a value too long for the window.
    void set_value_aside();
    // Takes the next `size` bytes as the value.
    void take(std::size_t size);
    std::string_view value_text() const;
    // Takes the value at the current position, checks its form in full and
    // converts it: the paths for all that the quick ones leave.
    std::int32_t integer_value();
    double real_value();
    // As reject_last, but a value in the form of a repeat count (3*0.0) is
    // named as one rather than by `what`.
    [[noreturn]] void reject_naming_repeats(const char* what) const;
    [[noreturn]] void fail(Error_kind kind, long line, int item, const std::string& what) const;

    char* data() { return window_.data(); }
    const char* data() const { return window_.data(); }

    std::string_view filename_;
    Text_window window_;
    std::size_t pos_ = 0;  // in the window
    long line_ = 1;

    const char* group_ = "";
    long group_number_ = 0;
    int item_ = 0;
    // A comma was passed since the last value; at a group's start a first
    // comma would already stand for a missing value.
    bool after_comma_ = true;

    // Lines take_number_line reads value by value before it tries the
    // masks again.
    int lines_by_values_ = 0;

    // The value being or last taken.
    struct Value {
        Taking taking = Taking::nothing;  // nothing once it is taken
        long line = 1;                    // of its first byte
        // [from, to) of the window, or, when it was too long to keep, its
        // first bytes in `aside`.
        std::size_t from = 0;
        std::size_t to = 0;
        bool set_aside = false;
        std::string aside;
        // All of a plain value taken by the slow paths, as it passed.
        Value_scan scan;
    };
    Value value_;
};

inline bool Xyz_tokenizer::take_number_line(Number_line& line, std::int32_t lowest, std::int32_t highest)
{
    // Inline, so that the reader's loop calls the masks' reading directly.
    // After a line the masks do not take, the next few are read value by
    // value: a file separated otherwise (by commas, say) pays for the
    // masks only now and then.
    if (lines_by_values_ == 0) {
        if (take_short_number_line(line, lowest, highest)) return true;
        lines_by_values_ = 3;
    } else {
        --lines_by_values_;
    }
    return take_number_line_by_values(line, lowest, highest);
}

}  // namespace zorvak_crystal
