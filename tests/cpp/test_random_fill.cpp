// The bulk fills against Armadillo's own: from the same state of the
// thread-local engine, the same doubles bit for bit and the same next draw.
// Built on another standard library than libstdc++ (the wheels' libc++),
// whose distributions Armadillo then uses, they are checked against
// libstdc++'s distributions drawn through the engine's interface instead,
// which the libstdc++ build checks against Armadillo's.
#include "linalg/basis.hpp"
#include "linalg/operator.hpp"
#include "linalg/random_fill.hpp"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#if defined(_OPENMP)
#include <omp.h>
#endif

namespace {

#if !defined(_OPENMP)
// Built without OpenMP (the wheels), every fill runs on the calling thread.
int omp_get_max_threads() { return 1; }
void omp_set_num_threads(int) {}
#endif

using complex_t = std::complex<double>;
namespace detail = zorvak::random_fill_detail;

// An Armadillo whose fill scheme is not known gets its own fills, which
// need no check; its release shows up here as skipped tests, to be read
// and added to linalg/random_fill.hpp.
constexpr bool scheme_known = detail::scheme != detail::Scheme::armadillo_own;
constexpr const char* scheme_unknown = "this Armadillo's fill scheme is not known to linalg/random_fill.hpp";

std::mt19937_64& engine() { return zorvak::calling_thread_engine(); }

#if defined(__GLIBCXX__)
constexpr bool armadillo_is_reference = true;
#else
constexpr bool armadillo_is_reference = false;
#endif

// Armadillo's fill of m, resized first when sizes are given; elsewhere than
// on libstdc++, libstdc++'s distributions through the engine's interface.
template <typename M, typename... Size>
void reference_randu(M& m, Size... size) {
    if constexpr (armadillo_is_reference) {
        m.randu(size...);
    } else {
        if constexpr (sizeof...(Size) > 0) m.set_size(size...);
        detail::uniform_by_draws(engine(), detail::values_of(m), m.n_elem * detail::values_per_element<typename M::elem_type>);
    }
}

template <typename M, typename... Size>
void reference_randn(M& m, Size... size) {
    if constexpr (armadillo_is_reference) {
        m.randn(size...);
    } else {
        if constexpr (sizeof...(Size) > 0) m.set_size(size...);
        detail::normal_by_draws(engine(), detail::values_of(m), m.n_elem * detail::values_per_element<typename M::elem_type>);
    }
}

// Index of the first element whose bytes differ, or -1.
template <typename T>
long long first_difference(const arma::Mat<T>& want, const arma::Mat<T>& got) {
    for (arma::uword i = 0; i < want.n_elem; ++i) {
        if (std::memcmp(&want[i], &got[i], sizeof(T)) != 0) return static_cast<long long>(i);
    }
    return -1;
}

// Armadillo's fill and ours, each from the engine state `start`.
template <typename T, typename ArmadilloFill, typename OurFill>
void expect_same_fill(arma::uword n_elem, const std::mt19937_64& start, ArmadilloFill armadillo_fill,
                      OurFill our_fill) {
    arma::Mat<T> want(n_elem, 1), got(n_elem, 1);
    engine() = start;
    armadillo_fill(want);
    const std::uint64_t want_next = engine()();
    engine() = start;
    our_fill(got);
    const long long at = first_difference(want, got);
    EXPECT_EQ(at, -1) << "element " << at << ": wanted " << want[at] << ", got " << got[at];
    EXPECT_EQ(engine()(), want_next) << "the engine is not where Armadillo's fill leaves it";
}

class RandomFill : public ::testing::TestWithParam<arma::uword> {
protected:
    void SetUp() override {
        if (!scheme_known) GTEST_SKIP() << scheme_unknown;
    }
    void TearDown() override { omp_set_num_threads(threads_before); }
    const int threads_before = omp_get_max_threads();

    // Draws already taken from a fresh engine: none (block used up), one,
    // mid-block, all but one word (the next normal pair straddles two
    // blocks), and past the first renewal.  The thread count is the number
    // of chunks of a large normal fill, at most 8 (Armadillo's cap), so
    // those sizes go up to 10 threads.
    template <typename T>
    void check_both_fills(arma::uword n_elem) {
        const bool chunked =
            detail::scheme == detail::Scheme::chunked_normal && n_elem * (std::is_same_v<T, double> ? 1 : 2) >= 1024;
        for (int threads = 1; threads <= (chunked ? 10 : 3); ++threads) {
            omp_set_num_threads(threads);
            for (const unsigned long long consumed : {0, 1, 200, 311, 313}) {
                SCOPED_TRACE("threads " + std::to_string(threads) + ", draws consumed " + std::to_string(consumed));
                std::mt19937_64 start;
                start.discard(consumed);
                expect_same_fill<T>(n_elem, start, [](arma::Mat<T>& m) { reference_randu(m); },
                                    [](arma::Mat<T>& m) { zorvak::randu_fill(m); });
                expect_same_fill<T>(n_elem, start, [](arma::Mat<T>& m) { reference_randn(m); },
                                    [](arma::Mat<T>& m) { zorvak::randn_fill(m); });
            }
        }
    }
};

TEST_P(RandomFill, RealMatchesArmadillo) { check_both_fills<double>(GetParam()); }
TEST_P(RandomFill, ComplexMatchesArmadillo) { check_both_fills<complex_t>(GetParam()); }

// Around the direct-engine cut-off (64 values), the 312-word block, the
// chunked normal fill's thresholds (512 complex, 1024 real elements), odd
// sizes whose chunks leave a remainder, and large.
INSTANTIATE_TEST_SUITE_P(Sizes, RandomFill,
                         ::testing::Values(0, 1, 2, 3, 31, 32, 33, 63, 64, 65, 155, 156, 157, 311, 312, 313,
                                           511, 512, 513, 623, 624, 625, 1023, 1024, 1025, 4097, 100003,
                                           1000001),
                         [](const auto& info) { return "n" + std::to_string(info.param); });

// Inside a parallel region Armadillo fills on the calling thread's own
// engine with one distribution, whatever the size.
TEST(RandomFillInParallelRegion, EachThreadMatchesArmadillo) {
    if (!scheme_known) GTEST_SKIP() << scheme_unknown;
    int failures = 0;
#pragma omp parallel num_threads(2) reduction(+ : failures)
    {
        arma::mat want(3001, 1), got(3001, 1);
        const std::mt19937_64 start = engine();
        reference_randn(want);
        const std::uint64_t want_next = engine()();
        engine() = start;
        zorvak::randn_fill(got);
        failures += first_difference(want, got) != -1 || engine()() != want_next;
    }
    EXPECT_EQ(failures, 0) << "threads whose fill differed from Armadillo's";
}

// The members reshape as Armadillo's sized fills do (also to the same
// element count under a new shape), then fill.
template <typename T>
void expect_members_fill_as_armadillo() {
    engine() = std::mt19937_64();
    arma::Mat<T> want(4, 6);
    reference_randu(want, 6, 4);
    reference_randn(want, 40, 40);
    reference_randn(want);
    arma::Col<T> want_vec;
    reference_randu(want_vec, 2000);
    reference_randn(want_vec);
    const std::uint64_t want_next = engine()();

    engine() = std::mt19937_64();
    zorvak::Operator<T> op;
    op.matrix->set_size(4, 6);
    op.randu(6, 4);
    op.randn(40, 40);
    op.randn();
    zorvak::Basis<T> basis;
    basis.randu(2000);
    basis.randn();

    ASSERT_TRUE(op.matrix->n_rows == 40 && op.matrix->n_cols == 40 && basis.vec->n_elem == 2000);
    EXPECT_EQ(first_difference(want, *op.matrix), -1);
    EXPECT_EQ(first_difference(arma::Mat<T>(want_vec), arma::Mat<T>(*basis.vec)), -1);
    EXPECT_EQ(engine()(), want_next);
}

TEST(RandomFillMembers, RealFillAsArmadillo) {
    if (!scheme_known) GTEST_SKIP() << scheme_unknown;
    expect_members_fill_as_armadillo<double>();
}
TEST(RandomFillMembers, ComplexFillAsArmadillo) {
    if (!scheme_known) GTEST_SKIP() << scheme_unknown;
    expect_members_fill_as_armadillo<complex_t>();
}

// The AVX2 copy of the hot loops against the baseline one, where the
// processor runs both: the fills take whichever it has.
TEST(RandomFillCopies, AvxAndBaselineDrawAlike) {
    if (!detail::layout_known) GTEST_SKIP() << "this standard library's engine layout is not known";
    if (!zorvak::processor_runs_avx2()) GTEST_SKIP() << "this processor runs the baseline copy only";
    for (const std::size_t count : {std::size_t(1), std::size_t(311), std::size_t(100003)}) {
        SCOPED_TRACE("values " + std::to_string(count));
        std::mt19937_64 start;
        start.discard(200);
        std::vector<double> baseline(count), avx2(count);
        detail::EngineState baseline_state = detail::state_of(start), avx2_state = baseline_state;
        detail::uniform_values_baseline(baseline_state, baseline.data(), count);
        detail::uniform_values_avx2(avx2_state, avx2.data(), count);
        EXPECT_TRUE(std::memcmp(baseline.data(), avx2.data(), count * sizeof(double)) == 0) << "uniform";
        detail::NormalStream baseline_stream(baseline_state), avx2_stream(avx2_state);
        detail::normal_values_baseline(baseline_stream, baseline.data(), count);
        detail::normal_values_avx2(avx2_stream, avx2.data(), count);
        EXPECT_TRUE(std::memcmp(baseline.data(), avx2.data(), count * sizeof(double)) == 0) << "normal";
        EXPECT_EQ(baseline_stream.engine.next, avx2_stream.engine.next);
    }
}

// The copies of the distributions that draw through the engine's interface
// (small fills, and the reference on other libraries) against libstdc++'s
// own, well past the sizes the fills hand them.
TEST(RandomFillByDraws, MatchesLibstdcxxDistributions) {
    if (!armadillo_is_reference) GTEST_SKIP() << "libstdc++'s distributions are not at hand to compare with";
    constexpr std::size_t count = 1001;
    for (const unsigned long long consumed : {0, 311}) {
        SCOPED_TRACE("draws consumed " + std::to_string(consumed));
        std::mt19937_64 start;
        start.discard(consumed);
        std::mt19937_64 ours = start, theirs = start;
        std::vector<double> got(count), want(count);
        detail::uniform_by_draws(ours, got.data(), count);
        std::uniform_real_distribution<double> uniform;
        for (double& v : want) v = uniform(theirs);
        EXPECT_TRUE(std::memcmp(got.data(), want.data(), count * sizeof(double)) == 0) << "uniform";
        detail::normal_by_draws(ours, got.data(), count);
        std::normal_distribution<double> normal;
        for (double& v : want) v = normal(theirs);
        EXPECT_TRUE(std::memcmp(got.data(), want.data(), count * sizeof(double)) == 0) << "normal";
        EXPECT_EQ(ours(), theirs());
    }
}

// The word that tempers to `draw`: the tempering's steps undone.
std::uint64_t untempered(std::uint64_t y) {
    y ^= y >> 43;
    y ^= (y << 37) & 0xfff7eee000000000ULL;
    std::uint64_t x = y;
    for (int i = 0; i < 4; ++i) x = y ^ ((x << 17) & 0x71d67fffeda60000ULL);
    y = x;
    for (int i = 0; i < 3; ++i) x = y ^ ((x >> 29) & 0x5555555555555555ULL);
    return x;
}

// The twist's mix of a word's upper bits and the next word's lower bits.
std::uint64_t mixed(std::uint64_t high_from, std::uint64_t low_from) {
    constexpr std::uint64_t upper = ~std::uint64_t(0) << 31;
    const std::uint64_t y = (high_from & upper) | (low_from & ~upper);
    return (y >> 1) ^ (-(y & 1) & 0xb5026f5aa96619e9ULL);
}

// An engine whose next two draws are `first` and `second`.  In libstdc++'s
// layout the last two words of a block are set; other layouts keep no words
// ahead, so there the block that is used up is set so that its twist makes
// them.
std::mt19937_64 engine_drawing_next(std::uint64_t first, std::uint64_t second) {
    detail::EngineState state = detail::seeded_state(7);
    if constexpr (armadillo_is_reference) {
        detail::twist(state);
        state.next = 310;
        state.word[310] = untempered(first);
        state.word[311] = untempered(second);
    } else {
        state.word[detail::shift_words] = untempered(first) ^ mixed(state.word[0], state.word[1]);
        state.word[detail::shift_words + 1] = untempered(second) ^ mixed(state.word[1], state.word[2]);
    }
    std::mt19937_64 engine;
    detail::restore(engine, state);
    return engine;
}

// x = 0, y = -1 lies on the unit circle: log(1) = 0 makes the factor -0,
// and only the distribution's final "times 1 plus 0" makes the values +0.
TEST(RandomFillNormal, PairOnTheUnitCircleGivesPositiveZeros) {
    if (!scheme_known) GTEST_SKIP() << scheme_unknown;
    const std::mt19937_64 start = engine_drawing_next(std::uint64_t(1) << 63, 0);  // uniforms 0.5, 0
    std::mt19937_64 probe = start;
    ASSERT_EQ(probe(), std::uint64_t(1) << 63);
    ASSERT_EQ(probe(), 0u);

    expect_same_fill<double>(101, start, [](arma::mat& m) { reference_randn(m); },
                             [](arma::mat& m) { zorvak::randn_fill(m); });
    engine() = start;
    arma::mat got(101, 1);
    zorvak::randn_fill(got);
    EXPECT_TRUE(got[0] == 0.0 && !std::signbit(got[0]) && !std::signbit(got[1])) << got[0] << ", " << got[1];
}

// Whether all `size` bytes went through the descriptor.
bool send_all(int fd, const void* from, std::size_t size) {
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = write(fd, static_cast<const char*>(from) + done, size - done);
        if (n <= 0) return false;
        done += std::size_t(n);
    }
    return true;
}

bool receive_all(int fd, void* to, std::size_t size) {
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = read(fd, static_cast<char*>(to) + done, size - done);
        if (n <= 0) return false;
        done += std::size_t(n);
    }
    return true;
}

// A thread whose OpenMP workers were started by other code, never by a
// fill, forks.  The child has none of those workers: its fill must not wait
// for them, and gives what the thread's next fill in the parent gives.
std::string fork_and_compare_fills() {
    omp_set_num_threads(3);
    int workers = 0;
#pragma omp parallel reduction(+ : workers)
    workers += 1;
    if (workers < 2) return "no OpenMP workers were started";

    arma::mat want(4099, 1), got(4099, 1);
    const std::size_t bytes = sizeof(double) * got.n_elem;
    int fds[2];
    if (pipe(fds) != 0) return "no pipe";
    const pid_t child = fork();
    if (child == 0) {
        alarm(60);  // a child stuck waiting for the workers ends here
        zorvak::randn_fill(got);
        _exit(send_all(fds[1], got.memptr(), bytes) ? 0 : 1);
    }
    close(fds[1]);
    const bool received = receive_all(fds[0], got.memptr(), bytes);
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFSIGNALED(status)) return "the child ended by signal " + std::to_string(WTERMSIG(status));
    if (!received) return "the child sent no values";
    zorvak::randn_fill(want);
    return first_difference(want, got) == -1 ? "" : "the child's values differ from the parent's next fill";
}

TEST(RandomFillAfterFork, ChildOfAThreadWithWorkersFromElsewhere) {
    if (!scheme_known) GTEST_SKIP() << scheme_unknown;
#if !defined(_OPENMP)
    GTEST_SKIP() << "built without OpenMP: no fill is split";
#endif
    std::string outcome;
    std::thread forking([&] { outcome = fork_and_compare_fills(); });
    forking.join();
    EXPECT_EQ(outcome, "");
}

}  // namespace
