// std::mt19937_64 a whole 312-word block at a time, and the uniform values
// of std::uniform_real_distribution<double> on [0, 1), as libstdc++ gives
// them: the same words, the same doubles bit for bit, and the engine left
// in the same state.
//
// What is reproduced, from libstdc++:
// - std::mt19937_64: its 312 state words, the index of the next word, the
//   seeding, the twist that renews all words once they are used up, and the
//   tempering;
// - std::uniform_real_distribution<double> on [0, 1): one 64-bit draw,
//   converted to double with one rounding, times 2^-64, with 1.0 replaced by
//   the largest double below 1.
//
// The engine's words are the standard's, whatever the library; only how it
// keeps them differs.  This is the one file that reads or writes a
// std::mt19937_64 through its layout (state_of and restore), for the
// libraries whose layout was checked: libstdc++, whose layout EngineState
// is, and libc++ (the wheels' library).  With any other the values are
// drawn through the engine's own interface, one call per draw: slower, the
// same values.
//
// The hot loop is compiled twice, for baseline x86-64 and for AVX2, and
// picked once, from what the processor reports; every operation in it is
// exact at any vector width.
#pragma once

#include <immintrin.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <stdexcept>
#include <type_traits>

#include "linalg/processor_features.hpp"

namespace zorvak {
namespace random_fill_detail {

constexpr std::size_t state_words = 312;  // std::mt19937_64's n
constexpr std::size_t shift_words = 156;  // and m

// The engine in libstdc++'s layout: the state words, then the index of the
// next word to temper (312: the block is used up).  Where the library keeps
// the engine otherwise, retired holds the words the last twist replaced,
// which that layout still needs (see restore).
struct EngineState {
    std::uint64_t word[state_words];
    std::size_t next;
    std::uint64_t retired[state_words];
};

static_assert(std::mt19937_64::state_size == state_words && std::mt19937_64::shift_size == shift_words);
static_assert(std::is_trivially_copyable_v<std::mt19937_64>);

#if defined(__GLIBCXX__)
// libstdc++: EngineState's first two members.
inline constexpr bool layout_known = true;
inline constexpr bool keeps_retired = false;

struct LibraryEngine {
    std::uint64_t word[state_words];
    std::size_t next;
};
static_assert(offsetof(EngineState, next) == offsetof(LibraryEngine, next));

inline EngineState state_of(const std::mt19937_64& engine) {
    EngineState state;
    std::memcpy(&state, &engine, sizeof(LibraryEngine));
    return state;
}

// The cast only says that the engine's layout, not its constructor, is what
// matters here.
inline void restore(std::mt19937_64& engine, const EngineState& state) {
    std::memcpy(static_cast<void*>(&engine), &state, sizeof(LibraryEngine));
}

#elif defined(_LIBCPP_VERSION) && _LIBCPP_VERSION >= 220000 && _LIBCPP_VERSION < 230000
// libc++ (checked against 22): the last 312 words drawn, as a ring whose
// oldest word sits at the index; each draw renews the oldest word alone,
// with the same recurrence, and tempers it.
inline constexpr bool layout_known = true;
inline constexpr bool keeps_retired = true;

struct LibraryEngine {
    std::uint64_t ring[state_words];
    std::size_t oldest;
};

// The ring in draw order is the block that libstdc++'s engine would have
// used up: its next draw twists, renewing the words as libc++'s would.
inline EngineState state_of(const std::mt19937_64& engine) {
    LibraryEngine kept;
    std::memcpy(&kept, &engine, sizeof kept);
    EngineState state;
    std::rotate_copy(kept.ring, kept.ring + kept.oldest, kept.ring + state_words, state.word);
    state.next = state_words;
    return state;
}

// The last 312 words drawn: those of the retired block not yet replaced in
// draw order, then the words of the current block drawn so far.
inline void restore(std::mt19937_64& engine, const EngineState& state) {
    LibraryEngine kept;
    const auto after_retired = std::copy(state.retired + state.next, state.retired + state_words, kept.ring);
    std::copy(state.word, state.word + state.next, after_retired);
    kept.oldest = 0;
    std::memcpy(static_cast<void*>(&engine), &kept, sizeof kept);
}

#else
// Not known here: every draw goes through the engine's interface.
inline constexpr bool layout_known = false;
inline constexpr bool keeps_retired = false;
struct LibraryEngine {};

[[noreturn]] inline EngineState state_of(const std::mt19937_64&) {
    throw std::logic_error("state_of(): this standard library's std::mt19937_64 layout is not known");
}
[[noreturn]] inline void restore(std::mt19937_64&, const EngineState&) {
    throw std::logic_error("restore(): this standard library's std::mt19937_64 layout is not known");
}
#endif

static_assert(!layout_known || sizeof(LibraryEngine) == sizeof(std::mt19937_64));

// std::mt19937_64::seed(value).
inline EngineState seeded_state(std::uint64_t seed) {
    EngineState state;
    state.word[0] = seed;
    for (std::size_t i = 1; i < state_words; ++i) {
        const std::uint64_t previous = state.word[i - 1];
        state.word[i] = 6364136223846793005ULL * (previous ^ (previous >> 62)) + i;
    }
    state.next = state_words;
    return state;
}

// Renews all 312 words.  Both loops read only words ahead of the one they
// write, or words already renewed, so they vectorize as written.
[[gnu::always_inline]] inline void twist(EngineState& state) {
    constexpr std::uint64_t upper = ~std::uint64_t(0) << 31;
    constexpr std::uint64_t lower = ~upper;
    constexpr std::uint64_t matrix_a = 0xb5026f5aa96619e9ULL;
    if constexpr (keeps_retired) std::copy(state.word, state.word + state_words, state.retired);
    std::uint64_t* x = state.word;
    const auto mixed = [](std::uint64_t high_from, std::uint64_t low_from) {
        const std::uint64_t y = (high_from & upper) | (low_from & lower);
        return (y >> 1) ^ (-(y & 1) & matrix_a);
    };
    for (std::size_t k = 0; k < state_words - shift_words; ++k) x[k] = x[k + shift_words] ^ mixed(x[k], x[k + 1]);
    for (std::size_t k = state_words - shift_words; k < state_words - 1; ++k)
        x[k] = x[k - (state_words - shift_words)] ^ mixed(x[k], x[k + 1]);
    x[state_words - 1] = x[shift_words - 1] ^ mixed(x[state_words - 1], x[0]);
    state.next = 0;
}

[[gnu::always_inline]] inline std::uint64_t temper(std::uint64_t y) {
    y ^= (y >> 29) & 0x5555555555555555ULL;
    y ^= (y << 17) & 0x71d67fffeda60000ULL;
    y ^= (y << 37) & 0xfff7eee000000000ULL;
    return y ^ (y >> 43);
}

[[gnu::always_inline]] inline double double_from_bits(std::uint64_t bits) {
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// The uniform distribution's value for one draw.  The draw's two halves sit
// in the mantissas of 2^84 and 2^52; subtracting those powers is exact, and
// the one addition rounds the whole draw once, as a scalar conversion
// would.  This form vectorizes where a 64-bit unsigned conversion does not.
[[gnu::always_inline]] inline double unit_value(std::uint64_t draw) {
    constexpr double below_one = 0x1.fffffffffffffp-1;
    const double high = double_from_bits((draw >> 32) | 0x4530000000000000ULL) - 0x1.00000001p84;
    const double low = double_from_bits((draw & 0xffffffffULL) | 0x4330000000000000ULL);
    const double value = (high + low) * 0x1p-64;
    return value < 1.0 ? value : below_one;
}

[[gnu::always_inline]] inline void unit_values(const std::uint64_t* words, double* out, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) out[i] = unit_value(temper(words[i]));
}

// count uniform values from the engine, in draw order.
[[gnu::always_inline]] inline void uniform_values(EngineState& state, double* out, std::size_t count) {
    std::size_t take = std::min(count, state_words - state.next);
    unit_values(state.word + state.next, out, take);
    state.next += take;
    for (out += take, count -= take; count > 0; out += take, count -= take) {
        twist(state);
        take = std::min(count, state_words);
        unit_values(state.word, out, take);
        state.next = take;
    }
}

[[gnu::target("avx2")]] inline void uniform_values_avx2(EngineState& state, double* out, std::size_t count) {
    uniform_values(state, out, count);
}

inline void uniform_values_baseline(EngineState& state, double* out, std::size_t count) {
    uniform_values(state, out, count);
}

inline void draw_uniform(EngineState& state, double* out, std::size_t count) {
    if (use_avx2()) {
        uniform_values_avx2(state, out, count);
    } else {
        uniform_values_baseline(state, out, count);
    }
}

// std::uniform_real_distribution<double>'s calls, through the engine's
// interface.
inline void uniform_by_draws(std::mt19937_64& engine, double* out, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) out[i] = unit_value(engine());
}

// Below this many values the engine's own interface is as quick as moving
// its 2.5 KB state in and out.
constexpr std::size_t bulk_from = 64;

// A fresh uniform distribution on the calling thread's engine.
inline void uniform_on_engine(std::mt19937_64& engine, double* out, std::size_t count) {
    if (!layout_known || count < bulk_from) {
        uniform_by_draws(engine, out, count);
        return;
    }
    EngineState state = state_of(engine);
    draw_uniform(state, out, count);
    restore(engine, state);
}

}  // namespace random_fill_detail
}  // namespace zorvak
