// Storage for the atoms the reader takes, column by column as the Crystal
// record keeps them.
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "crystal/crystal.hpp"

namespace zorvak_crystal {

// A block of `bytes` bytes mapped from the system, and its release; the
// mapping throws std::bad_alloc when it cannot be had.
void* map_block(std::size_t bytes);
void unmap_block(void* block, std::size_t bytes) noexcept;

// One column of atoms whose number is not known ahead, in fixed blocks
// mapped from the system: growing never copies, and each block leaves the
// process as soon as it is gathered into the record (the allocator could
// keep a freed block of this size for later, past the read).
template <class T>
class Mapped_column {
public:
    void push_back(T value)
    {
        if (used_ == block_atoms) {
            Block block(static_cast<T*>(map_block(block_bytes)));
            blocks_.push_back(std::move(block));
            used_ = 0;
        }
        blocks_.back().get()[used_++] = value;
    }

    // Appends the column to `out`, which has room for it, releasing each
    // block once copied.
    void move_to(Owned_array<T>& out)
    {
        for (std::size_t b = 0; b < blocks_.size(); ++b) {
            const T* first = blocks_[b].get();
            out.insert(out.end(), first, first + (b + 1 < blocks_.size() ? block_atoms : used_));
            blocks_[b].reset();
        }
        blocks_.clear();
    }

private:
    // 65536 atoms a block (512 KiB of a coordinate, 128 KiB of symbols): a
    // mapping per block costs nothing next to filling it, and the peak holds
    // one block beyond the record.
    static constexpr std::size_t block_atoms = std::size_t(1) << 16;
    static constexpr std::size_t block_bytes = block_atoms * sizeof(T);

    struct Unmap {
        void operator()(T* block) const noexcept { unmap_block(block, block_bytes); }
    };
    using Block = std::unique_ptr<T, Unmap>;

    std::vector<Block> blocks_;
    std::size_t used_ = block_atoms;  // atoms in the last block
};

// The atoms' arrays.  When the count is trusted (the text is known to have
// room for it), they are made at once and filled in place.  Otherwise (a
// pipe, or a count the file cannot hold) they grow in mapped columns with
// the atoms actually read, so a false count costs no memory and leads to the
// error the text itself gives, and are gathered at the end.
class Atom_storage {
public:
    // Throws out_of_memory, naming `filename`, when the arrays cannot be had.
    Atom_storage(std::size_t natom, bool count_trusted, const std::string& filename);

    // Atom i from 0.
    void set(std::size_t i, Symbol symbol, double x, double y, double z)
    {
        if (count_trusted_) {
            name_[i] = symbol;
            xyz_[i] = x;
            xyz_[natom_ + i] = y;
            xyz_[2 * natom_ + i] = z;
            return;
        }
        try {
            name_column_.push_back(symbol);
            x_column_.push_back(x);
            y_column_.push_back(y);
            z_column_.push_back(z);
        } catch (const std::bad_alloc&) {
            fail();
        }
    }

    // Hands the complete arrays to the record.
    void move_into(Crystal& cryst);

private:
    [[noreturn]] void fail() const;

    std::size_t natom_;
    bool count_trusted_;
    const std::string& filename_;
    // The record's arrays: filled in place, or gathered from the columns.
    Owned_array<Symbol> name_;
    Owned_array<double> xyz_;
    Mapped_column<Symbol> name_column_;
    Mapped_column<double> x_column_;
    Mapped_column<double> y_column_;
    Mapped_column<double> z_column_;
};

}  // namespace zorvak_crystal
