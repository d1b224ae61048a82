// The XYZ reader's own reading functions, for the library and its tests:
// the window size is a parameter here so that tests can put the window's
// edge anywhere in a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "crystal/crystal.hpp"
#include "crystal/xyz_tokenizer.hpp"

namespace zorvak_crystal {

// read_xyz through a window of `window` bytes.
void read_xyz_file(Crystal& cryst, std::string_view filename, const Interrupt_hook& on_interrupt,
                   std::size_t window);

// Reads the structure that `tokens` hands out into cryst, and nothing after
// it.  `size`, when known, is the whole text's size: it caps the storage a
// count may claim before its atoms are read.  On failure cryst is left as
// it was.
void read_xyz_tokens(Crystal& cryst, Xyz_tokenizer& tokens, std::optional<std::uint64_t> size,
                     const std::string& filename);

}  // namespace zorvak_crystal
