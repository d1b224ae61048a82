// The 118-row element table.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace zorvak_crystal {

// Fixed-length text of two characters, blank-padded, no terminator.
using Symbol = std::array<char, 2>;

struct Element {
    std::int32_t number;
    double mass;
    Symbol symbol;
};

struct Element_map {
    // Row i (1..118) at elements[i - 1].
    std::array<Element, 118> elements;

    // Position of the first row whose symbol equals `symbol` under the
    // blank-extended, case-sensitive comparison; 0 when none does.
    std::int32_t get_element_number(std::string_view symbol) const;
    // Symbol of row `number`; throws std::out_of_range outside 1..118.
    Symbol get_element_symbol(std::int32_t number) const;
    // Fills all 118 rows.
    void initialize_element_map();
};

}  // namespace zorvak_crystal
