#include "crystal/atom_storage.hpp"

#include <sys/mman.h>

#include <cstdint>
#include <utility>
#include <vector>

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

namespace {

// Asks for huge pages under a large array before it is first written: a
// million atoms' coordinates take some 6,000 page faults on 4 KiB pages,
// a few milliseconds of a read that takes fifty.  Only a hint: a kernel
// without them refuses it harmlessly.
template <class T>
void hint_huge_pages(const Owned_array<T>& reserved)
{
    constexpr std::uintptr_t huge_page = std::uintptr_t(1) << 21;
    const auto start = reinterpret_cast<std::uintptr_t>(reserved.data());
    const std::uintptr_t end = start + reserved.capacity() * sizeof(T);
    const std::uintptr_t first = (start + huge_page - 1) & ~(huge_page - 1);
    if (end > first + huge_page) {
        static_cast<void>(::madvise(reinterpret_cast<void*>(first), (end - first) & ~(huge_page - 1), MADV_HUGEPAGE));
    }
}

}  // namespace

Atom_storage::Atom_storage(std::size_t natom, bool count_trusted, const std::string& filename)
    : natom_(natom), count_trusted_(count_trusted), filename_(filename)
{
    try {
        if (count_trusted_) {
            xyz_.reserve(3 * natom_);
            hint_huge_pages(xyz_);
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
