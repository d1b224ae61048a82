// The part of an interpreter version string that an extension module is
// bound to.
#pragma once

#include <string_view>

namespace morvane_module {

// "3.11.7 (main, ...)" -> "3.11".  Major and minor are kept whole: cut to
// three characters, 3.11 and 3.12 (or 3.1 and 3.10) would look alike.
constexpr std::string_view major_minor(std::string_view version)
{
    constexpr std::string_view digits = "0123456789";
    const auto major_end = version.find_first_not_of(digits);
    if (major_end == std::string_view::npos || version[major_end] != '.')
        return version.substr(0, major_end);
    return version.substr(0, version.find_first_not_of(digits, major_end + 1));
}

}  // namespace morvane_module
