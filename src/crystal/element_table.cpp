#include "crystal/element_table.hpp"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace zorvak_crystal {

namespace {

struct Row {
    char symbol[3];
    // The listed masses are kept to single precision: a float literal is
    // the float nearest the decimal text, widened to double on use.
    float mass;
};

// Row i (1..118) at rows[i - 1], in order of atomic number.
constexpr Row rows[118] = {
    {"H ", 1.008f}, {"He", 4.002602f}, {"Li", 6.94f}, {"Be", 9.012183f},
    {"B ", 10.81f}, {"C ", 12.011f}, {"N ", 14.007f}, {"O ", 15.999f},
    {"F ", 18.998404f}, {"Ne", 20.1797f}, {"Na", 22.989769f}, {"Mg", 24.305f},
    {"Al", 26.981539f}, {"Si", 28.085f}, {"P ", 30.973763f}, {"S ", 32.06f},
    {"Cl", 35.45f}, {"Ar", 39.95f}, {"K ", 39.0983f}, {"Ca", 40.078f},
    {"Sc", 44.95591f}, {"Ti", 47.867f}, {"V ", 50.9415f}, {"Cr", 51.9961f},
    {"Mn", 54.93804f}, {"Fe", 55.845f}, {"Co", 58.933155f}, {"Ni", 58.6934f},
    {"Cu", 63.546f}, {"Zn", 65.38f}, {"Ga", 69.723f}, {"Ge", 72.63f},
    {"As", 74.92159f}, {"Se", 78.971f}, {"Br", 79.904f}, {"Kr", 83.798f},
    {"Rb", 85.4678f}, {"Sr", 87.62f}, {"Y ", 88.90584f}, {"Zr", 91.224f},
    {"Nb", 92.90637f}, {"Mo", 95.95f}, {"Tc", 97.0f}, {"Ru", 101.07f},
    {"Rh", 102.90549f}, {"Pd", 106.42f}, {"Ag", 107.8682f}, {"Cd", 112.414f},
    {"In", 114.818f}, {"Sn", 118.71f}, {"Sb", 121.76f}, {"Te", 127.6f},
    {"I ", 126.90447f}, {"Xe", 131.293f}, {"Cs", 132.90546f}, {"Ba", 137.327f},
    {"La", 138.90547f}, {"Ce", 140.116f}, {"Pr", 140.90765f}, {"Nd", 144.242f},
    {"Pm", 145.0f}, {"Sm", 150.36f}, {"Eu", 151.964f}, {"Gd", 157.25f},
    {"Tb", 158.92535f}, {"Dy", 162.5f}, {"Ho", 164.93033f}, {"Er", 167.259f},
    {"Tm", 168.93422f}, {"Yb", 173.045f}, {"Lu", 174.9668f}, {"Hf", 178.49f},
    {"Ta", 180.94788f}, {"W ", 183.84f}, {"Re", 186.207f}, {"Os", 190.23f},
    {"Ir", 192.217f}, {"Pt", 195.084f}, {"Au", 196.96657f}, {"Hg", 200.592f},
    {"Tl", 204.38f}, {"Pb", 207.2f}, {"Bi", 208.9804f}, {"Po", 209.0f},
    {"At", 210.0f}, {"Rn", 222.0f}, {"Fr", 223.0f}, {"Ra", 226.0f},
    {"Ac", 227.0f}, {"Th", 232.0377f}, {"Pa", 231.03587f}, {"U ", 238.02892f},
    {"Np", 237.0f}, {"Pu", 244.0f}, {"Am", 243.0f}, {"Cm", 247.0f},
    {"Bk", 247.0f}, {"Cf", 251.0f}, {"Es", 252.0f}, {"Fm", 257.0f},
    {"Md", 258.0f}, {"No", 259.0f}, {"Lr", 266.0f}, {"Rf", 267.0f},
    {"Db", 268.0f}, {"Sg", 269.0f}, {"Bh", 270.0f}, {"Hs", 269.0f},
    {"Mt", 278.0f}, {"Ds", 281.0f}, {"Rg", 282.0f}, {"Cn", 285.0f},
    {"Nh", 286.0f}, {"Fl", 289.0f}, {"Mc", 290.0f}, {"Lv", 293.0f},
    {"Ts", 294.0f}, {"Og", 294.0f},
};

}  // namespace

std::int32_t Element_map::get_element_number(std::string_view symbol) const
{
    // Blank-extended comparison: the shorter side counts as padded with
    // blanks, then bytes are compared exactly (case and leading blanks count).
    const auto equal = [symbol](const Symbol& stored) {
        const std::size_t len = std::max<std::size_t>(stored.size(), symbol.size());
        for (std::size_t i = 0; i < len; ++i) {
            const char a = i < stored.size() ? stored[i] : ' ';
            const char b = i < symbol.size() ? symbol[i] : ' ';
            if (a != b) return false;
        }
        return true;
    };
    for (std::size_t i = 0; i < elements.size(); ++i) {
        if (equal(elements[i].symbol)) return static_cast<std::int32_t>(i + 1);
    }
    return 0;
}

Symbol Element_map::get_element_symbol(std::int32_t number) const
{
    if (number < 1 || number > static_cast<std::int32_t>(elements.size())) {
        throw std::out_of_range("get_element_symbol(): atomic number "
                                + std::to_string(number) + " is outside 1..118");
    }
    return elements[static_cast<std::size_t>(number - 1)].symbol;
}

void Element_map::initialize_element_map()
{
    for (std::size_t i = 0; i < elements.size(); ++i) {
        Element& e = elements[i];
        e.number = static_cast<std::int32_t>(i + 1);
        e.mass = static_cast<double>(rows[i].mass);
        e.symbol = {rows[i].symbol[0], rows[i].symbol[1]};
    }
}

}  // namespace zorvak_crystal
