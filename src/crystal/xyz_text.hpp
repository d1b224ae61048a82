// Text shared by the reader and writer: file names as blank-padded text,
// and offending text shown safely inside one-line messages.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zorvak_crystal {

// A blank-padded file name without its trailing blanks; leading blanks stay.
std::string_view trim_trailing_blanks(std::string_view name);

// `text` in apostrophes for a message: control bytes become \xNN so the
// message stays on one line, and text beyond `limit` bytes is cut with "...".
std::string shown(std::string_view text, std::size_t limit = std::string_view::npos);

// The system's wording for an errno value.
std::string system_reason(int err);

}  // namespace zorvak_crystal
