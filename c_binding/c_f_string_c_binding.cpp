#include "c_binding/c_f_string_c_binding.hpp"

#include <algorithm>

namespace c_f_string_c_binding {

extern "C" void c_f_string_chars(const char* c_string, char* f_string, std::size_t L) noexcept
{
    std::size_t i = 0;
    for (; i < L && c_string[i] != nul; ++i) f_string[i] = c_string[i];
    std::fill(f_string + i, f_string + L, ' ');
}

extern "C" void c_f_string_ptr(const char* c_string, char* f_string, std::size_t L) noexcept
{
    if (c_string == nullptr) {
        std::fill(f_string, f_string + L, ' ');
        return;
    }
    c_f_string_chars(c_string, f_string, L);
}

}  // namespace c_f_string_c_binding
