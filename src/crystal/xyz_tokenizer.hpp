// The token rules of the XYZ format.  Values are separated by blanks (tabs,
// and a carriage return before a line end, count as blanks) or by one comma
// with optional blanks; a group of values continues over lines until it is
// complete, and then the rest of the line holding its last value is dropped.
//
// Forms a fresh record cannot honour are refused as bad values: a slash
// ending a group early, repeat counts such as 3*0.0, and null values (two
// commas in a row, or a comma opening a group).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "crystal/xyz_error.hpp"

namespace zorvak_crystal {

class Xyz_tokenizer {
public:
    // `text` is the whole file; `filename` only names it in errors.
    Xyz_tokenizer(std::string_view text, std::string_view filename)
        : text_(text), filename_(filename) {}

    // Starts a group at the current line.  `what` names it in errors
    // ("the cell group"); a non-zero `number` follows it ("atom 3").
    void begin_group(const char* what, long number = 0);
    // Drops the rest of the line holding the group's last value.
    void end_group();

    // The next value of the group as a 32-bit integer: optional sign, digits.
    std::int32_t next_integer();
    // The next value as a real: optional sign, digits with an optional
    // point, optional exponent of E or D in either case.  Plain decimal only:
    // no Inf, NaN or hexadecimal.
    double next_real();
    // The next value as text, plain or quoted ('...' or "...", a doubled
    // quote inside standing for one).  Quoted text ends on its own line.
    std::string next_text();

    // Line (from 1) of the current position.
    long line() const { return line_; }
    // Item (from 1) of the value last taken within the group.
    int item() const { return item_; }
    // Bytes not yet read.
    std::size_t remaining() const { return text_.size() - pos_; }

    // Throws bad_value for the value last taken: its line, item and text.
    [[noreturn]] void reject_last(const std::string& what) const;
    // As reject_last, naming a repeat count as such.
    [[noreturn]] void reject_value(const char* what) const;
    // Throws an error of `kind` at `line`, `item` with `what` as the detail.
    [[noreturn]] void fail(Error_kind kind, long line, int item, const std::string& what) const;

private:
    // Passes separators to the start of the next value and counts its item.
    void seek_value();
    void seek_value_slowly();
    // The plain (unquoted) value at the current position.
    std::string_view take_plain();
    // Takes the next `size` bytes as the value.
    void take(std::size_t size);
    // The full form check and conversion of a value already taken.
    std::int32_t integer_value(std::string_view t) const;
    double real_value(std::string_view t) const;
    bool at_line_end(std::size_t p) const;
    bool ends_value(std::size_t p) const;

    std::string_view text_;
    std::string_view filename_;
    std::size_t pos_ = 0;
    long line_ = 1;

    const char* group_ = "";
    long group_number_ = 0;
    int item_ = 0;
    // A comma was passed since the last value; at a group's start a first
    // comma would already stand for a missing value.
    bool after_comma_ = true;
    long value_line_ = 1;
    std::string_view value_text_;
};

}  // namespace zorvak_crystal
