#include "crystal/atom_storage.hpp"

#include <sys/mman.h>

#include <utility>

namespace zorvak_crystal {

void* map_block(std::size_t bytes)
{
    void* block = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) throw std::bad_alloc();
    return block;
}

void unmap_block(void* block, std::size_t bytes) noexcept
{
    ::munmap(block, bytes);
}

Atom_storage::Atom_storage(std::size_t natom, bool count_trusted, const std::string& filename)
    : natom_(natom), count_trusted_(count_trusted), filename_(filename)
{
    try {
        if (count_trusted_) {
            xyz_.resize(3 * natom_);
            name_.resize(natom_);
        }
    } catch (const std::bad_alloc&) {
        fail();
    }
}

void Atom_storage::move_into(Crystal& cryst)
{
    if (!count_trusted_) {
        // The record's arrays are reserved, not written, so they take
        // memory only as the blocks, released one by one, fill them.
        try {
            name_.reserve(natom_);
            xyz_.reserve(3 * natom_);
        } catch (const std::bad_alloc&) {
            fail();
        }
        name_column_.move_to(name_);
        x_column_.move_to(xyz_);
        y_column_.move_to(xyz_);
        z_column_.move_to(xyz_);
    }
    cryst.name = std::move(name_);
    cryst.xyz = std::move(xyz_);
}

void Atom_storage::fail() const
{
    throw Xyz_error::out_of_memory(filename_, "Error allocating " + std::to_string(24 * natom_) + " bytes for "
                                                  + std::to_string(natom_) + " atoms");
}

}  // namespace zorvak_crystal
