// File names reach the library as blank-padded text of fixed length.
#pragma once

#include <cstddef>
#include <string_view>

namespace zorvak_crystal {

// The name without its trailing blanks; leading blanks stay.
inline std::string_view trim_trailing_blanks(std::string_view name)
{
    const std::size_t last = name.find_last_not_of(' ');
    return last == std::string_view::npos ? std::string_view{} : name.substr(0, last + 1);
}

}  // namespace zorvak_crystal
