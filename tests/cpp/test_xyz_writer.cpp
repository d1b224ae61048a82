#include "crystal/crystal.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

namespace {

using namespace zorvak_crystal;

// A directory of this process's own, removed when the process ends: a fixed
// name would be shared with runs beside this one and with other users.
class Scratch_dir {
public:
    Scratch_dir()
    {
        std::string pattern = ::testing::TempDir() + "zorvak_writer.XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::system_error(errno, std::generic_category(), "mkdtemp " + pattern);
        path_ = pattern + "/";
    }
    ~Scratch_dir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    Scratch_dir(const Scratch_dir&) = delete;
    Scratch_dir& operator=(const Scratch_dir&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

std::string scratch(const std::string& name)
{
    static const Scratch_dir dir;
    return dir.path() + name;
}

std::vector<std::string> lines_of(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    const std::string text = all.str();
    EXPECT_TRUE(!text.empty() && text.back() == '\n') << "the file does not end in a line feed";
    std::vector<std::string> lines;
    std::string line;
    std::istringstream split(text);
    while (std::getline(split, line)) lines.push_back(line);
    return lines;
}

Crystal crystal(std::int32_t natom, Owned_array<Symbol> names, Owned_array<double> xyz)
{
    Crystal c;
    c.natom = natom;
    for (int i = 0; i < 9; ++i) c.cell[static_cast<std::size_t>(i)] = i % 4 == 0 ? 5.0 : 0.0;
    c.name = std::move(names);
    c.xyz = std::move(xyz);
    return c;
}

Crystal water()
{
    return crystal(2, {{'O', ' '}, {'H', ' '}}, {0.0, 0.0, 0.0, 0.7572, 0.1174, -0.4696});
}

// Columns first..last (1-based, inclusive) of a line.
std::string cols(const std::string& line, std::size_t first, std::size_t last)
{
    return line.substr(first - 1, last - first + 1);
}

TEST(WriteXyz, WaterAsInTheFormat)
{
    const std::string path = scratch("water.xyz");
    write_xyz(water(), path);
    const auto lines = lines_of(path);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "           2");
    const std::string five = "  5.0000000000000000     ", zero = "  0.0000000000000000     ";
    EXPECT_EQ(lines[1], " cell:  " + five + "   " + zero + "   " + zero + "  |  " + zero + "   " + five + "   "
                            + zero + "  |  " + zero + "   " + zero + "   " + five);
    EXPECT_EQ(lines[2], " O  " + zero + " " + zero + " " + " 0.11740000000000000     ");
    EXPECT_EQ(lines[3], " H  " + zero + " " + " 0.75719999999999998     " + " " + "-0.46960000000000002     ");
}

struct Real_field {
    double value;
    std::string field;  // the 25 columns
};

std::ostream& operator<<(std::ostream& os, const Real_field& r) { return os << r.field; }

class RealFields : public ::testing::TestWithParam<Real_field> {};

TEST_P(RealFields, TwentyFiveColumnsSeventeenDigits)
{
    // The value goes to every float position: cell (1,1), (3,3) and all
    // three coordinates of the atom.
    Crystal c = crystal(1, {{'C', ' '}}, {GetParam().value, GetParam().value, GetParam().value});
    c.cell_at(1, 1) = c.cell_at(3, 3) = GetParam().value;
    const std::string path = scratch("field.xyz");
    write_xyz(c, path);
    const auto lines = lines_of(path);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(cols(lines[1], 9, 33), GetParam().field);
    EXPECT_EQ(cols(lines[1], 237, 261), GetParam().field);
    EXPECT_EQ(cols(lines[2], 5, 29), GetParam().field);
    EXPECT_EQ(cols(lines[2], 31, 55), GetParam().field);
    EXPECT_EQ(cols(lines[2], 57, 81), GetParam().field);
    EXPECT_EQ(lines[1].size(), 261u);
    EXPECT_EQ(lines[2].size(), 81u);
}

constexpr double inf = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Forms, RealFields,
    ::testing::Values(
        Real_field{1.0, "  1.0000000000000000     "}, Real_field{0.1, " 0.10000000000000001     "},
        Real_field{-0.5, "-0.50000000000000000     "}, Real_field{0.0, "  0.0000000000000000     "},
        Real_field{-0.0, " -0.0000000000000000     "}, Real_field{123.456, "  123.45600000000000     "},
        Real_field{1e16, "  10000000000000000.     "}, Real_field{-1e16, " -10000000000000000.     "},
        Real_field{99999999999999984.0, "  99999999999999984.     "},
        Real_field{1e17, "  1.0000000000000000E+017"}, Real_field{1e20, "  1.0000000000000000E+020"},
        Real_field{std::nextafter(0.1, 0.0), "  9.9999999999999992E-002"},
        Real_field{-0.0001, " -1.0000000000000000E-004"}, Real_field{-1e-300, " -1.0000000000000000E-300"},
        Real_field{std::numeric_limits<double>::denorm_min(), "  4.9406564584124654E-324"},
        Real_field{std::numeric_limits<double>::max(), "  1.7976931348623157E+308"},
        Real_field{inf, "                 Infinity"}, Real_field{-inf, "                -Infinity"},
        Real_field{std::nan(""), "                      NaN"},
        Real_field{-std::nan(""), "                      NaN"}));

TEST(WriteXyz, CellLineColumns)
{
    Crystal c = crystal(0, {}, {});
    for (std::size_t i = 0; i < 9; ++i) c.cell[i] = -1e-100 * static_cast<double>(i + 1);
    c.cell_at(2, 2) = -0.0;
    const std::string path = scratch("cell.xyz");
    write_xyz(c, path);
    const auto lines = lines_of(path);
    ASSERT_EQ(lines.size(), 2u) << "natom 0 writes exactly the count and cell lines";
    const std::string& l = lines[1];
    ASSERT_EQ(l.size(), 261u);
    EXPECT_EQ(cols(l, 1, 8), " cell:  ");
    for (const std::size_t gap : {34, 62, 120, 148, 206, 234}) EXPECT_EQ(cols(l, gap, gap + 2), "   ") << gap;
    for (const std::size_t bar : {90, 176}) EXPECT_EQ(cols(l, bar, bar + 4), "  |  ") << bar;
    // Row r, column k at 9 + 86 (r - 1) + 28 (k - 1).
    for (int r = 1; r <= 3; ++r) {
        for (int k = 1; k <= 3; ++k) {
            const std::size_t at = static_cast<std::size_t>(9 + 86 * (r - 1) + 28 * (k - 1));
            const std::string field = cols(l, at, at + 24);
            if (r == 2 && k == 2) {
                EXPECT_EQ(field, " -0.0000000000000000     ");
            } else {
                EXPECT_EQ(std::stod(field), c.cell_at(r, k)) << "(" << r << "," << k << ") " << field;
            }
        }
    }
}

TEST(WriteXyz, CountLineIsTwelveColumns)
{
    for (const std::int32_t n : {0, -3, -2147483647 - 1}) {
        const std::string path = scratch("count.xyz");
        write_xyz(crystal(n, {}, {}), path);
        const auto lines = lines_of(path);
        ASSERT_EQ(lines.size(), 2u) << "natom " << n << " writes no atom line";
        EXPECT_EQ(lines[0].size(), 12u) << lines[0];
        EXPECT_EQ(std::stol(lines[0]), n);
        EXPECT_EQ(lines[0].find_first_not_of(' '), 12 - std::to_string(n).size()) << lines[0];
    }
}

TEST(WriteXyz, AtomLineColumns)
{
    const std::string path = scratch("atoms.xyz");
    write_xyz(crystal(2, {{'N', 'a'}, {'U', ' '}}, {1e300, -inf, 2.5, 0.25, -7.0, 3e-5}), path);
    const auto lines = lines_of(path);
    ASSERT_EQ(lines.size(), 4u);
    for (const std::string& l : {lines[2], lines[3]}) {
        ASSERT_EQ(l.size(), 81u) << l;
        EXPECT_EQ(l[0], ' ');
        EXPECT_EQ(l[3], ' ');
        EXPECT_EQ(l[29], ' ');
        EXPECT_EQ(l[55], ' ');
    }
    EXPECT_EQ(cols(lines[2], 2, 3), "Na");
    EXPECT_EQ(cols(lines[3], 2, 3), "U ");
    EXPECT_EQ(cols(lines[2], 5, 29), "  1.0000000000000001E+300");
    EXPECT_EQ(cols(lines[3], 57, 81), "  3.0000000000000001E-005");
}

TEST(WriteXyz, CountAndCellLinesReadBackExactly)
{
    std::mt19937_64 gen(20240607);
    std::uniform_int_distribution<std::uint64_t> bits;
    for (int trial = 0; trial < 200; ++trial) {
        Crystal c = crystal(0, {}, {});
        for (double& v : c.cell) {
            do {
                const std::uint64_t b = bits(gen);
                std::memcpy(&v, &b, sizeof v);
            } while (!std::isfinite(v));
        }
        c.cell[static_cast<std::size_t>(trial % 9)] = trial % 2 ? -0.0 : 0.1;
        c.natom = trial % 3 == 0 ? -trial : 0;
        const std::string path = scratch("round.xyz");
        write_xyz(c, path);
        Crystal back;
        read_xyz(back, path);
        EXPECT_EQ(back.natom, c.natom);
        for (std::size_t i = 0; i < 9; ++i) {
            EXPECT_EQ(std::memcmp(&back.cell[i], &c.cell[i], sizeof(double)), 0)
                << "cell entry " << i << ": wrote " << c.cell[i] << ", read " << back.cell[i];
        }
    }
}

TEST(WriteXyz, AtomLinesDoNotReadBack)
{
    const std::string path = scratch("symbols.xyz");
    write_xyz(water(), path);
    Crystal back;
    try {
        read_xyz(back, path);
        ADD_FAILURE() << "the reader took a symbol for an atomic number";
    } catch (const Xyz_error& e) {
        EXPECT_EQ(e.kind(), Error_kind::bad_value);
        EXPECT_EQ(e.line(), 3);
        EXPECT_EQ(e.item(), 1);
    }
}

TEST(WriteXyz, OverwritesALongerFile)
{
    const std::string path = scratch("over.xyz");
    std::ofstream(path) << std::string(10000, 'x') << "\n";
    write_xyz(crystal(-1, {}, {}), path);
    const auto lines = lines_of(path);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "          -1");
}

TEST(WriteXyz, TrailingBlanksOfTheNameAreDropped)
{
    const std::string path = scratch("blank.xyz");
    std::remove(path.c_str());
    write_xyz(water(), path + "     ");
    EXPECT_EQ(lines_of(path).size(), 4u);
}

TEST(WriteXyz, UnopenableFileNamesFileUnitAndReason)
{
    const std::string path = scratch("no/such/dir.xyz");
    try {
        write_xyz(water(), path);
        ADD_FAILURE() << "wanted cannot_open";
    } catch (const Xyz_error& e) {
        EXPECT_EQ(e.kind(), Error_kind::cannot_open);
        EXPECT_EQ(e.sys_errno(), ENOENT);
        EXPECT_EQ(e.unit(), 102);
        EXPECT_EQ(std::string(e.what()),
                  "cannot open file '" + path + "' for writing on unit 102: No such file or directory");
    }
}

TEST(WriteXyz, FullDeviceIsAWriteFailure)
{
    try {
        write_xyz(water(), "/dev/full");
        ADD_FAILURE() << "a write to a full device was reported as done";
    } catch (const Xyz_error& e) {
        EXPECT_EQ(e.kind(), Error_kind::write_failed) << e.what();
        EXPECT_EQ(e.sys_errno(), ENOSPC) << e.what();
        EXPECT_EQ(e.unit(), 102);
    }
}

TEST(WriteXyz, TooFewAtomsForTheCountIsRefusedBeforeOpening)
{
    const std::string path = scratch("short.xyz");
    std::ofstream(path) << "kept\n";
    Crystal c = water();
    c.natom = 3;
    try {
        write_xyz(c, path);
        ADD_FAILURE() << "wrote 3 atoms from arrays of 2";
    } catch (const Xyz_error& e) {
        EXPECT_EQ(e.kind(), Error_kind::bad_value) << e.what();
    }
    EXPECT_EQ(lines_of(path), std::vector<std::string>{"kept"});
}

}  // namespace
