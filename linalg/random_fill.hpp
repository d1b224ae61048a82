// randu_fill and randn_fill: Armadillo's Mat::randu() and Mat::randn(),
// value for value, leaving the calling thread's engine exactly where
// Armadillo's own fill leaves it, but generated a whole block of the
// Mersenne Twister at a time (mt19937_64_blocks.hpp, normal_polar.hpp)
// instead of one library call (and one thread-local lookup) per value.
//
// What is Armadillo's here is its fill scheme, which changed between its
// versions: which engine is the calling thread's, and whether a large
// normal fill is split over OpenMP threads (see Scheme, next to the
// constants it copies).  An Armadillo whose scheme is not known here fills
// with its own randu()/randn().  A complex element takes the real part's
// value, then the imaginary part's, so the complex flavour is the real fill
// of twice as many doubles.
#pragma once

#include "linalg/armadillo.hpp"
#include "linalg/mt19937_64_blocks.hpp"
#include "linalg/normal_polar.hpp"

#include <pthread.h>

#include <complex>
#include <cstddef>
#include <cstdint>
#include <random>
#include <stdexcept>
#include <type_traits>
#include <vector>

namespace zorvak {
namespace random_fill_detail {

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

#if ARMA_VERSION_MAJOR == 11 && defined(ARMA_USE_EXTERN_RNG)
// 11.x; checked against 11.4.2.
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
    defined(ARMA_USE_THREAD_LOCAL) && !defined(ARMA_GUARD_PRODUCER) && !defined(ARMA_WARMUP_PRODUCER)
// 14.x and 15.x; checked against 14.2.3 and 15.2.1.  (A warmed-up engine,
// which Armadillo makes on macOS, has drawn once before the first fill.)
namespace random_fill_detail {
inline constexpr Scheme scheme = Scheme::one_engine;
template <typename T>
bool split_normal_fill(arma::Mat<T>&) { return false; }
}  // namespace random_fill_detail

inline std::mt19937_64& calling_thread_engine() { return arma::arma_rng::get_producer(); }

#else
namespace random_fill_detail {
inline constexpr Scheme scheme = Scheme::armadillo_own;
}  // namespace random_fill_detail

// This Armadillo's engine is not known here, and its own fills need none.
[[noreturn]] inline std::mt19937_64& calling_thread_engine() {
    throw std::logic_error("calling_thread_engine(): this Armadillo's fill scheme is not known");
}
#endif

// Mat::randu(): every element (real part, then imaginary part) uniform on
// [0, 1), from the calling thread's engine.
template <typename T>
void randu_fill(arma::Mat<T>& m) {
    using namespace random_fill_detail;
    if constexpr (scheme == Scheme::armadillo_own) {
        m.randu();
    } else {
        uniform_on_engine(calling_thread_engine(), values_of(m), m.n_elem * values_per_element<T>);
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

