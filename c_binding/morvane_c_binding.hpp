// Reading an XYZ file by its C name: the one place where a NUL-terminated
// name becomes the crystal library's fixed-length file name.
#pragma once

#include <cstddef>

#include "crystal/crystal.hpp"

namespace morvane_c_binding {

// The name field handed to the reader is at least this long; a longer name
// gets a field of its own length, so no name is ever cut.
inline constexpr std::size_t min_name_length = 128;

// Reads the file named by the NUL-terminated xyz_file_in_c into a local
// Crystal and discards it, so a return means the file exists and is well
// formed.  A null pointer names no file and fails to open.  Throws
// zorvak_crystal::Xyz_error or std::bad_alloc: the Python module turns them
// into exceptions, c_read_xyz into its exit status.  `on_interrupt` is asked
// before each wait for the file, and when a signal cuts one short, whether
// to go on.
void read_xyz_by_name(const char* xyz_file_in_c, const zorvak_crystal::Interrupt_hook& on_interrupt = {});

}  // namespace morvane_c_binding

extern "C" {

// C entry for callers outside Python.  Returns only after a complete read;
// on any failure it writes the reader's diagnostic to standard error and
// ends the process with status 2 (1 when memory runs out).
[[gnu::visibility("default")]] void c_read_xyz(const char* xyz_file_in_c);

}
