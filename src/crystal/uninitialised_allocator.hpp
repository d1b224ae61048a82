// An allocator whose resize leaves the new elements unset.
#pragma once

#include <memory>
#include <new>
#include <type_traits>

namespace zorvak_crystal {

// Leaves new elements uninitialised: an array that is written whole before
// it is read (a buffer that read() fills, the coordinates a reader sets)
// need not be zero-filled first.
template <class T>
struct Uninitialised_allocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = Uninitialised_allocator<U>;
    };
    Uninitialised_allocator() = default;
    template <class U>
    Uninitialised_allocator(const Uninitialised_allocator<U>&) noexcept {}

    template <class U>
    void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>)
    {
        ::new (static_cast<void*>(p)) U;
    }
};

}  // namespace zorvak_crystal
