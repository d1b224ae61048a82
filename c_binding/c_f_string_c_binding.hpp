// Conversion of NUL-terminated strings into fixed-length, blank-padded text,
// the form in which the crystal library takes file names.
#pragma once

#include <cstddef>

namespace c_f_string_c_binding {

// The terminator of a C string.
inline constexpr char nul = '\0';

// Both conversions have C linkage, for C callers; like everything but the
// module's two entries they stay hidden inside the shared library.
extern "C" {

// Fills f_string[0, L) with the bytes of c_string up to its terminator or
// the L-th byte, whichever comes first, and blanks after them.  Bytes are
// copied unchanged, so UTF-8 stays UTF-8 (a cut may split a character).
// A null c_string gives L blanks.
void c_f_string_ptr(const char* c_string, char* f_string, std::size_t L) noexcept;

// As c_f_string_ptr, for callers holding a character array, which cannot
// be null.
void c_f_string_chars(const char* c_string, char* f_string, std::size_t L) noexcept;

}  // extern "C"

}  // namespace c_f_string_c_binding
