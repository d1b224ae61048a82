// The parts of the library's one-line messages that come from outside:
// offending text and file names, and the system's reasons.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zorvak_crystal {

// `text` in apostrophes for a message: control bytes become \xNN so the
// message stays on one line, and text beyond `limit` bytes is cut with "...".
std::string shown(std::string_view text, std::size_t limit = std::string_view::npos);

// The system's wording for an errno value.
std::string system_reason(int err);

}  // namespace zorvak_crystal
