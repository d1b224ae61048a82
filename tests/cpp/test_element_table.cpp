#include "crystal/element_table.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <stdexcept>
#include <string>

namespace {

using zorvak_crystal::Element_map;
using zorvak_crystal::Symbol;

std::string text(const Symbol& s) { return std::string(s.data(), s.size()); }

class ElementTable : public ::testing::Test {
protected:
    void SetUp() override { map.initialize_element_map(); }
    Element_map map{};
};

TEST_F(ElementTable, RowsAreNumberedAndEverySymbolMapsBack)
{
    std::set<std::string> seen;
    for (int i = 1; i <= 118; ++i) {
        const auto& e = map.elements[static_cast<std::size_t>(i - 1)];
        EXPECT_EQ(e.number, i) << "row " << i;
        const std::string sym = text(map.get_element_symbol(i));
        EXPECT_TRUE(seen.insert(sym).second) << "symbol '" << sym << "' repeats at row " << i;
        EXPECT_EQ(map.get_element_number(sym), i) << "symbol '" << sym << "'";
    }
}

TEST_F(ElementTable, FillingOverwritesEveryRow)
{
    Element_map dirty;
    for (auto& e : dirty.elements) e = {-1, -1.0, {'X', 'x'}};
    dirty.initialize_element_map();
    for (std::size_t i = 0; i < 118; ++i) {
        EXPECT_EQ(dirty.elements[i].number, map.elements[i].number);
        EXPECT_EQ(dirty.elements[i].mass, map.elements[i].mass);
        EXPECT_EQ(text(dirty.elements[i].symbol), text(map.elements[i].symbol));
    }
}

TEST_F(ElementTable, SymbolsAreBlankPaddedToTwo)
{
    EXPECT_EQ(text(map.get_element_symbol(1)), "H ");
    EXPECT_EQ(text(map.get_element_symbol(2)), "He");
    EXPECT_EQ(text(map.get_element_symbol(92)), "U ");
    EXPECT_EQ(text(map.get_element_symbol(118)), "Og");
}

TEST_F(ElementTable, SymbolOutsideTheTableThrows)
{
    for (const int n : {0, -1, 119, 2147483647, -2147483647 - 1}) {
        EXPECT_THROW(map.get_element_symbol(n), std::out_of_range) << "number " << n;
    }
}

struct Lookup {
    std::string symbol;
    int number;
};

class NumberLookup : public ElementTable, public ::testing::WithParamInterface<Lookup> {};

TEST_P(NumberLookup, BlankExtendedExactComparison)
{
    const Lookup& c = GetParam();
    EXPECT_EQ(map.get_element_number(c.symbol), c.number) << "symbol '" << c.symbol << "'";
}

INSTANTIATE_TEST_SUITE_P(
    Forms, NumberLookup,
    ::testing::Values(Lookup{"H", 1}, Lookup{"H ", 1}, Lookup{"H      ", 1}, Lookup{"Os", 76},
                      Lookup{"Ir", 77}, Lookup{"Og  ", 118}, Lookup{"h", 0}, Lookup{"HE", 0},
                      Lookup{" H", 0}, Lookup{"", 0}, Lookup{"   ", 0}, Lookup{"Hel", 0},
                      Lookup{"H\t", 0}, Lookup{std::string("H\0", 2), 0}));

TEST_F(ElementTable, MassesAreSinglePrecisionValuesWidened)
{
    EXPECT_EQ(map.elements[0].mass, 1.00800001621246337890625);
    EXPECT_NE(map.elements[0].mass, 1.008);
    EXPECT_EQ(map.elements[42].mass, 97.0);   // Tc
    EXPECT_EQ(map.elements[117].mass, 294.0); // Og
    EXPECT_EQ(map.elements[1].mass, static_cast<double>(4.002602f));   // He
    EXPECT_EQ(map.elements[91].mass, static_cast<double>(238.02892f)); // U
    for (const auto& e : map.elements) {
        EXPECT_EQ(e.mass, static_cast<double>(static_cast<float>(e.mass))) << "row " << e.number;
    }
}

}  // namespace
