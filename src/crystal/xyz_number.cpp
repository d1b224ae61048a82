#include "crystal/xyz_number.hpp"

namespace zorvak_crystal {

bool plain_real_wide(const char* first, unsigned size, std::uint64_t digits, double& value)
{
    return quick_number_detail::plain_real_as<true>(first, size, digits, value);
}

}  // namespace zorvak_crystal
