// randu_fill and randn_fill: Armadillo's Mat::randu() and Mat::randn(),
// value for value, leaving the calling thread's engine exactly where
// Armadillo's own fill leaves it, but generated a whole block of the
// Mersenne Twister at a time instead of one library call (and one
// thread-local lookup) per value.
//
// What is reproduced, from libstdc++ and Armadillo:
// - std::mt19937_64: its 312 state words, the index of the next word, the
//   twist that renews all words once they are used up, and the tempering;
// - std::uniform_real_distribution<double> on [0, 1): one 64-bit draw,
//   converted to double with one rounding, times 2^-64, with 1.0 replaced by
//   the largest double below 1;
// - std::normal_distribution<double>: Marsaglia's polar method, whose
//   second value of each accepted pair is saved for the next call;
// - Armadillo's fill scheme, which changed between its versions: which
//   engine is the calling thread's, and whether a large normal fill is
//   split over OpenMP threads (see Scheme below, next to the constants it
//   copies).  An Armadillo whose scheme is not known here fills with its
//   own randu()/randn().
// A complex element takes the real part's value, then the imaginary part's,
// so the complex flavour is the real fill of twice as many doubles.
//
// The hot loops are compiled twice, for baseline x86-64 and for AVX2, and
// picked at load time.  Neither clone enables FMA: a contracted x*x + y*y
// would change the polar method's results.  log is glibc's scalar function,
// called once per accepted pair; sqrt and the other arithmetic are exact
// IEEE operations at any vector width.
#pragma once

#include "linalg/armadillo.hpp"

#include <pthread.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <type_traits>
#include <vector>

#ifndef __GLIBCXX__
#error "linalg/random_fill.hpp reproduces libstdc++'s engine layout and distributions"
#endif

namespace zorvak {
namespace random_fill_detail {

constexpr std::size_t state_words = 312;  // std::mt19937_64's n
constexpr std::size_t shift_words = 156;  // and m

// The layout of libstdc++'s std::mt19937_64: the state words, then the index
// of the next word to temper (312: the block is used up).
struct EngineState {
    std::uint64_t word[state_words];
    std::size_t next;
};

static_assert(std::mt19937_64::state_size == state_words && std::mt19937_64::shift_size == shift_words);
static_assert(sizeof(EngineState) == sizeof(std::mt19937_64));
static_assert(std::is_trivially_copyable_v<std::mt19937_64> && std::is_trivially_copyable_v<EngineState>);

inline EngineState state_of(const std::mt19937_64& engine) {
    EngineState state;
    std::memcpy(&state, &engine, sizeof state);
    return state;
}

// The engine is trivially copyable; the cast only says that its layout,
// not its constructor, is what matters here.
inline void restore(std::mt19937_64& engine, const EngineState& state) {
    std::memcpy(static_cast<void*>(&engine), &state, sizeof state);
}

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
[[gnu::target_clones("avx2", "default")]] inline void draw_uniform(EngineState& state, double* out,
                                                                    std::size_t count) {
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

// One std::normal_distribution<double> together with the engine it draws
// from.  uniform[i] holds word i's uniform value for i >= engine.next.
struct NormalStream {
    explicit NormalStream(const EngineState& from) : engine(from) {}
    EngineState engine;
    bool uniforms_ready = false;
    bool has_saved = false;
    double saved = 0.0;
    double uniform[state_words];
};

[[gnu::always_inline]] inline void next_block(NormalStream& stream) {
    twist(stream.engine);
    unit_values(stream.engine.word, stream.uniform, state_words);
}

[[gnu::always_inline]] inline double next_uniform(NormalStream& stream) {
    if (stream.engine.next == state_words) next_block(stream);
    return stream.uniform[stream.engine.next++];
}

[[gnu::always_inline]] inline bool polar_accepts(double r2) { return !(r2 > 1.0 || r2 == 0.0); }

// The distribution returns value * stddev + mean with stddev 1 and mean 0.
// Not quite an identity: it turns -0 into +0 (a pair with r2 == 1).
[[gnu::always_inline]] inline double scaled(double value) { return value * 1.0 + 0.0; }

// count values of the stream, in the order its calls would return them.
[[gnu::target_clones("avx2", "default")]] inline void draw_normal(NormalStream& stream, double* out,
                                                                   std::size_t count) {
    EngineState& engine = stream.engine;
    if (!stream.uniforms_ready) {
        unit_values(engine.word + engine.next, stream.uniform + engine.next, state_words - engine.next);
        stream.uniforms_ready = true;
    }
    if (count > 0 && stream.has_saved) {
        *out++ = scaled(stream.saved);
        stream.has_saved = false;
        --count;
    }
    // The pairs of one block: first all candidates, then the accepted ones
    // packed, then their factors; only as many as count needs are taken,
    // and the engine's index stops right after the last pair taken.
    constexpr std::size_t max_pairs = state_words / 2;
    double x[max_pairs], y[max_pairs], r2[max_pairs];
    double kept_x[max_pairs], kept_y[max_pairs], kept_r2[max_pairs], factor[max_pairs];
    std::size_t kept_at[max_pairs];
    while (count > 0) {
        if (engine.next == state_words) next_block(stream);
        const std::size_t pairs = (state_words - engine.next) / 2;
        if (pairs == 0) {
            // One word left: this pair straddles two blocks.
            double px, py, pr2;
            do {
                px = 2.0 * next_uniform(stream) - 1.0;
                py = 2.0 * next_uniform(stream) - 1.0;
                pr2 = px * px + py * py;
            } while (!polar_accepts(pr2));
            const double f = std::sqrt(-2.0 * std::log(pr2) / pr2);
            *out++ = scaled(py * f);
            if (--count == 0) {
                stream.saved = px * f;
                stream.has_saved = true;
            } else {
                *out++ = scaled(px * f);
                --count;
            }
            continue;
        }
        const double* u = stream.uniform + engine.next;
        for (std::size_t j = 0; j < pairs; ++j) {
            x[j] = 2.0 * u[2 * j] - 1.0;
            y[j] = 2.0 * u[2 * j + 1] - 1.0;
            r2[j] = x[j] * x[j] + y[j] * y[j];
        }
        std::size_t kept = 0;
        for (std::size_t j = 0; j < pairs; ++j) {
            kept_x[kept] = x[j];
            kept_y[kept] = y[j];
            kept_r2[kept] = r2[j];
            kept_at[kept] = j;
            kept += polar_accepts(r2[j]);
        }
        const std::size_t wanted = (count + 1) / 2;
        const std::size_t used = std::min(kept, wanted);
        for (std::size_t k = 0; k < used; ++k) factor[k] = std::log(kept_r2[k]);
        for (std::size_t k = 0; k < used; ++k) factor[k] = -2.0 * factor[k] / kept_r2[k];
        for (std::size_t k = 0; k < used; ++k) factor[k] = std::sqrt(factor[k]);
        // Pairs giving both values; with an odd count the last pair gives
        // one and saves the other.
        const std::size_t whole = (used == wanted && count % 2 == 1) ? used - 1 : used;
        for (std::size_t k = 0; k < whole; ++k) {
            out[2 * k] = scaled(kept_y[k] * factor[k]);
            out[2 * k + 1] = scaled(kept_x[k] * factor[k]);
        }
        out += 2 * whole;
        count -= 2 * whole;
        if (whole < used) {
            *out++ = scaled(kept_y[whole] * factor[whole]);
            --count;
            stream.saved = kept_x[whole] * factor[whole];
            stream.has_saved = true;
        }
        engine.next += used == wanted ? 2 * (kept_at[used - 1] + 1) : 2 * pairs;
    }
}

// Below this many values the engine's own interface is as quick as moving
// its 2.5 KB state in and out.
constexpr std::size_t bulk_from = 64;

// A fresh normal distribution on the calling thread's engine.
inline void normal_on_engine(std::mt19937_64& engine, double* out, std::size_t count) {
    if (count < bulk_from) {
        std::normal_distribution<double> distribution;
        for (std::size_t i = 0; i < count; ++i) out[i] = distribution(engine);
        return;
    }
    NormalStream stream(state_of(engine));
    draw_normal(stream, out, count);
    restore(engine, stream.engine);
}

template <typename T>
constexpr std::size_t values_per_element = std::is_same_v<T, double> ? 1 : 2;

template <typename T>
double* values_of(arma::Mat<T>& m) {
    static_assert(std::is_same_v<T, double> || std::is_same_v<T, std::complex<double>>);
    return reinterpret_cast<double*>(m.memptr());  // complex<double> is laid out as double[2]
}

// How the Armadillo in use fills, from its version.  Each line was checked
// against that release's arma_rng.hpp; the copies assume a thread-local
// std::mt19937_64 that no mutex guards.
enum class Scheme {
    // The process-wide thread-local arma::mt19937_64_instance; a normal fill
    // of chunked_from elements or more, outside a parallel region, is split
    // into equal chunks, one per OpenMP thread (mp_thread_limit), each on an
    // engine of its own seeded with t + randi<u64>() from the calling
    // thread's engine, with a fresh distribution; the remainder continues
    // chunk 0's stream.  Below that, one fresh distribution on the calling
    // thread's engine.
    chunked_normal,
    // The calling thread's arma_rng::get_producer() (a new thread's engine
    // is seeded with the default seed plus the number of threads that asked
    // before it), with one fresh distribution for every normal fill,
    // whatever its size.
    one_engine,
    // Not known here: Armadillo's own randu()/randn(), slower but identical
    // by definition.
    armadillo_own,
};

}  // namespace random_fill_detail

#if (ARMA_VERSION_MAJOR == 10 && ARMA_VERSION_MINOR >= 8 || ARMA_VERSION_MAJOR == 11) && \
    defined(ARMA_USE_EXTERN_RNG)
// 10.8 to 11.x; checked against 11.4.2.
namespace random_fill_detail {
inline constexpr Scheme scheme = Scheme::chunked_normal;
template <typename T>
constexpr arma::uword chunked_from = std::is_same_v<T, double> ? 1024 : 512;
}  // namespace random_fill_detail

inline std::mt19937_64& calling_thread_engine() { return arma::mt19937_64_instance; }

namespace random_fill_detail {
#if defined(ARMA_USE_OPENMP)
// libgomp's workers belong to the thread that started them, whoever that
// was (this fill, another extension, an OpenMP BLAS), and do not survive
// fork: in a child, a parallel region on that thread waits for workers that
// no longer exist.  So the only thread of a forked child is marked, and
// runs the chunks one after the other, which gives the same values; the
// mark is copied into its own forks.  Threads started later in the child
// begin unmarked and start workers of their own.  PIDs are no guide here:
// a descendant can get an ancestor's PID back.
inline thread_local bool forked_thread = false;

inline void mark_forked_thread() { forked_thread = true; }

// Registered when the library is loaded, so that a child forked before the
// first fill is marked too.  Without the handler (no memory for it), no
// thread runs the chunks in parallel.
inline const bool fork_marking_registered = pthread_atfork(nullptr, nullptr, &mark_forked_thread) == 0;

// Armadillo's chunked normal fill of n_elem elements of values_per_elem
// doubles each; the seeds come from the calling thread's engine.
inline void normal_in_chunks(double* out, std::size_t n_elem, std::size_t values_per_elem) {
    const std::size_t n_chunks = std::size_t(arma::mp_thread_limit::get());
    std::vector<std::uint64_t> seeds(n_chunks);
    for (std::size_t t = 0; t < n_chunks; ++t) {
        // Armadillo's own draw and conversion.
        seeds[t] = std::uint64_t(t) + std::uint64_t(arma::arma_rng::randi<std::uint64_t>());
    }
    const std::size_t chunk = n_elem / n_chunks;
    const auto fill_chunk = [&](std::size_t t) {
        NormalStream stream(seeded_state(seeds[t]));
        draw_normal(stream, out + t * chunk * values_per_elem, chunk * values_per_elem);
        if (t == 0) {
            const std::size_t done = n_chunks * chunk;
            draw_normal(stream, out + done * values_per_elem, (n_elem - done) * values_per_elem);
        }
    };
    if (fork_marking_registered && !forked_thread) {
#pragma omp parallel for schedule(static) num_threads(int(n_chunks))
        for (std::size_t t = 0; t < n_chunks; ++t) fill_chunk(t);
    } else {
        for (std::size_t t = 0; t < n_chunks; ++t) fill_chunk(t);
    }
}

// Splits the fill as Armadillo does, when it does.
template <typename T>
bool split_normal_fill(arma::Mat<T>& m) {
    if (m.n_elem < chunked_from<T> || omp_in_parallel()) return false;
    normal_in_chunks(values_of(m), m.n_elem, values_per_element<T>);
    return true;
}
#else
template <typename T>
bool split_normal_fill(arma::Mat<T>&) { return false; }
#endif
}  // namespace random_fill_detail

#elif (ARMA_VERSION_MAJOR == 14 || ARMA_VERSION_MAJOR == 15) && defined(ARMA_USE_CXX11_RNG) && \
    defined(ARMA_USE_THREAD_LOCAL) && !defined(ARMA_GUARD_PRODUCER)
// 14.x and 15.x; checked against 14.2.3 and 15.2.1.
namespace random_fill_detail {
inline constexpr Scheme scheme = Scheme::one_engine;
template <typename T>
bool split_normal_fill(arma::Mat<T>&) { return false; }
}  // namespace random_fill_detail

inline std::mt19937_64& calling_thread_engine() { return arma::arma_rng::get_producer(); }

#else
namespace random_fill_detail {
inline constexpr Scheme scheme = Scheme::armadillo_own;
template <typename T>
bool split_normal_fill(arma::Mat<T>&) { return false; }
}  // namespace random_fill_detail

// Declared only: with Armadillo's own fills nothing here draws directly.
std::mt19937_64& calling_thread_engine();
#endif

// Mat::randu(): every element (real part, then imaginary part) uniform on
// [0, 1), from the calling thread's engine.
template <typename T>
void randu_fill(arma::Mat<T>& m) {
    using namespace random_fill_detail;
    if constexpr (scheme == Scheme::armadillo_own) {
        m.randu();
    } else {
        std::mt19937_64& engine = calling_thread_engine();
        double* out = values_of(m);
        const std::size_t count = m.n_elem * values_per_element<T>;
        if (count < bulk_from) {
            std::uniform_real_distribution<double> distribution;
            for (std::size_t i = 0; i < count; ++i) out[i] = distribution(engine);
            return;
        }
        EngineState state = state_of(engine);
        draw_uniform(state, out, count);
        restore(engine, state);
    }
}

// Mat::randn(): every element (real part, then imaginary part) standard
// normal, split over OpenMP threads where Armadillo splits it.
template <typename T>
void randn_fill(arma::Mat<T>& m) {
    using namespace random_fill_detail;
    if constexpr (scheme == Scheme::armadillo_own) {
        m.randn();
    } else if (!split_normal_fill(m)) {
        normal_on_engine(calling_thread_engine(), values_of(m), m.n_elem * values_per_element<T>);
    }
}

}  // namespace zorvak
