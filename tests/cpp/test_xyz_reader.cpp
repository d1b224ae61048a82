#include "crystal/crystal.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "crystal/xyz_reader.hpp"
#include "address_space_cap.hpp"

namespace {

using namespace zorvak_crystal;

const std::string data = ZORVAK_TEST_DATA;

std::string symbols(const Crystal& c)
{
    std::string s;
    for (const Symbol& sym : *c.name) s.append(sym.data(), sym.size()).append("|");
    return s;
}

// A fresh directory under the test temp dir for files a test makes.
std::string scratch_dir(const std::string& name)
{
    const std::string dir = ::testing::TempDir() + "zorvak_reader_" + name + "/";
    std::string cmd = "mkdir -p '" + dir + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    return dir;
}

void write_file(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

void expect_water(const Crystal& c, const std::string& file)
{
    SCOPED_TRACE(file);
    EXPECT_EQ(c.natom, 2);
    for (int r = 1; r <= 3; ++r)
        for (int k = 1; k <= 3; ++k) EXPECT_EQ(c.cell_at(r, k), r == k ? 5.0 : 0.0) << "cell " << r << k;
    ASSERT_TRUE(c.xyz && c.name);
    ASSERT_EQ(c.xyz_atoms(), 2u);
    EXPECT_EQ(symbols(c), "O |H |");
    const double want[2][3] = {{0.0, 0.0, 0.1174}, {0.0, 0.7572, -0.4696}};
    for (std::size_t i = 1; i <= 2; ++i)
        for (int k = 1; k <= 3; ++k) EXPECT_EQ(c.xyz_at(i, k), want[i - 1][k - 1]) << "atom " << i << " k " << k;
}

// --- accepted files ---------------------------------------------------------

class WaterForms : public ::testing::TestWithParam<std::string> {};

TEST_P(WaterForms, ReadAsTheSameCrystal)
{
    Crystal c;
    read_xyz(c, data + "/" + GetParam());
    expect_water(c, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Files, WaterForms,
                         ::testing::Values("water.xyz", "water_cell_lines.xyz", "water_forms.xyz"));

TEST(ReadXyz, LongValuesAndCrlfLineEnds)
{
    // Values hundreds of bytes long (leading zeros, long quoted and plain
    // labels, long mantissas and exponents) read as their short forms do.
    Crystal c;
    read_xyz(c, data + "/long_values.xyz");
    EXPECT_EQ(c.natom, 2);
    EXPECT_EQ(c.cell_at(1, 1), 0.5123456789012346);
    EXPECT_EQ(c.cell_at(2, 2), 0.5);
    EXPECT_EQ(c.cell_at(3, 3), 5.0);
    EXPECT_EQ(symbols(c), "O |H |");
    EXPECT_EQ(c.xyz_at(1, 1), -12.345678901234567);
    EXPECT_EQ(c.xyz_at(2, 3), -0.4696);
}

TEST(ReadXyz, CellIsStoredColumnByColumn)
{
    Crystal c;
    read_xyz_buffer(c, "0\nx 11 12 13 y 21 22 23 z 31 32 33\n", "cell.xyz");
    EXPECT_EQ(c.cell, (std::array<double, 9>{11, 21, 31, 12, 22, 32, 13, 23, 33}));
}

TEST(ReadXyz, CoordinatesAreStoredColumnByColumn)
{
    Crystal c;
    read_xyz_buffer(c, "3\nc 1 0 0 c 0 1 0 c 0 0 1\n1 1 2 3\n2 4 5 6\n3 7 8 9\n", "xyz.xyz");
    EXPECT_EQ(*c.xyz, (Owned_array<double>{1, 4, 7, 2, 5, 8, 3, 6, 9}));
    EXPECT_EQ(symbols(c), "H |He|Li|");
}

// The record's arrays are not zeroed when made, so every element must be
// written: memory of the same size is freed dirty just before each read,
// for the allocator to hand it out again.
TEST(ReadXyz, EveryElementIsWrittenOverReusedMemory)
{
    for (const std::size_t n : {3, 1000}) {
        std::string text = std::to_string(n) + "\nc 1 0 0 c 0 1 0 c 0 0 1\n";
        for (std::size_t i = 0; i < n; ++i) text += "6 " + std::to_string(i + 1) + " -1.5 2\n";
        {
            const std::vector<double> coordinates(3 * n, std::nan(""));
            const std::vector<Symbol> names(n, Symbol{'?', '?'});
        }
        Crystal c;
        read_xyz_buffer(c, text, "dirty.xyz");
        ASSERT_EQ(c.xyz_atoms(), n);
        for (std::size_t i = 1; i <= n; ++i) {
            ASSERT_EQ(c.xyz_at(i, 1), static_cast<double>(i)) << "atom " << i;
            ASSERT_EQ(c.xyz_at(i, 2), -1.5) << "atom " << i;
            ASSERT_EQ(c.xyz_at(i, 3), 2.0) << "atom " << i;
            ASSERT_EQ((*c.name)[i - 1], (Symbol{'C', ' '})) << "atom " << i;
        }
    }
}

TEST(ReadXyz, ZeroAtomsGivePresentEmptyArrays)
{
    Crystal c;
    read_xyz(c, data + "/zero_atoms.xyz");
    EXPECT_EQ(c.natom, 0);
    ASSERT_TRUE(c.xyz && c.name);
    EXPECT_TRUE(c.xyz->empty() && c.name->empty());
}

TEST(ReadXyz, NegativeCountIsKeptWithEmptyArrays)
{
    Crystal c;
    read_xyz(c, data + "/negative_count.xyz");
    EXPECT_EQ(c.natom, -3);
    ASSERT_TRUE(c.xyz && c.name);
    EXPECT_TRUE(c.xyz->empty() && c.name->empty());
}

TEST(ReadXyz, LinesAfterTheLastAtomAreNotRead)
{
    Crystal c;
    read_xyz(c, data + "/lines_after_atoms.xyz");
    EXPECT_EQ(symbols(c), "Og|");
    EXPECT_EQ(c.xyz_at(1, 3), 3.0);
}

TEST(ReadXyz, AtomsInEveryUsualFormReadAsWritten)
{
    // Most lines are taken whole, the rest value by value (a group over
    // two lines, values past the quick parser's reach): all read alike.
    Crystal c;
    read_xyz(c, data + "/atoms_in_many_forms.xyz");
    ASSERT_EQ(c.xyz_atoms(), 23u);
    const double want[][3] = {{0.0, 0.0, 0.1174}, {0.0, 0.7572, -0.4696},
                              {-12.345678901234567, 3.2150123456789012, 33.539012345678901},
                              {-2.9450e+01, 3.2150e+01, 3.3539e-01}, {12.34567890, -0.00406914, 0.0040691407478945507},
                              {-12.34567890, 23.45678901, 0.5}, {1.2345678901E+01, -9.8765432109E-01, 5.0},
                              {1.5e-3, -2.5e2, 5.0}};
    for (std::size_t i = 1; i <= 8; ++i)
        for (int k = 1; k <= 3; ++k) EXPECT_EQ(c.xyz_at(i, k), want[i - 1][k - 1]) << "atom " << i << " k " << k;
    EXPECT_EQ(c.xyz_at(13, 3), 3.0);
    EXPECT_TRUE(std::signbit(c.xyz_at(14, 2)) && c.xyz_at(14, 2) == 0.0);
    EXPECT_EQ(c.xyz_at(19, 2), 12345678901234567890.0);
    EXPECT_EQ(c.xyz_at(19, 3), 1e5);
    EXPECT_EQ(symbols(c), "O |H |Au|C |N |O |Fe|H |O |O |H |H |C |N |O |Og|H |H |H |He|He|H |H |");
}

TEST(ReadXyz, NamesPresentWithoutCoordinatesAreReplaced)
{
    Crystal c;
    c.name = Owned_array<Symbol>(5, Symbol{'X', 'x'});
    read_xyz(c, data + "/water.xyz");
    EXPECT_EQ(symbols(c), "O |H |");
}

// --- malformed files: each gives its own error ------------------------------

struct Bad_file {
    std::string file;
    Error_kind kind;
    long line;
    int item;
    std::string says;
};

std::ostream& operator<<(std::ostream& os, const Bad_file& b) { return os << b.file; }

class BadFiles : public ::testing::TestWithParam<Bad_file> {};

TEST_P(BadFiles, GiveTheirError)
{
    const Bad_file& b = GetParam();
    const std::string path = data + "/bad/" + b.file;
    Crystal c;
    try {
        read_xyz(c, path);
        ADD_FAILURE() << "wanted an error, got a read of " << c.natom << " atoms";
    } catch (const Xyz_error& e) {
        EXPECT_EQ(e.kind(), b.kind) << e.what();
        EXPECT_EQ(e.line(), b.line) << e.what();
        EXPECT_EQ(e.item(), b.item) << e.what();
        EXPECT_EQ(e.filename(), path);
        EXPECT_EQ(e.unit(), 101);
        EXPECT_EQ(e.sys_errno(), 0);
        const std::string msg = e.what();
        EXPECT_NE(msg.find(b.says), std::string::npos) << "wanted '" << b.says << "' in: " << msg;
        EXPECT_NE(msg.find("'" + path + "'"), std::string::npos) << msg;
        EXPECT_NE(msg.find("(unit 101)"), std::string::npos) << msg;
    }
    EXPECT_FALSE(c.xyz || c.name) << "a failed read left arrays behind";
}

INSTANTIATE_TEST_SUITE_P(
    Files, BadFiles,
    ::testing::Values(
        Bad_file{"free_text_cell.xyz", Error_kind::bad_value, 2, 2,
                 "item 2 of the cell group: bad real value 'vectors'"},
        Bad_file{"symbol_atom.xyz", Error_kind::bad_value, 3, 1, "item 1 of atom 1: bad integer value 'O'"},
        Bad_file{"real_count.xyz", Error_kind::bad_value, 1, 1, "count group: bad integer value '2.0'"},
        Bad_file{"word_count.xyz", Error_kind::bad_value, 1, 1, "bad integer value 'two'"},
        Bad_file{"missing_atom.xyz", Error_kind::end_of_file, 5, 1, "item 1 of atom 3: end of file"},
        Bad_file{"huge_count.xyz", Error_kind::end_of_file, 5, 1, "item 1 of atom 3: end of file"},
        Bad_file{"atomic_number_overflow.xyz", Error_kind::bad_value, 3, 1, "does not fit in 32 bits"},
        Bad_file{"atomic_number_zero.xyz", Error_kind::bad_value, 3, 1, "outside 1..118: '0'"},
        Bad_file{"atomic_number_119.xyz", Error_kind::bad_value, 4, 1, "atom 2: atomic number outside 1..118: '119'"},
        Bad_file{"repeat_count.xyz", Error_kind::bad_value, 2, 2, "repeat counts"},
        Bad_file{"null_value.xyz", Error_kind::bad_value, 3, 3, "missing value"},
        Bad_file{"slash.xyz", Error_kind::bad_value, 2, 9, "slash"},
        Bad_file{"short_cell.xyz", Error_kind::end_of_file, 3, 10, "end of file"},
        Bad_file{"empty.xyz", Error_kind::end_of_file, 1, 1, "count group: end of file"},
        Bad_file{"open_quote.xyz", Error_kind::bad_value, 2, 1, "no closing quote"},
        Bad_file{"real_overflow.xyz", Error_kind::bad_value, 3, 3, "too large for a double '1e400'"},
        Bad_file{"nan_coordinate.xyz", Error_kind::bad_value, 3, 4, "bad real value 'NaN'"},
        Bad_file{"long_bad_real.xyz", Error_kind::bad_value, 3, 3,
                 "bad real value '1.5qqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqq...'"},
        Bad_file{"long_repeat_label.xyz", Error_kind::bad_value, 2, 1, "repeat counts (count*value) are not "
                 "accepted '777777777777777777777777777777777777777777777777...'"},
        Bad_file{"long_repeat_count.xyz", Error_kind::bad_value, 1, 1, "count group: repeat counts"},
        Bad_file{"long_repeat_text.xyz", Error_kind::bad_value, 2, 1, "cell group: repeat counts"},
        Bad_file{"long_open_quote.xyz", Error_kind::bad_value, 2, 1, "no closing quote on its line "
                 "''never closed never closed never closed never cl...'"},
        Bad_file{"late_bad_coordinate.xyz", Error_kind::bad_value, 7, 3, "atom 5: bad real value '1.5.2'"}));

TEST(ReadXyzDeathTest, HugeCountFailsWithoutReservingForIt)
{
    // 2147483647 atoms would take 48 GiB.  Capped at 64 MiB above its
    // current use, a reader that reserved for the count would run out of
    // memory; this one reads the file's two atoms and reports the end of
    // the file.
    const auto child = [] {
        zorvak_test::cap_address_space(std::size_t(64) << 20);
        Crystal c;
        try {
            read_xyz(c, data + "/bad/huge_count.xyz");
        } catch (const Xyz_error& e) {
            std::_Exit(e.kind() == Error_kind::end_of_file && e.line() == 5 ? 0 : 1);
        }
        std::_Exit(2);
    };
    EXPECT_EXIT(child(), ::testing::ExitedWithCode(0), "");
}

TEST(ReadXyz, CountJustWithinWhatTheTextCanHoldStillReads)
{
    // Four atoms in the shortest form (8 bytes each, 7 for the last): the
    // memory bound on the count must not refuse them.
    Crystal c;
    read_xyz_buffer(c, "4\nc 1 0 0 c 0 1 0 c 0 0 1\n1 2 3 4\n5 6 7 8\n9 1 2 3\n4 5 6 7", "tight.xyz");
    ASSERT_EQ(c.xyz_atoms(), 4u);
    EXPECT_EQ(c.xyz_at(4, 3), 7.0);
    EXPECT_EQ(symbols(c), "H |B |F |Be|");
}

TEST(ReadXyzDeathTest, StorageThatCannotBeObtainedIsOutOfMemory)
{
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "under AddressSanitizer a refused operator new ends the process "
                    "instead of throwing std::bad_alloc";
#endif
    // In a child process with its address space capped just above the text:
    // the arrays for four million atoms (104 MB) cannot be had.
    const auto child = [] {
        std::string text = "4000000\nc 1 0 0 c 0 1 0 c 0 0 1\n";
        text.reserve(text.size() + 4000000 * 8);
        for (int i = 0; i < 4000000; ++i) text += "1 0 0 0\n";
        zorvak_test::cap_address_space(std::size_t(64) << 20);
        Crystal c;
        try {
            read_xyz_buffer(c, text, "big.xyz");
        } catch (const Xyz_error& e) {
            const bool named = std::string(e.what()).find("Error allocating 96000000 bytes") != std::string::npos;
            std::_Exit(e.kind() == Error_kind::out_of_memory && named ? 0 : 1);
        }
        std::_Exit(2);
    };
    EXPECT_EXIT(child(), ::testing::ExitedWithCode(0), "");
}

// --- the record and the file ------------------------------------------------

TEST(ReadXyz, SecondReadIntoTheRecordIsRefusedAndChangesNothing)
{
    Crystal c;
    read_xyz(c, data + "/water.xyz");
    const Crystal before = c;
    try {
        read_xyz(c, data + "/zero_atoms.xyz");
        ADD_FAILURE() << "wanted already_read";
    } catch (const Xyz_error& e) {
        EXPECT_EQ(e.kind(), Error_kind::already_read) << e.what();
        EXPECT_NE(std::string(e.what()).find("Attempting to allocate already allocated variable 'cryst'"),
                  std::string::npos) << e.what();
    }
    EXPECT_EQ(c.natom, before.natom);
    EXPECT_EQ(c.cell, before.cell);
    EXPECT_EQ(*c.xyz, *before.xyz);
}

TEST(ReadXyz, MissingFileNamesTheFileUnitAndReason)
{
    Crystal c;
    const std::string path = data + "/no_such_file.xyz";
    try {
        read_xyz(c, path);
        ADD_FAILURE() << "wanted cannot_open";
    } catch (const Xyz_error& e) {
        EXPECT_EQ(e.kind(), Error_kind::cannot_open);
        EXPECT_EQ(e.sys_errno(), ENOENT);
        EXPECT_EQ(e.filename(), path);
        EXPECT_EQ(std::string(e.what()), "cannot open file '" + path
                                             + "' for reading on unit 101: No such file or directory");
    }
}

TEST(ReadXyz, DirectoryCannotBeOpened)
{
    Crystal c;
    try {
        read_xyz(c, data);
        ADD_FAILURE() << "wanted cannot_open";
    } catch (const Xyz_error& e) {
        EXPECT_EQ(e.kind(), Error_kind::cannot_open);
        EXPECT_EQ(e.sys_errno(), EISDIR);
    }
}

TEST(ReadXyz, TrailingBlanksAreDroppedLeadingBlanksKept)
{
    const std::string dir = scratch_dir("blanks");
    write_file(dir + " lead.xyz", "0\nc 1 0 0 c 0 1 0 c 0 0 1\n");
    Crystal a;
    read_xyz(a, dir + " lead.xyz" + std::string(120, ' '));
    EXPECT_EQ(a.natom, 0);
    Crystal b;
    EXPECT_THROW(read_xyz(b, dir + "lead.xyz"), Xyz_error);
}

TEST(ReadXyz, LongNamesAreOpenedInFull)
{
    // Beyond any fixed length (128 or 256): a shorter cut would miss the file.
    std::string dir = scratch_dir("long");
    for (int i = 0; i < 3; ++i) {
        dir += std::string(100, 'd') + "/";
        EXPECT_EQ(std::system(("mkdir -p '" + dir + "'").c_str()), 0);
    }
    const std::string path = dir + std::string(200, 'f') + ".xyz";
    write_file(path, "1\nc 1 0 0 c 0 1 0 c 0 0 1\n8 1 2 3\n");
    Crystal c;
    read_xyz(c, path + "  ");
    EXPECT_EQ(symbols(c), "O |");
}

TEST(ReadXyz, NulInsideTheNameIsNotCutShort)
{
    Crystal c;
    const std::string name = data + "/water.xyz" + std::string(1, '\0') + "tail";
    try {
        read_xyz(c, name);
        ADD_FAILURE() << "a name with a NUL byte opened its first part";
    } catch (const Xyz_error& e) {
        EXPECT_EQ(e.kind(), Error_kind::cannot_open);
        EXPECT_NE(std::string(e.what()).find("water.xyz\\x00tail"), std::string::npos) << e.what();
    }
}

// --- the window: any size gives the same result -----------------------------

// What a read gave: the record, or the error.
struct Outcome {
    std::string error;  // kind, errno, line, item and message; empty on success
    std::int32_t natom = 0;
    std::string cell, name, xyz;  // the record's bytes: -0.0 differs from 0.0
};

template <class Read>
Outcome outcome_of(Read read)
{
    Outcome o;
    Crystal c;
    try {
        read(c);
    } catch (const Xyz_error& e) {
        std::ostringstream error;
        error << static_cast<int>(e.kind()) << " errno " << e.sys_errno() << " line " << e.line() << " item "
              << e.item() << ": " << e.what();
        o.error = error.str();
        EXPECT_FALSE(c.xyz || c.name) << "a failed read left arrays behind";
        return o;
    }
    o.natom = c.natom;
    o.cell.assign(reinterpret_cast<const char*>(c.cell.data()), sizeof c.cell);
    o.name.assign(reinterpret_cast<const char*>(c.name->data()), c.name->size() * sizeof(Symbol));
    o.xyz.assign(reinterpret_cast<const char*>(c.xyz->data()), c.xyz->size() * sizeof(double));
    return o;
}

void expect_same(const Outcome& got, const Outcome& want, const std::string& how)
{
    EXPECT_EQ(got.error, want.error) << how;
    EXPECT_EQ(got.natom, want.natom) << how;
    EXPECT_TRUE(got.cell == want.cell && got.name == want.name && got.xyz == want.xyz) << how << ": records differ";
}

// Every test file and every fuzz seed, good and bad.
std::vector<std::string> every_sample_file()
{
    std::vector<std::string> files;
    for (const std::string dir : {data, std::string(ZORVAK_FUZZ_CORPUS)})
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir))
            if (entry.is_regular_file()) files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

class EveryWindow : public ::testing::TestWithParam<std::string> {};

TEST_P(EveryWindow, GivesTheSameRecordOrError)
{
    const std::string& path = GetParam();
    const Outcome want = outcome_of([&](Crystal& c) { read_xyz(c, path); });
    for (const std::size_t window : {1, 2, 3, 7, 64}) {
        expect_same(outcome_of([&](Crystal& c) { read_xyz_file(c, path, {}, window); }), want,
                    "window of " + std::to_string(window) + " bytes");
    }
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    expect_same(outcome_of([&](Crystal& c) { read_xyz_buffer(c, text, path); }), want, "text in memory");
}

INSTANTIATE_TEST_SUITE_P(Files, EveryWindow, ::testing::ValuesIn(every_sample_file()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string name = std::to_string(info.index) + "_"
                                 + std::filesystem::path(info.param).stem().string();
                             std::replace_if(name.begin(), name.end(), [](char ch) { return !std::isalnum(
                                 static_cast<unsigned char>(ch)); }, '_');
                             return name;
                         });

// A source that hands out `text` in pieces ending at the given offsets, as
// a pipe does whose writer pauses there, and counts what it handed out.
struct Pieces {
    std::string text;
    std::vector<std::size_t> cuts;
    std::size_t given = 0;

    std::size_t operator()(char* into, std::size_t room)
    {
        std::size_t until = text.size();
        for (const std::size_t cut : cuts)
            if (cut > given) until = std::min(until, cut);
        const std::size_t size = std::min(room, until - given);
        std::memcpy(into, text.data() + given, size);
        given += size;
        return size;
    }
};

Outcome read_pieces(Pieces& pieces, std::size_t window)
{
    return outcome_of([&](Crystal& c) {
        Xyz_tokenizer tokens(std::ref(pieces), "pipe", window);
        read_xyz_tokens(c, tokens, std::nullopt, "pipe");
    });
}

struct Cut_case {
    std::size_t window;
    std::size_t value_end;  // offset where "0." ends and the writer pauses
};

class ValueCutAtAPause : public ::testing::TestWithParam<Cut_case> {};

TEST_P(ValueCutAtAPause, IsReadWholeAndRejected)
{
    // A writer pauses right after "0." and then sends "5e": the value is
    // 0.5e, which is bad, and must not be taken as 0.
    const std::string head = "1\ncell: 1 0 0 | 0 1 0 | 0 0 1\n8 0 0 0.";
    const std::size_t pad = GetParam().value_end - head.size();
    Pieces pieces{head.substr(0, 2) + std::string(pad, ' ') + head.substr(2) + "5e\n", {GetParam().value_end}};
    const Outcome got = read_pieces(pieces, GetParam().window);
    EXPECT_NE(got.error.find("line 3, item 4 of atom 1: bad real value '0.5e'"), std::string::npos) << got.error;
}

INSTANTIATE_TEST_SUITE_P(Offsets, ValueCutAtAPause,
                         ::testing::Values(Cut_case{std::size_t(1) << 20, std::size_t(1) << 20},
                                           Cut_case{std::size_t(1) << 20, std::size_t(2) << 20},
                                           Cut_case{std::size_t(1) << 20, 100000},
                                           Cut_case{64, 128}, Cut_case{64, 130}, Cut_case{7, 49}));

TEST(ReadXyz, ManyAtomsReadAlikeThroughWindowsOfAnySize)
{
    // Thousands of lines of mixed forms, so that the window's edge falls
    // inside lines, values and line ends of every kind, on lines taken
    // whole and on lines read value by value.
    const char* const lines[] = {"8 0.0 0.0 0.1174\n", "79 -12.345678901234567 3.2150123456789012 33.539012345678901\n",
                                 "6 -2.9450e+01 3.2150e+01 3.3539e-01\r\n", "  7   -12.34567890    23.45678901     0.5\n",
                                 "26\t1.2345678901E+01\t-9.8765432109E-01\t5.0\n", "1 1.5D-3 -2.5d2 +.5D+1\n",
                                 "8,-1.5,2.5,3.5\n", "1 1 2\n  3\n", "1 1 2 3 and more\n"};
    std::string text = "3000\ncell: 1 0 0 | 0 1 0 | 0 0 1\n";
    for (int i = 0; i < 3000; ++i) text += lines[(i * 7) % 9];
    const Outcome want = outcome_of([&](Crystal& c) { read_xyz_buffer(c, text, "pipe"); });
    ASSERT_EQ(want.error, "");
    for (const std::size_t window : {50, 64, 97, 256, 1000, 4093}) {
        Pieces pieces{text, {}};
        expect_same(read_pieces(pieces, window), want, "window of " + std::to_string(window) + " bytes");
    }
    Pieces slow_pipe{text, {}};
    for (std::size_t cut = 1; cut < text.size(); cut += 13) slow_pipe.cuts.push_back(cut);
    expect_same(read_pieces(slow_pipe, 4096), want, "pieces of 13 bytes");
}

TEST(ReadXyz, NothingAfterTheStructureIsRead)
{
    // 10 MB after the last atom (the last line open, then garbage): the
    // reading stops within a window of the structure's end.
    const std::string structure = "2\ncell: 1 0 0 | 0 1 0 | 0 0 1\n1 0 0 0\n8 1 2 3";
    for (const std::size_t window : {std::size_t(64), Xyz_tokenizer::default_window}) {
        Pieces pieces{structure + " and more" + std::string(10'000'000, 'x'), {}};
        EXPECT_EQ(read_pieces(pieces, window).error, "");
        EXPECT_LE(pieces.given, structure.size() + window) << "window " << window;
    }
}

TEST(ReadXyz, BadValueFailsWithoutReadingToItsEnd)
{
    // 100 MB with a bad first byte and no line end: the error comes from the
    // first window, and shows the value's first bytes.
    Pieces pieces{"x" + std::string(100'000'000, '7'), {}};
    const Outcome got = read_pieces(pieces, Xyz_tokenizer::default_window);
    EXPECT_NE(got.error.find("count group: bad integer value 'x7777"), std::string::npos) << got.error;
    EXPECT_LE(pieces.given, Xyz_tokenizer::default_window);
}

// --- messages as they have always read --------------------------------------

struct Message_case {
    std::string text;
    std::string message;  // between "file 't.xyz', " and " (unit 101)"
};

std::ostream& operator<<(std::ostream& os, const Message_case& c) { return os << c.message; }

std::string repeated(const std::string& text, int times)
{
    std::string all;
    for (int i = 0; i < times; ++i) all += text;
    return all;
}

std::string message_of(const std::string& text, std::size_t window)
{
    Crystal c;
    try {
        if (window == 0) {
            read_xyz_buffer(c, text, "t.xyz");
        } else {
            Pieces pieces{text, {}};
            Xyz_tokenizer tokens(std::ref(pieces), "t.xyz", window);
            read_xyz_tokens(c, tokens, std::nullopt, "t.xyz");
        }
    } catch (const Xyz_error& e) {
        return e.what();
    }
    return "no error";
}

class KnownMessages : public ::testing::TestWithParam<Message_case> {};

TEST_P(KnownMessages, AreGivenAtOnceAndThroughAnyWindow)
{
    for (const std::size_t window : {0, 1, 7, 64})  // 0: all at once
        EXPECT_EQ(message_of(GetParam().text, window), "file 't.xyz', " + GetParam().message + " (unit 101)")
            << "window " << window;
}

const std::string head = "1\ncell: 1 0 0 | 0 1 0 | 0 0 1\n";

// Inputs whose values are long, cut, quoted or odd, each with the message
// the reader has always given for it.
INSTANTIATE_TEST_SUITE_P(
    Forms, KnownMessages,
    ::testing::Values(
        Message_case{std::string(300, '1') + "\n",
                     "line 1, item 1 of the count group: "
                     "integer value does not fit in 32 bits '" + std::string(48, '1') + "...'"},
        Message_case{std::string(200, '0') + "5*2\n",
                     "line 1, item 1 of the count group: "
                     "repeat counts (count*value) are not accepted '" + std::string(48, '0') + "...'"},
        Message_case{"+" + std::string(200, '0') + "5*2\n",
                     "line 1, item 1 of the count group: bad integer value '+" + std::string(47, '0') + "...'"},
        Message_case{head + std::string(200, '0') + "200 0 0 0\n",
                     "line 3, item 1 of atom 1: atomic number outside 1..118: '" + std::string(48, '0') + "...'"},
        Message_case{"0\ncell: 0 " + std::string(400, '1') + "e- 0",
                     "line 2, item 3 of the cell group: bad real value '" + std::string(48, '1') + "...'"},
        Message_case{"0\ncell: 0 " + std::string(400, '9') + "\n",
                     "line 2, item 3 of the cell group: "
                     "real value is too large for a double '" + std::string(48, '9') + "...'"},
        Message_case{"0\ncell: 1 2 3 c 1e" + std::string(300, '9'),
                     "line 2, item 6 of the cell group: "
                     "real value is too large for a double '1e" + std::string(46, '9') + "...'"},
        Message_case{"0\n" + std::string(300, '7') + "*x 1 0 0",
                     "line 2, item 1 of the cell group: "
                     "repeat counts (count*value) are not accepted '" + std::string(48, '7') + "...'"},
        Message_case{"0\ncell: 1 0 0 '" + std::string(300, 'q') + "\n",
                     "line 2, item 5 of the cell group: "
                     "quoted text has no closing quote on its line ''" + std::string(47, 'q') + "...'"},
        Message_case{"1\r2\n",
                     "line 1, item 1 of the count group: bad integer value '1\\x0d2'"},
        Message_case{"2" + head.substr(1) + "8 0 0 0\n1 0 0",
                     "line 4, item 4 of atom 2: end of file before the group was complete"},
        Message_case{"0\ncell: 1,,2",
                     "line 2, item 3 of the cell group: "
                     "missing value (a comma with no value before it) is not accepted"},
        Message_case{head + "8 0 0 -1D999\n",
                     "line 3, item 4 of atom 1: real value is too large for a double '-1D999'"},
        Message_case{head + "8 0 3*0.0 0\n",
                     "line 3, item 3 of atom 1: repeat counts (count*value) are not accepted '3*0.0'"},
        Message_case{head + "8 0 / 0\n",
                     "line 3, item 3 of atom 1: a slash ending the group early is not accepted"},
        Message_case{head + "8 0 0\r0\n",
                     "line 3, item 3 of atom 1: bad real value '0\\x0d0'"},
        Message_case{"0\n\"a\"b 1 0 0",
                     "line 2, item 1 of the cell group: text follows the closing quote directly '\"a\"'"},
        Message_case{"-" + std::string(300, '0') + "2147483649",
                     "line 1, item 1 of the count group: "
                     "integer value does not fit in 32 bits '-" + std::string(47, '0') + "...'"},
        Message_case{"0\n\"" + std::string(300, 'q') + "\"x 1 0 0",
                     "line 2, item 1 of the cell group: "
                     "text follows the closing quote directly '\"" + std::string(47, 'q') + "...'"},
        Message_case{head + "8 .e5 0 0",
                     "line 3, item 2 of atom 1: bad real value '.e5'"},
        Message_case{head + "8 0x1p3 0 0",
                     "line 3, item 2 of atom 1: bad real value '0x1p3'"},
        Message_case{head + "8 1e400 0 0",
                     "line 3, item 2 of atom 1: real value is too large for a double '1e400'"},
        Message_case{head + "08 0 0 inf",
                     "line 3, item 4 of atom 1: bad real value 'inf'"},
        Message_case{head + "8 0 0 " + std::string(60, '5') + "."  + std::string(300, '5') + "D+",
                     "line 3, item 4 of atom 1: bad real value '" + std::string(48, '5') + "...'"},
        // Shown text is cut before a UTF-8 sequence rather than inside it.
        Message_case{head + "8 0 0 x" + repeated("\xc3\xa9", 100),
                     "line 3, item 4 of atom 1: bad real value 'x" + repeated("\xc3\xa9", 23) + "...'"}));

}  // namespace
