#include "crystal/element_table.hpp"
#include <stdexcept>
namespace zorvak_crystal {
std::int32_t Element_map::get_element_number(std::string_view) const { throw std::logic_error("not yet built"); }
Symbol Element_map::get_element_symbol(std::int32_t) const { throw std::logic_error("not yet built"); }
void Element_map::initialize_element_map() { throw std::logic_error("not yet built"); }
}
