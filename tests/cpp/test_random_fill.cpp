// The bulk fills against Armadillo's own: from the same state of the
// thread-local engine, the same doubles bit for bit and the same next draw.
#include "linalg/basis.hpp"
#include "linalg/operator.hpp"
#include "linalg/random_fill.hpp"

#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <random>
#include <sstream>
#include <string>

namespace {

using complex_t = std::complex<double>;

// Draws already taken from a fresh engine: none (block used up, as after
// seeding), one, the middle of a block, all but one word (the next normal
// pair straddles two blocks), and past the first renewal.
constexpr unsigned long long consumed_draws[] = {0, 1, 200, 311, 313};
constexpr int thread_counts[] = {1, 2, 3};

std::mt19937_64& engine() { return arma::mt19937_64_instance; }

void reset_engine(unsigned long long consumed) {
    engine() = std::mt19937_64();
    engine().discard(consumed);
}

// Index of the first element whose bytes differ, or -1.
template <typename T>
long long first_difference(const arma::Mat<T>& want, const arma::Mat<T>& got) {
    for (arma::uword i = 0; i < want.n_elem; ++i) {
        if (std::memcmp(&want[i], &got[i], sizeof(T)) != 0) return static_cast<long long>(i);
    }
    return -1;
}

// Runs Armadillo's fill and ours from the same engine state.
template <typename T, typename ArmadilloFill, typename OurFill>
void expect_same_fill(arma::uword n_elem, unsigned long long consumed, ArmadilloFill armadillo_fill,
                      OurFill our_fill) {
    arma::Mat<T> want(n_elem, 1), got(n_elem, 1);
    reset_engine(consumed);
    armadillo_fill(want);
    const std::uint64_t want_next = engine()();
    reset_engine(consumed);
    our_fill(got);
    const std::uint64_t got_next = engine()();

    ASSERT_EQ(got.n_elem, n_elem);
    const long long at = first_difference(want, got);
    EXPECT_EQ(at, -1) << "element " << at << ": wanted " << want[at] << ", got " << got[at];
    EXPECT_EQ(got_next, want_next) << "the engine is not where Armadillo's fill leaves it";
}

class RandomFill : public ::testing::TestWithParam<arma::uword> {
protected:
    void SetUp() override { threads_before = omp_get_max_threads(); }
    void TearDown() override { omp_set_num_threads(threads_before); }
    int threads_before = 1;

    template <typename T>
    void check_both_fills(arma::uword n_elem) {
        for (const int threads : thread_counts) {
            omp_set_num_threads(threads);
            for (const unsigned long long consumed : consumed_draws) {
                std::ostringstream where;
                where << "threads " << threads << ", draws consumed " << consumed;
                SCOPED_TRACE(where.str());
                expect_same_fill<T>(n_elem, consumed, [](arma::Mat<T>& m) { m.randu(); },
                                    [](arma::Mat<T>& m) { zorvak::randu_fill(m); });
                expect_same_fill<T>(n_elem, consumed, [](arma::Mat<T>& m) { m.randn(); },
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
// engine with one distribution; so must the bulk fill.
TEST(RandomFillInParallelRegion, EachThreadMatchesArmadillo) {
    int failures = 0;
#pragma omp parallel num_threads(2) reduction(+ : failures)
    {
        arma::mat want(3001, 1), got(3001, 1);
        arma::cx_mat want_cx(700, 1), got_cx(700, 1);
        const std::mt19937_64 start = engine();
        want.randn();
        want_cx.randn();
        want_cx.randu();
        const std::uint64_t want_next = engine()();
        engine() = start;
        zorvak::randn_fill(got);
        zorvak::randn_fill(got_cx);
        zorvak::randu_fill(got_cx);
        failures += first_difference(want, got) != -1 || first_difference(want_cx, got_cx) != -1 ||
                    engine()() != want_next;
    }
    EXPECT_EQ(failures, 0) << "threads whose fill differed from Armadillo's";
}

// The members of both types reshape exactly as Armadillo's sized fills do
// (including to the current element count under a new shape), then fill.
template <typename T>
void expect_members_fill_as_armadillo() {
    reset_engine(5);
    arma::Mat<T> want(4, 6);
    want.randu(6, 4);
    want.randn(40, 40);
    want.randn();
    want.randu(37, 29);
    arma::Col<T> want_vec;
    want_vec.randn(2000);
    want_vec.randu();
    want_vec.randu(9);
    const std::uint64_t want_next = engine()();

    reset_engine(5);
    zorvak::Operator<T> op;
    op.matrix->set_size(4, 6);
    op.randu(6, 4);
    op.randn(40, 40);
    op.randn();
    op.randu(37, 29);
    zorvak::Basis<T> basis;
    basis.randn(2000);
    basis.randu();
    basis.randu(9);

    ASSERT_EQ(op.matrix->n_rows, 37u);
    ASSERT_EQ(op.matrix->n_cols, 29u);
    EXPECT_EQ(first_difference(want, *op.matrix), -1);
    ASSERT_EQ(basis.vec->n_elem, 9u);
    EXPECT_EQ(first_difference(arma::Mat<T>(want_vec), arma::Mat<T>(*basis.vec)), -1);
    EXPECT_EQ(engine()(), want_next);
}

TEST(RandomFillMembers, RealFillAsArmadillo) { expect_members_fill_as_armadillo<double>(); }
TEST(RandomFillMembers, ComplexFillAsArmadillo) { expect_members_fill_as_armadillo<complex_t>(); }

// The word that tempers to `draw`: each step of the tempering undone.
std::uint64_t untempered(std::uint64_t y) {
    y ^= y >> 43;
    y ^= (y << 37) & 0xfff7eee000000000ULL;
    std::uint64_t x = y;
    for (int i = 0; i < 4; ++i) x = y ^ ((x << 17) & 0x71d67fffeda60000ULL);
    y = x;
    for (int i = 0; i < 3; ++i) x = y ^ ((x >> 29) & 0x5555555555555555ULL);
    return x;
}

// A pair with x = 0 and y = -1 lies on the unit circle: log(1) = 0 makes
// the factor -0, and only the distribution's final "times 1 plus 0" turns
// the values into +0.
TEST(RandomFillNormal, PairOnTheUnitCircleGivesPositiveZeros) {
    namespace detail = zorvak::random_fill_detail;
    detail::EngineState state = detail::seeded_state(7);
    detail::twist(state);
    state.next = 310;
    state.word[310] = untempered(std::uint64_t(1) << 63);  // uniform 0.5
    state.word[311] = untempered(0);                       // uniform 0
    ASSERT_EQ(detail::temper(state.word[310]), std::uint64_t(1) << 63);
    ASSERT_EQ(detail::temper(state.word[311]), 0u);

    detail::restore(engine(), state);
    arma::mat want(101, 1);
    want.randn();
    detail::restore(engine(), state);
    arma::mat got(101, 1);
    zorvak::randn_fill(got);

    ASSERT_EQ(want[0], 0.0);
    EXPECT_FALSE(std::signbit(want[0]) || std::signbit(want[1])) << "Armadillo's fill gave -0";
    EXPECT_EQ(first_difference(want, got), -1);
    EXPECT_FALSE(std::signbit(got[0]) || std::signbit(got[1])) << "wanted +0, got -0";
}

// The state copied in and out of std::mt19937_64 is its real layout.
TEST(RandomFillEngineState, SeededStateIsTheEnginesOwn) {
    for (const std::uint64_t seed : {std::uint64_t(0), std::uint64_t(5489), ~std::uint64_t(0)}) {
        std::mt19937_64 engine(seed);
        zorvak::random_fill_detail::EngineState mine = zorvak::random_fill_detail::seeded_state(seed);
        zorvak::random_fill_detail::EngineState theirs = zorvak::random_fill_detail::state_of(engine);
        EXPECT_EQ(std::memcmp(&mine, &theirs, sizeof mine), 0) << "seed " << seed;
        engine.discard(1);
        EXPECT_EQ(zorvak::random_fill_detail::state_of(engine).next, 1u) << "seed " << seed;
    }
}

}  // namespace
