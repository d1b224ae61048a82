#include "crystal/xyz_tokenizer.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "address_space_cap.hpp"

namespace {

using zorvak_crystal::Error_kind;
using zorvak_crystal::Xyz_error;
using zorvak_crystal::Xyz_tokenizer;

struct Error_case {
    std::string text;
    Error_kind kind;
    long line;
    int item;
    std::string says;  // part of the message
};

std::ostream& operator<<(std::ostream& os, const Error_case& c)
{
    return os << "text \"" << c.text << "\"";
}

// Reads the group `types` ("i" integer, "r" real, "t" text) from `text`.
void read_group(const std::string& text, const std::string& types)
{
    Xyz_tokenizer tokens(text, "t.xyz");
    tokens.begin_group("the test group");
    for (const char type : types) {
        if (type == 'i') tokens.next_integer();
        if (type == 'r') tokens.next_real();
        if (type == 't') tokens.next_text();
    }
    tokens.end_group();
}

void expect_error(const Error_case& c, const std::string& types)
{
    try {
        read_group(c.text, types);
        ADD_FAILURE() << "wanted an error, got none";
    } catch (const Xyz_error& e) {
        EXPECT_EQ(e.kind(), c.kind) << e.what();
        EXPECT_EQ(e.line(), c.line) << e.what();
        EXPECT_EQ(e.item(), c.item) << e.what();
        EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos)
            << "wanted '" << c.says << "' in: " << e.what();
        EXPECT_EQ(e.filename(), "t.xyz");
        EXPECT_EQ(e.unit(), 101);
    }
}

// --- integers -------------------------------------------------------------

struct Integer_case {
    std::string text;
    std::int32_t value;
};

class IntegerForms : public ::testing::TestWithParam<Integer_case> {};

TEST_P(IntegerForms, ReadsValue)
{
    Xyz_tokenizer tokens(GetParam().text, "t.xyz");
    tokens.begin_group("the test group");
    EXPECT_EQ(tokens.next_integer(), GetParam().value) << "text \"" << GetParam().text << "\"";
}

const std::vector<Integer_case> integer_cases = {
    Integer_case{"42", 42}, Integer_case{"+7", 7}, Integer_case{"-7", -7},
    Integer_case{"-0", 0}, Integer_case{"007", 7},
    Integer_case{"2147483647", 2147483647},
    Integer_case{"-2147483648", -2147483647 - 1},
    Integer_case{"  \t\n\n 5 atoms", 5}, Integer_case{"5\r\n", 5},
    Integer_case{"5,6", 5}, Integer_case{"5/", 5}
};

INSTANTIATE_TEST_SUITE_P(Forms, IntegerForms, ::testing::ValuesIn(integer_cases));

class BadIntegers : public ::testing::TestWithParam<Error_case> {};

TEST_P(BadIntegers, Rejected) { expect_error(GetParam(), "i"); }

const std::vector<Error_case> bad_integer_cases = {
    Error_case{"2147483648", Error_kind::bad_value, 1, 1, "does not fit in 32 bits '2147483648'"},
    Error_case{"-2147483649", Error_kind::bad_value, 1, 1, "does not fit in 32 bits"},
    Error_case{"99999999999999999999", Error_kind::bad_value, 1, 1, "does not fit in 32 bits"},
    Error_case{"2.0", Error_kind::bad_value, 1, 1, "bad integer value '2.0'"},
    Error_case{"2e3", Error_kind::bad_value, 1, 1, "bad integer value"},
    Error_case{"\n\ntwo", Error_kind::bad_value, 3, 1, "bad integer value 'two'"},
    Error_case{"+", Error_kind::bad_value, 1, 1, "bad integer value"},
    Error_case{"0x10", Error_kind::bad_value, 1, 1, "bad integer value"},
    Error_case{"'5'", Error_kind::bad_value, 1, 1, "bad integer value"},
    Error_case{"1\r2", Error_kind::bad_value, 1, 1, "'1\\x0d2'"},
    Error_case{"3*1", Error_kind::bad_value, 1, 1, "repeat counts"},
    Error_case{"", Error_kind::end_of_file, 1, 1, "end of file"},
    Error_case{" \n \n", Error_kind::end_of_file, 3, 1, "end of file"}
};

INSTANTIATE_TEST_SUITE_P(Forms, BadIntegers, ::testing::ValuesIn(bad_integer_cases));

// --- reals ----------------------------------------------------------------

struct Real_case {
    std::string text;
    double value;
};

class RealForms : public ::testing::TestWithParam<Real_case> {};

TEST_P(RealForms, ReadsNearestDouble)
{
    Xyz_tokenizer tokens(GetParam().text, "t.xyz");
    tokens.begin_group("the test group");
    const double got = tokens.next_real();
    EXPECT_EQ(got, GetParam().value) << "text \"" << GetParam().text << "\"";
    EXPECT_EQ(std::signbit(got), std::signbit(GetParam().value)) << "text \"" << GetParam().text << "\"";
}

const std::string long_d = "0." + std::string(80, '0') + "15D81";

const std::vector<Real_case> real_cases = {
    Real_case{"1.5", 1.5}, Real_case{"+2", 2.0}, Real_case{"-0.5", -0.5},
    Real_case{"5", 5.0}, Real_case{"5.", 5.0}, Real_case{".5", 0.5},
    Real_case{"0.1", 0.1}, Real_case{"1.5D-3", 1.5e-3},
    Real_case{"1.5d-3", 1.5e-3}, Real_case{"1e5", 1e5},
    Real_case{"1E+05", 1e5}, Real_case{"-2.5D2", -250.0},
    Real_case{"-0.0", -0.0}, Real_case{"00012", 12.0},
    Real_case{"4.9e-324", std::numeric_limits<double>::denorm_min()},
    Real_case{"1.7976931348623157e308", std::numeric_limits<double>::max()},
    Real_case{"1e-400", 0.0}, Real_case{"-1e-400", -0.0},
    Real_case{"0.0001e-99999999999999999999", 0.0},
    Real_case{long_d, 1.5}, Real_case{"0.75719999999999998", 0.7572}
};

INSTANTIATE_TEST_SUITE_P(Forms, RealForms, ::testing::ValuesIn(real_cases));

class BadReals : public ::testing::TestWithParam<Error_case> {};

TEST_P(BadReals, Rejected) { expect_error(GetParam(), "r"); }

const std::vector<Error_case> bad_real_cases = {
    Error_case{"1e400", Error_kind::bad_value, 1, 1, "too large for a double '1e400'"},
    Error_case{"-1D309", Error_kind::bad_value, 1, 1, "too large"},
    Error_case{"inf", Error_kind::bad_value, 1, 1, "bad real value 'inf'"},
    Error_case{"Infinity", Error_kind::bad_value, 1, 1, "bad real value"},
    Error_case{"NaN", Error_kind::bad_value, 1, 1, "bad real value"},
    Error_case{"0x1p3", Error_kind::bad_value, 1, 1, "bad real value"},
    Error_case{"1.5.2", Error_kind::bad_value, 1, 1, "bad real value"},
    Error_case{"1e", Error_kind::bad_value, 1, 1, "bad real value"},
    Error_case{"1e+", Error_kind::bad_value, 1, 1, "bad real value"},
    Error_case{"e5", Error_kind::bad_value, 1, 1, "bad real value"},
    Error_case{".", Error_kind::bad_value, 1, 1, "bad real value"},
    Error_case{"-", Error_kind::bad_value, 1, 1, "bad real value"},
    Error_case{"1+5", Error_kind::bad_value, 1, 1, "bad real value"},
    Error_case{"1E5.0", Error_kind::bad_value, 1, 1, "bad real value"},
    Error_case{"--1", Error_kind::bad_value, 1, 1, "bad real value"},
    Error_case{"1.5q", Error_kind::bad_value, 1, 1, "bad real value '1.5q'"},
    Error_case{"3*0.0", Error_kind::bad_value, 1, 1, "repeat counts"},
    Error_case{"Lattice", Error_kind::bad_value, 1, 1, "bad real value 'Lattice'"},
    Error_case{std::string(100, '7') + "x", Error_kind::bad_value, 1, 1, "...'"}
};

INSTANTIATE_TEST_SUITE_P(Forms, BadReals, ::testing::ValuesIn(bad_real_cases));

// --- text -----------------------------------------------------------------

struct Text_case {
    std::string text;
    std::string value;
};

class TextForms : public ::testing::TestWithParam<Text_case> {};

TEST_P(TextForms, ReadsValue)
{
    Xyz_tokenizer tokens(GetParam().text, "t.xyz");
    tokens.begin_group("the test group");
    EXPECT_EQ(tokens.next_text(), GetParam().value) << "text \"" << GetParam().text << "\"";
}

const std::vector<Text_case> text_cases = {
    Text_case{"a: 1", "a:"}, Text_case{"cell:", "cell:"},
    Text_case{"'a b, c' 1", "a b, c"}, Text_case{"'it''s'", "it's"},
    Text_case{"\"say \"\"hi\"\"\"", "say \"hi\""}, Text_case{"'' 1", ""},
    Text_case{"\"it's\",", "it's"}, Text_case{"ab'c", "ab'c"},
    Text_case{"'x'\r\n", "x"}, Text_case{"1.5", "1.5"}
};

INSTANTIATE_TEST_SUITE_P(Forms, TextForms, ::testing::ValuesIn(text_cases));

class BadTexts : public ::testing::TestWithParam<Error_case> {};

TEST_P(BadTexts, Rejected) { expect_error(GetParam(), "t"); }

const std::vector<Error_case> bad_text_cases = {
    Error_case{"'open", Error_kind::bad_value, 1, 1, "no closing quote"},
    Error_case{"'open\nclose'", Error_kind::bad_value, 1, 1, "no closing quote"},
    Error_case{"\"a\"b", Error_kind::bad_value, 1, 1, "text follows the closing quote"},
    Error_case{"2*a", Error_kind::bad_value, 1, 1, "repeat counts"}
};

INSTANTIATE_TEST_SUITE_P(Forms, BadTexts, ::testing::ValuesIn(bad_text_cases));

// --- separators and groups -------------------------------------------------

struct Separator_case {
    std::string text;
};

class SeparatorForms : public ::testing::TestWithParam<Separator_case> {};

TEST_P(SeparatorForms, ThreeValues)
{
    Xyz_tokenizer tokens(GetParam().text, "t.xyz");
    tokens.begin_group("the test group");
    std::vector<int> got;
    for (int i = 0; i < 3; ++i) got.push_back(tokens.next_integer());
    EXPECT_EQ(got, (std::vector<int>{1, 2, 3})) << "text \"" << GetParam().text << "\"";
}

const std::vector<Separator_case> separator_cases = {
    Separator_case{"1 2 3"}, Separator_case{"1,2,3"}, Separator_case{"1 , 2 ,3"},
    Separator_case{"1\t2\t3"}, Separator_case{"1\r\n2\r\n3\r\n"},
    Separator_case{"1\n\n \t\r\n2 3"}, Separator_case{"1,\n2 3"},
    Separator_case{"1\n,2,3"}, Separator_case{" \t 1    2 3, 4"},
    Separator_case{"1 2 3/"}, Separator_case{"1 2 3,,,"}
};

INSTANTIATE_TEST_SUITE_P(Forms, SeparatorForms, ::testing::ValuesIn(separator_cases));

class BadSeparators : public ::testing::TestWithParam<Error_case> {};

TEST_P(BadSeparators, Rejected) { expect_error(GetParam(), "iii"); }

const std::vector<Error_case> bad_separator_cases = {
    Error_case{"1,,2,3", Error_kind::bad_value, 1, 2, "missing value"},
    Error_case{"1, ,2 3", Error_kind::bad_value, 1, 2, "missing value"},
    Error_case{"1,\n,2 3", Error_kind::bad_value, 2, 2, "missing value"},
    Error_case{",1 2 3", Error_kind::bad_value, 1, 1, "missing value"},
    Error_case{"1 2 / 3", Error_kind::bad_value, 1, 3, "slash"},
    Error_case{"1 2", Error_kind::end_of_file, 1, 3, "end of file"},
    Error_case{"1\n2\n", Error_kind::end_of_file, 3, 3, "end of file"}
};

INSTANTIATE_TEST_SUITE_P(Forms, BadSeparators, ::testing::ValuesIn(bad_separator_cases));

TEST(Groups, RestOfLineIsDroppedAndLinesAreCounted)
{
    const std::string text = "1 2 ignored 'open\n\n3\r\n4 5, x\n6";
    Xyz_tokenizer tokens(text, "t.xyz");
    tokens.begin_group("the first group");
    EXPECT_EQ(tokens.next_integer(), 1);
    EXPECT_EQ(tokens.next_integer(), 2);
    tokens.end_group();
    EXPECT_EQ(tokens.line(), 2);
    tokens.begin_group("the second group");
    EXPECT_EQ(tokens.next_integer(), 3);
    EXPECT_EQ(tokens.next_integer(), 4);
    EXPECT_EQ(tokens.item(), 2);
    EXPECT_EQ(tokens.line(), 4);
    tokens.end_group();
    tokens.begin_group("atom", 7);
    EXPECT_EQ(tokens.next_integer(), 6);
    EXPECT_EQ(tokens.consumed(), text.size());
    try {
        tokens.next_integer();
        ADD_FAILURE() << "wanted end of file";
    } catch (const Xyz_error& e) {
        EXPECT_STREQ(e.what(), "file 't.xyz', line 5, item 2 of atom 7: end of file before the "
                               "group was complete (unit 101)");
    }
}

TEST(Groups, CommaAtGroupStartIsAMissingValue)
{
    // A comma left at the end of one group must not excuse a comma that
    // opens the next one.
    Xyz_tokenizer tokens("1,\n,2", "t.xyz");
    tokens.begin_group("the first group");
    tokens.next_integer();
    tokens.end_group();
    tokens.begin_group("the second group");
    EXPECT_THROW(tokens.next_integer(), Xyz_error);
}

// --- every form through small windows --------------------------------------

// The values read for `types` by `tokens`, or the error, as text.
std::string group_outcome(Xyz_tokenizer& tokens, const std::string& types)
{
    std::ostringstream got;
    got.precision(17);
    try {
        tokens.begin_group("the test group");
        for (const char type : types) {
            if (type == 'i') got << tokens.next_integer() << " ";
            if (type == 'r') got << tokens.next_real() << " ";
            if (type == 't') got << "[" << tokens.next_text() << "] ";
        }
        tokens.end_group();
        got << "line " << tokens.line() << " consumed " << tokens.consumed();
    } catch (const Xyz_error& e) {
        got << "error " << static_cast<int>(e.kind()) << " line " << e.line() << " item " << e.item() << ": "
            << e.what();
    }
    return got.str();
}

// As above, from `text` through a window of `window` bytes (0: the whole
// text at once).
std::string group_outcome(const std::string& text, const std::string& types, std::size_t window)
{
    Xyz_tokenizer tokens(text, "t.xyz", window == 0 ? Xyz_tokenizer::default_window : window);
    return group_outcome(tokens, types);
}

TEST(EveryForm, ReadsTheSameThroughAnyWindow)
{
    // Each text of the tables above, read as each kind of value: the window's
    // edge falls at every byte of it in turn.
    std::vector<std::string> texts;
    for (const auto& c : integer_cases) texts.push_back(c.text);
    for (const auto& c : real_cases) texts.push_back(c.text);
    for (const auto& c : text_cases) texts.push_back(c.text);
    for (const auto& c : separator_cases) texts.push_back(c.text);
    for (const auto* cases : {&bad_integer_cases, &bad_real_cases, &bad_text_cases, &bad_separator_cases})
        for (const auto& c : *cases) texts.push_back(c.text);
    for (const std::string& text : texts) {
        for (const std::string types : {"i", "r", "t", "iii", "rrr", "trr"}) {
            const std::string want = group_outcome(text, types, 0);
            for (const std::size_t window : {1, 2, 3, 5})
                EXPECT_EQ(group_outcome(text, types, window), want)
                    << "text \"" << text << "\" as " << types << ", window " << window;
        }
    }
}

// --- values longer than the window -----------------------------------------

struct Long_case {
    std::string name;
    std::string text;
    std::string types;
    std::string says;  // part of the outcome
};

std::ostream& operator<<(std::ostream& os, const Long_case& c) { return os << c.name; }

const std::string many_ones(300'000, '1');
const std::string many_zeros(300'000, '0');
const std::string shown_ones = "'" + std::string(48, '1') + "...'";

class LongValues : public ::testing::TestWithParam<Long_case> {};

TEST_P(LongValues, StreamThroughAnyWindowAsReadWhole)
{
    const Long_case& c = GetParam();
    const std::string want = group_outcome(c.text, c.types, 0);
    EXPECT_NE(want.find(c.says), std::string::npos) << "wanted '" << c.says << "' in: " << want;
    for (const std::size_t window : {1, 7, 64, 200, 4096})
        EXPECT_EQ(group_outcome(c.text, c.types, window), want) << "window " << window;
}

INSTANTIATE_TEST_SUITE_P(
    Forms, LongValues,
    ::testing::Values(
        Long_case{"digits", many_ones + "\n", "i", "integer value does not fit in 32 bits " + shown_ones},
        Long_case{"zeros_then_digits", many_zeros + "2147483647 5", "ii", "2147483647 5 line 1"},
        Long_case{"digits_then_star", many_ones + "*2", "i", "repeat counts (count*value) are not accepted "
                                                                 + shown_ones},
        Long_case{"digits_then_letter", many_ones + "x", "i", "bad integer value " + shown_ones},
        Long_case{"sign_digits_then_star", "+" + many_ones + "*", "i", "bad integer value '+111"},
        Long_case{"real_past_halfway", "9007199254740993." + std::string(1'000'000, '0') + "1", "r",
                  "9007199254740994 line 1"},
        Long_case{"real_zeros_then_bad", "0." + many_zeros + "5q", "r", "bad real value '0.000"},
        Long_case{"real_too_large", many_ones + "D0", "r", "real value is too large for a double " + shown_ones},
        Long_case{"real_d_exponent", "-1" + many_zeros + "D-300000,2", "rr", "-1 2 line 1"},
        Long_case{"real_open_exponent", many_ones + "e+\r\n", "r", "bad real value " + shown_ones},
        Long_case{"digit_label", many_ones + " 1.5", "tr", "[" + std::string(128, '1') + "] 1.5 line 1"},
        Long_case{"digit_label_then_star", many_ones + "*a", "t", "repeat counts"},
        Long_case{"quoted_label", "'" + many_ones + "' 2", "ti", "[" + std::string(128, '1') + "] 2 line 1"}),
    [](const ::testing::TestParamInfo<Long_case>& info) { return info.param.name; });

// One value of `fill` bytes between `head` and `tail`, made up as it is read.
struct Made_up_value {
    std::string head;
    char fill;
    std::uint64_t fill_bytes;
    std::string tail;
    std::uint64_t given = 0;

    std::size_t operator()(char* into, std::size_t room)
    {
        const std::uint64_t fill_end = head.size() + fill_bytes;
        std::size_t n = 0;
        while (n < room) {
            if (given < head.size()) {
                into[n++] = head[given++];
            } else if (given < fill_end) {
                const auto run = static_cast<std::size_t>(std::min<std::uint64_t>(room - n, fill_end - given));
                std::memset(into + n, fill, run);
                n += run;
                given += run;
            } else if (given - fill_end < tail.size()) {
                into[n++] = tail[given++ - fill_end];
            } else {
                break;
            }
        }
        return n;
    }
};

struct Stream_case {
    std::string name;
    Made_up_value value;
    std::string types;
    std::string says;
};

std::ostream& operator<<(std::ostream& os, const Stream_case& c) { return os << c.name; }

class LongValuesDeathTest : public ::testing::TestWithParam<Stream_case> {};

TEST_P(LongValuesDeathTest, KeepTheWindowItsSize)
{
    // 100 MB in one value, read with the address space capped 32 MiB above
    // what is in use: holding the value whole would take 128 MiB.
    const auto child = [this] {
        zorvak_test::cap_address_space(std::size_t(32) << 20);
        Xyz_tokenizer tokens(GetParam().value, "t.xyz");
        const std::string got = group_outcome(tokens, GetParam().types);
        if (got.find(GetParam().says) != std::string::npos) std::_Exit(0);
        std::fprintf(stderr, "%s\n", got.c_str());
        std::_Exit(1);
    };
    EXPECT_EXIT(child(), ::testing::ExitedWithCode(0), "");
}

constexpr std::uint64_t hundred_mb = 100'000'000;

INSTANTIATE_TEST_SUITE_P(
    Forms, LongValuesDeathTest,
    ::testing::Values(
        Stream_case{"digits", {"", '1', hundred_mb, "\n"}, "i", "integer value does not fit in 32 bits"},
        Stream_case{"zeros_after_point", {"0.", '0', hundred_mb, "1e100000001\n"}, "r", "1 line 2"},
        Stream_case{"digit_label", {"", '7', hundred_mb, " 2\n"}, "ti", "] 2 line 2"}),
    [](const ::testing::TestParamInfo<Stream_case>& info) { return info.param.name; });

// --- a whole line of numbers at once --------------------------------------

struct Line_case {
    std::string text;  // one group, before the next line "9 0 0 0"
    bool taken;
};

std::ostream& operator<<(std::ostream& os, const Line_case& c) { return os << "line \"" << c.text << "\""; }

// The group read value by value, as for a group the quick way leaves.
std::string values_of(Xyz_tokenizer& tokens)
{
    std::ostringstream got;
    got.precision(17);
    try {
        tokens.begin_group("atom", 1);
        got << tokens.next_integer();
        for (int i = 0; i < 3; ++i) {
            const double v = tokens.next_real();
            got << " " << v << (std::signbit(v) ? "(-)" : "");
        }
        tokens.end_group();
        got << " line " << tokens.line() << " consumed " << tokens.consumed();
    } catch (const Xyz_error& e) {
        got << "error: " << e.what();
    }
    return got.str();
}

class NumberLines : public ::testing::TestWithParam<Line_case> {};

// A tokenizer past a first group, as the reader is when the atoms come:
// the window then holds the text.
void pass_first_group(Xyz_tokenizer& tokens)
{
    tokens.begin_group("the count group");
    tokens.next_integer();
    tokens.end_group();
}

// The atom line after a first group, read value by value.
std::string read_by_values(const std::string& text)
{
    Xyz_tokenizer tokens(text, "t.xyz");
    pass_first_group(tokens);
    return values_of(tokens);
}

// A line take_number_line took, written as values_of writes it.
std::string line_taken(const Xyz_tokenizer& tokens, const Xyz_tokenizer::Number_line& line)
{
    std::ostringstream got;
    got.precision(17);
    got << line.integer;
    for (const double v : line.reals) got << " " << v << (std::signbit(v) ? "(-)" : "");
    got << " line " << tokens.line() << " consumed " << tokens.consumed();
    return got.str();
}

TEST_P(NumberLines, TakenAsValueByValueOrLeftAsTheyWere)
{
    const std::string text = "1\n" + GetParam().text + "\n9 0 0 0\n";
    const std::string want = read_by_values(text);
    Xyz_tokenizer tokens(text, "t.xyz");
    pass_first_group(tokens);
    Xyz_tokenizer::Number_line line{};
    const bool taken = tokens.take_number_line(line, 1, 118);
    EXPECT_EQ(taken, GetParam().taken);
    if (taken) {
        EXPECT_EQ(line_taken(tokens, line), want);
    } else {
        // Nothing taken: read value by value it gives what it always gave.
        EXPECT_EQ(tokens.line(), 2);
        EXPECT_EQ(tokens.consumed(), 2u);
        EXPECT_EQ(values_of(tokens), want);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Forms, NumberLines,
    ::testing::Values(
        Line_case{"8 0.0 0.0 0.1174", true}, Line_case{"79 -12.345678901234567 3.2150e+01 1D2", true},
        Line_case{"  8\t1.5\t-2.5E3\t.5", true}, Line_case{"8,1,2,3", true}, Line_case{"8 , 1 ,2,\t3", true},
        Line_case{"8      -12.34567890     23.45678901", false},  // the third real is on the next line
        Line_case{"8      -12.34567890     23.45678901      0.5", true},
        Line_case{"8 1 2 3 extra words, 'open", true}, Line_case{"8 1 2 3\r", true},
        Line_case{"8 1 2 3/ a slash after the last value", true}, Line_case{"8 1 2 3,", true},
        Line_case{"1 -0.0 +.5 5.", true}, Line_case{"118 +1 -1 1e-400", true}, Line_case{"008 1 2 3", true},
        Line_case{"8 0.0040691407478945507 2 3", true},
        // Left to the value-by-value reading, which judges them.
        Line_case{"119 1 2 3", false}, Line_case{"0 1 2 3", false}, Line_case{"-8 1 2 3", false},
        Line_case{"+8 1 2 3", true}, Line_case{"8 1 2", false}, Line_case{",8 1 2 3", false},
        Line_case{"8 1,,2 3", false}, Line_case{"8 1 / 2 3", false}, Line_case{"8 1 2 3e", false},
        Line_case{"8 1 2 3\r4", false}, Line_case{"8 1 2 inf", false}, Line_case{"8 1 2 1e400", false},
        Line_case{"8 '1' 2 3", false}, Line_case{"8 1 2 3*0", false}, Line_case{"8.0 1 2 3", false},
        Line_case{"8 1 2 1234567890123456789012", false}, Line_case{"8 1\r2 3 4", false},
        Line_case{"2147483648 1 2 3", false}, Line_case{"8 1 2 3" + std::string(1, '\0'), false},
        Line_case{"\n8 1 2 3", false}, Line_case{"8\n1 2 3", false}, Line_case{"8 1 2 \"3\"", false},
        // Lines the masks of 64 bytes take or leave: values past a blank
        // before the line end belong to the next line, a carriage return
        // ends the last, and a line longer than the masks is read value by
        // value.
        Line_case{"8 1 2 ", false}, Line_case{"8 1 \t", false}, Line_case{"8 1 2 \r", false},
        Line_case{"8 1 2 -12.345678901234567\r", true}, Line_case{"8\t1.5 \t2.5\t\t3.5", true},
        Line_case{"8 1 2 3 4 5", true}, Line_case{"8 1.5e+3 -2.5E-03 7d2", true}, Line_case{"8 5. .5 -.5e1", true},
        Line_case{"8 1234.5 0.12345678901234567 1.5e0001", true}, Line_case{"8 1..5 2 3", false},
        Line_case{"8 1.5.5 2 3", false}, Line_case{"8 1e5e5 2 3", false}, Line_case{"8 +-1 2 3", false},
        Line_case{"8 1e+-5 2 3", false}, Line_case{"8 1 2 3e+", false}, Line_case{"8 1 2 +", false},
        Line_case{"8" + std::string(40, ' ') + "1 2 -12.345678901234567", true},
        Line_case{"8" + std::string(60, ' ') + "1 2 3", true},
        Line_case{"79 -12.345678901234567 -12.345678901234567 -1.2345678901234567", true}));

// Lines put together at random from values, and the separators between
// them, that the format allows or refuses: taken at once or not, each must
// read as it reads value by value.
TEST(NumberLines, RandomLinesReadAsValueByValue)
{
    const std::string values[] = {"8",     "79",   "+8",        "119",   "-12.345678901234567", "3.2150e+01",
                                  "1D2",   ".5",   "5.",        "-0.0",  "0.0040691407478945507", "1e-400",
                                  "1e400", "1.5q", "1,5",       "inf",   "12345678901234567890.5", "'3'",
                                  "3*0",   "-",    "1.5e+-3",   "00008", "1.5\r",                "2.5e3\r"};
    const std::string separators[] = {" ", " ", " ", "  ", "\t", " \t ", ",", " , ", "\r", "\n", " \n", "/"};
    std::mt19937 random(11);
    for (int n = 0; n < 20000; ++n) {
        std::string line = random() % 8 == 0 ? " " : "";
        const int count = 3 + static_cast<int>(random() % 3);
        for (int k = 0; k < count; ++k) {
            if (k > 0) line += random() % 4 == 0 ? separators[random() % std::size(separators)] : " ";
            line += k == 0 && random() % 2 == 0 ? "8" : values[random() % std::size(values)];
        }
        const std::string text = "1\n" + line + "\n9 0 0 0\n";
        const std::string want = read_by_values(text);
        Xyz_tokenizer tokens(text, "t.xyz");
        pass_first_group(tokens);
        Xyz_tokenizer::Number_line taken{};
        if (tokens.take_number_line(taken, 1, 118)) {
            EXPECT_EQ(line_taken(tokens, taken), want) << "line \"" << line << "\"";
        } else {
            EXPECT_EQ(values_of(tokens), want) << "line \"" << line << "\"";
        }
    }
}

TEST(NumberLines, ALineTheWindowDoesNotHoldWholeIsLeft)
{
    // The line end is past the window's end, or the text ends first: the
    // value-by-value reading waits for more, or reads the end of the text.
    const std::pair<std::string, std::size_t> cases[] = {
        {"1\n8 1 2 3", 64}, {"1\n8 1 2 3 more", 64}, {"1\n8 1 2 3\n", 4}, {"1\n8 1 2 3\n", 7}, {"1\n8 1 2 3\n", 9}};
    for (const auto& [text, window] : cases) {
        {
            Xyz_tokenizer tokens(text, "t.xyz", window);
            pass_first_group(tokens);
            Xyz_tokenizer::Number_line line{};
            EXPECT_EQ(tokens.take_number_line(line, 1, 118), false) << text << ", window " << window;
            Xyz_tokenizer by_values(text, "t.xyz", window);
            pass_first_group(by_values);
            EXPECT_EQ(values_of(tokens), values_of(by_values));
        }
    }
}

}  // namespace
