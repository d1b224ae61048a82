// blocked_transpose: the out-of-place transpose of a column-major matrix,
// conjugating complex elements, with exactly the values of Armadillo's
// trans().  A transpose only moves values; a complex value's imaginary part
// is negated as std::conj negates it (its sign bit flips, for zeros and NaNs
// too, and nothing else changes).
//
// Armadillo moves one element at a time and tiles only matrices of 512x512
// or more.  Here 32-byte vectors (four doubles, two complex values) are
// transposed in registers, a tile at a time, and each step takes one cache
// line's depth of rows from every source column it reads, so that a line is
// used whole while it is in the cache.  The loops are compiled for baseline
// x86-64 and for AVX2, picked at load time.
#pragma once

#include "linalg/armadillo.hpp"
#include "linalg/processor_features.hpp"

#include <algorithm>
#include <complex>
#include <cstddef>
#include <cstring>
#include <type_traits>

namespace zorvak {
namespace transpose_detail {

// Up to this many elements a plain loop is quicker than setting up tiles.
constexpr std::size_t few = 32;

typedef double vector4 __attribute__((vector_size(32)));

inline double conjugated(double value) { return value; }
inline std::complex<double> conjugated(std::complex<double> value) { return std::conj(value); }

// The 4x4 doubles at src (columns src_step apart) land transposed at dst
// (columns dst_step apart): pairs of columns interleaved, then the halves
// of the pairs exchanged.
[[gnu::always_inline]] inline void move_square(const double* src, std::size_t src_step, double* dst,
                                               std::size_t dst_step) {
    vector4 c0, c1, c2, c3;
    std::memcpy(&c0, src, sizeof c0);
    std::memcpy(&c1, src + src_step, sizeof c1);
    std::memcpy(&c2, src + 2 * src_step, sizeof c2);
    std::memcpy(&c3, src + 3 * src_step, sizeof c3);
    const vector4 even01 = __builtin_shufflevector(c0, c1, 0, 4, 2, 6);
    const vector4 odd01 = __builtin_shufflevector(c0, c1, 1, 5, 3, 7);
    const vector4 even23 = __builtin_shufflevector(c2, c3, 0, 4, 2, 6);
    const vector4 odd23 = __builtin_shufflevector(c2, c3, 1, 5, 3, 7);
    const vector4 r0 = __builtin_shufflevector(even01, even23, 0, 1, 4, 5);
    const vector4 r1 = __builtin_shufflevector(odd01, odd23, 0, 1, 4, 5);
    const vector4 r2 = __builtin_shufflevector(even01, even23, 2, 3, 6, 7);
    const vector4 r3 = __builtin_shufflevector(odd01, odd23, 2, 3, 6, 7);
    std::memcpy(dst, &r0, sizeof r0);
    std::memcpy(dst + dst_step, &r1, sizeof r1);
    std::memcpy(dst + 2 * dst_step, &r2, sizeof r2);
    std::memcpy(dst + 3 * dst_step, &r3, sizeof r3);
}

// The 2x2 complex values at src land transposed and conjugated at dst.  A
// vector holds two values, real and imaginary parts interleaved; vector
// negation is the same sign flip as std::conj's.
[[gnu::always_inline]] inline void move_square(const std::complex<double>* src, std::size_t src_step,
                                               std::complex<double>* dst, std::size_t dst_step) {
    const double* from = reinterpret_cast<const double*>(src);  // complex<double> is laid out as double[2]
    double* to = reinterpret_cast<double*>(dst);
    vector4 c0, c1;
    std::memcpy(&c0, from, sizeof c0);
    std::memcpy(&c1, from + 2 * src_step, sizeof c1);
    const vector4 row0 = __builtin_shufflevector(c0, c1, 0, 1, 4, 5);
    const vector4 row1 = __builtin_shufflevector(c0, c1, 2, 3, 6, 7);
    const vector4 r0 = __builtin_shufflevector(row0, -row0, 0, 5, 2, 7);
    const vector4 r1 = __builtin_shufflevector(row1, -row1, 0, 5, 2, 7);
    std::memcpy(to, &r0, sizeof r0);
    std::memcpy(to + 2 * dst_step, &r1, sizeof r1);
}

// Rows i_begin..i_end of columns j_begin..j_end, one element at a time.
template <typename T>
[[gnu::always_inline]] inline void move_elements(const T* src, std::size_t n_rows, T* dst, std::size_t n_cols,
                                                 std::size_t i_begin, std::size_t i_end, std::size_t j_begin,
                                                 std::size_t j_end) {
    for (std::size_t j = j_begin; j < j_end; ++j) {
        const T* from = src + i_begin + j * n_rows;
        T* to = dst + j + i_begin * n_cols;
        for (std::size_t i = i_begin; i < i_end; ++i, ++from, to += n_cols) *to = conjugated(*from);
    }
}

// Rows i..i+Rows of columns j_begin..j_end, in squares while they fit.
// Rows is a multiple of the square's side.
//
// A strip reads a line from each of up to a tile's width of columns, more
// streams than the processor's prefetcher follows, so a strip across many
// columns asks for their lines two strips ahead.  (Measured with the
// matrices out of the cache: on AMD Zen 5 complex ones a fifth quicker,
// doubles no quicker; on an Intel Xeon doubles of 1000x1000 to 4000x4000
// a quarter to a half quicker, and never slower in the cache.)
template <std::size_t Rows, typename T>
[[gnu::always_inline]] inline void move_strip(const T* src, std::size_t n_rows, T* dst, std::size_t n_cols,
                                              std::size_t i, std::size_t j_begin, std::size_t j_end) {
    constexpr std::size_t side = 32 / sizeof(T);
    constexpr std::size_t ahead = 2 * Rows;
    constexpr std::size_t many_columns = 16;
    const bool prefetch = j_end - j_begin >= many_columns && i + ahead + Rows <= n_rows;
    std::size_t j = j_begin;
    for (; j + side <= j_end; j += side) {
        if (prefetch) {
            for (std::size_t c = j; c < j + side; ++c) __builtin_prefetch(src + i + ahead + c * n_rows);
        }
        for (std::size_t k = i; k < i + Rows; k += side) {
            move_square(src + k + j * n_rows, n_rows, dst + j + k * n_cols, n_cols);
        }
    }
    move_elements(src, n_rows, dst, n_cols, i, i + Rows, j, j_end);
}

// Two or three columns of doubles, too few for a square: their transpose
// interleaves them, four rows at a time into 8 or 12 consecutive values.
template <std::size_t Cols>
[[gnu::always_inline]] inline void interleave_columns(const double* src, std::size_t n_rows, double* dst) {
    std::size_t i = 0;
    for (; i + 4 <= n_rows; i += 4) {
        vector4 a, b;
        std::memcpy(&a, src + i, sizeof a);
        std::memcpy(&b, src + n_rows + i, sizeof b);
        if constexpr (Cols == 2) {
            const vector4 low = __builtin_shufflevector(a, b, 0, 4, 1, 5);   // a0 b0 a1 b1
            const vector4 high = __builtin_shufflevector(a, b, 2, 6, 3, 7);  // a2 b2 a3 b3
            std::memcpy(dst + 2 * i, &low, sizeof low);
            std::memcpy(dst + 2 * i + 4, &high, sizeof high);
        } else {
            vector4 c;
            std::memcpy(&c, src + 2 * n_rows + i, sizeof c);
            const vector4 ab01 = __builtin_shufflevector(a, b, 0, 4, 1, 5);  // a0 b0 a1 b1
            const vector4 ab12 = __builtin_shufflevector(a, b, 1, 5, 2, 6);  // a1 b1 a2 b2
            const vector4 ab3 = __builtin_shufflevector(a, b, 3, 7, 3, 7);   // a3 b3 a3 b3
            const vector4 first = __builtin_shufflevector(ab01, c, 0, 1, 4, 2);  // a0 b0 c0 a1
            const vector4 second = __builtin_shufflevector(ab12, c, 1, 5, 2, 3);  // b1 c1 a2 b2
            const vector4 third = __builtin_shufflevector(ab3, c, 6, 0, 1, 7);    // c2 a3 b3 c3
            std::memcpy(dst + 3 * i, &first, sizeof first);
            std::memcpy(dst + 3 * i + 4, &second, sizeof second);
            std::memcpy(dst + 3 * i + 8, &third, sizeof third);
        }
    }
    move_elements(src, n_rows, dst, Cols, i, n_rows, 0, Cols);
}

// dst (n_cols x n_rows) = trans(src (n_rows x n_cols)), tile by tile.  A
// strip takes a cache line's depth of rows (8 doubles, 4 complex values)
// from each column it crosses; the rows left below the last whole strip go
// in squares, then element by element.
template <typename T>
[[gnu::always_inline]] inline void transpose_tiles(const T* src, std::size_t n_rows, std::size_t n_cols, T* dst) {
    constexpr std::size_t side = 32 / sizeof(T);
    constexpr std::size_t depth = 64 / sizeof(T);
    constexpr std::size_t tile = 128;  // rows and columns, a multiple of depth
    if (n_rows == 1 || n_cols == 1) {
        // A vector's transpose keeps its element sequence.
        for (std::size_t k = 0; k < n_rows * n_cols; ++k) dst[k] = conjugated(src[k]);
        return;
    }
    if constexpr (std::is_same_v<T, double>) {
        if (n_cols == 2) return interleave_columns<2>(src, n_rows, dst);
        if (n_cols == 3) return interleave_columns<3>(src, n_rows, dst);
    }
    if (n_rows < side || n_cols < side) {
        // No square fits: spare the tiles' set-up.
        move_elements(src, n_rows, dst, n_cols, 0, n_rows, 0, n_cols);
        return;
    }
    for (std::size_t i0 = 0; i0 < n_rows; i0 += tile) {
        const std::size_t i_end = std::min(n_rows, i0 + tile);
        for (std::size_t j0 = 0; j0 < n_cols; j0 += tile) {
            const std::size_t j_end = std::min(n_cols, j0 + tile);
            std::size_t i = i0;
            for (; i + depth <= i_end; i += depth) move_strip<depth>(src, n_rows, dst, n_cols, i, j0, j_end);
            for (; i + side <= i_end; i += side) move_strip<side>(src, n_rows, dst, n_cols, i, j0, j_end);
            move_elements(src, n_rows, dst, n_cols, i, i_end, j0, j_end);
        }
    }
}

template <typename T>
[[gnu::target("avx2")]] void transpose_values_avx2(const T* src, std::size_t n_rows, std::size_t n_cols, T* dst) {
    transpose_tiles(src, n_rows, n_cols, dst);
}

template <typename T>
void transpose_values(const T* src, std::size_t n_rows, std::size_t n_cols, T* dst) {
    if (use_avx2()) {
        transpose_values_avx2(src, n_rows, n_cols, dst);
    } else {
        transpose_tiles(src, n_rows, n_cols, dst);
    }
}

}  // namespace transpose_detail

// dst = trans(src) for src of n_rows x n_cols; dst holds n_cols x n_rows
// elements and does not overlap src.
template <typename T>
void blocked_transpose(const T* src, std::size_t n_rows, std::size_t n_cols, T* dst) {
    namespace detail = transpose_detail;
    if (n_rows == 0 || n_cols == 0) return;  // a 2^64-1 x 0 matrix is not walked
    if (std::is_same_v<T, double> && (n_rows == 1 || n_cols == 1)) {
        std::copy(src, src + n_rows * n_cols, dst);  // a vector keeps its element sequence
    } else if (n_rows * n_cols <= detail::few) {
        detail::move_elements(src, n_rows, dst, n_cols, 0, n_rows, 0, n_cols);
    } else {
        detail::transpose_values(src, n_rows, n_cols, dst);
    }
}

// to = trans(from), as Armadillo's trans() assigns it: `to` is resized
// first (Armadillo's set_size, with its errors), then filled.
template <typename T>
void assign_transpose(arma::Mat<T>& to, const arma::Mat<T>& from) {
    to.set_size(from.n_cols, from.n_rows);
    blocked_transpose(from.memptr(), from.n_rows, from.n_cols, to.memptr());
}

}  // namespace zorvak
