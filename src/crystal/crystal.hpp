// The Crystal record and the XYZ reader and writer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "crystal/element_table.hpp"
#include "crystal/uninitialised_allocator.hpp"
#include "crystal/xyz_error.hpp"

namespace zorvak_crystal {

// An owned array of the record.  The reader writes every element of one it
// makes before it hands it over, so its elements are not zeroed first: for
// a million atoms that would be another pass over 26 MB.
template <class T>
using Owned_array = std::vector<T, Uninitialised_allocator<T>>;

struct Crystal {
    // 3x3 cell, column by column: (r, c) at (c-1)*3 + (r-1), r, c in 1..3.
    std::array<double, 9> cell{};
    // Atom count as read; may be 0 or negative.
    std::int32_t natom = 0;
    // Absent until read; then max(natom, 0) entries each.
    std::optional<Owned_array<Symbol>> name;
    // natom x 3, column by column: all first coordinates, then second, third.
    std::optional<Owned_array<double>> xyz;

    double& cell_at(int r, int c) { return cell[(c - 1) * 3 + (r - 1)]; }
    double cell_at(int r, int c) const { return cell[(c - 1) * 3 + (r - 1)]; }
    // Atom i in 1..n, coordinate k in 1..3; needs xyz present.
    double& xyz_at(std::size_t i, int k) { return (*xyz)[(k - 1) * xyz_atoms() + (i - 1)]; }
    double xyz_at(std::size_t i, int k) const { return (*xyz)[(k - 1) * xyz_atoms() + (i - 1)]; }
    // Atoms the coordinates are held for (natom may say otherwise).
    std::size_t xyz_atoms() const { return xyz ? xyz->size() / 3 : 0; }
};

// Asked before each call that may wait for the file (open, and each read
// as the text is taken), and again when a signal cut one short: whether a
// signal has come that should end the read.  Returning goes on; throwing
// (Read_interrupted, say) abandons the read with that exception.  Without a
// hook the read goes on.
using Interrupt_hook = std::function<void()>;

// Reads the XYZ file named by blank-padded text (trailing blanks dropped,
// leading blanks kept) into cryst.  Regular files, pipes and devices are
// read alike, and only as far as the structure goes.  Throws Xyz_error on
// every failure.
void read_xyz(Crystal& cryst, std::string_view filename, const Interrupt_hook& on_interrupt = {});

// Reads XYZ text already in memory into cryst, as read_xyz does with a
// file's content; `filename` only names the text in errors.  On failure
// cryst is left as it was.
void read_xyz_buffer(Crystal& cryst, std::string_view text, std::string_view filename);

// Writes cryst in the fixed-width list layout; throws Xyz_error on failure.
void write_xyz(const Crystal& cryst, std::string_view filename);

}  // namespace zorvak_crystal
