// The one include of Armadillo for the linear-algebra types, with its
// storage allocation routed through acquire_storage/release_storage and its
// warnings through armadillo_warning_stream below.
#pragma once

#if defined(ARMA_INCLUDES) && !defined(ARMA_ALIEN_MEM_ALLOC_FUNCTION)
#error "<armadillo> was included before linalg/armadillo.hpp: the two would allocate differently"
#endif

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <ostream>

namespace zorvak {

// Armadillo's alignment (32 bytes for blocks of a kilobyte or more, 16
// below), plus a transparent-huge-page hint for large blocks, as numpy gives
// its arrays.  Without the hint a fresh 80 MB result costs some 20,000 page
// faults on first touch, which dominates memory-bound kernels such as a sum
// of two long vectors.
//
// The block is cut from a plain malloc of the size plus the alignment, and
// the start malloc gave sits in the word before it.  posix_memalign, which
// Armadillo uses, asks for more than that and hands the spare ends back as
// small chunks that other allocations then take: the freed block, hemmed in,
// is too small for the next request of its size, so every allocate-release
// cycle of a few megabytes grew the heap into fresh pages (some 50 page
// faults for each 8 MB result).  A malloc of one size takes its freed chunk
// again, as numpy's arrays do.
inline void* acquire_storage(std::size_t n_bytes) noexcept {
    constexpr std::size_t page = 4096;
    constexpr std::size_t huge_page_hint_from = std::size_t(1) << 22;
    static_assert(alignof(std::max_align_t) >= sizeof(void*), "malloc leaves room for the start word");
    const std::size_t alignment = n_bytes >= 1024 ? 32 : 16;
    if (n_bytes > SIZE_MAX - alignment) return nullptr;
    void* start = std::malloc(n_bytes + alignment);
    if (start == nullptr) return nullptr;
    // The next multiple of the alignment after start: at least a word on.
    const std::uintptr_t block = (reinterpret_cast<std::uintptr_t>(start) + alignment) & ~std::uintptr_t(alignment - 1);
    std::memcpy(reinterpret_cast<void*>(block - sizeof start), &start, sizeof start);
    if (n_bytes >= huge_page_hint_from) {
        const std::uintptr_t first_page = (block + page - 1) & ~std::uintptr_t(page - 1);
        // Only a hint: a kernel without huge pages refuses it harmlessly.
        static_cast<void>(madvise(reinterpret_cast<void*>(first_page), n_bytes - (first_page - block),
                                  MADV_HUGEPAGE));
    }
    return reinterpret_cast<void*>(block);
}

inline void release_storage(void* memory) noexcept {
    if (memory == nullptr) return;
    void* start = nullptr;
    std::memcpy(&start, static_cast<char*>(memory) - sizeof start, sizeof start);
    std::free(start);
}

// Armadillo's warnings go to a stream of our own, which writes where
// std::cerr writes, so that they can be silenced without touching std::cerr.
// (From Armadillo 14 on, set_cerr_stream does nothing; the stream can only
// be chosen when Armadillo is compiled.)
class armadillo_warning_stream {
public:
    static std::ostream& get() {
        static armadillo_warning_stream instance;
        return instance.stream;
    }
    static void mute() { get().rdbuf(nullptr); }  // no buffer: every write is dropped
    static void unmute() { get().rdbuf(std::cerr.rdbuf()); }

private:
    // As std::cerr: unbuffered, and standard output flushed first.
    armadillo_warning_stream() : stream(std::cerr.rdbuf()) {
        stream.setf(std::ios_base::unitbuf);
        stream.tie(&std::cout);
    }
    std::ostream stream;
};

// While it lives, Armadillo's warnings go nowhere.
class armadillo_warnings_muted {
public:
    armadillo_warnings_muted() { armadillo_warning_stream::mute(); }
    ~armadillo_warnings_muted() { armadillo_warning_stream::unmute(); }
    armadillo_warnings_muted(const armadillo_warnings_muted&) = delete;
    armadillo_warnings_muted& operator=(const armadillo_warnings_muted&) = delete;
};

}  // namespace zorvak

#define ARMA_ALIEN_MEM_ALLOC_FUNCTION zorvak::acquire_storage
#define ARMA_ALIEN_MEM_FREE_FUNCTION zorvak::release_storage
#define ARMA_CERR_STREAM zorvak::armadillo_warning_stream::get()
// Where the BLAS/LAPACK library exports its routines under names of its own
// (the wheels' does: scipy_dgemm_ for dgemm_), the build names a header that
// maps Armadillo's calls onto them.
#if defined(ZORVAK_BLAS_NAMES)
#include ZORVAK_BLAS_NAMES
#endif
#include <armadillo>
