// The blocked transpose against Armadillo's own trans() and inplace_trans():
// the same bytes for every shape, across the kernel's cut-offs (the squares'
// side, a cache line's depth of rows, the tile, the element loop for small
// matrices, vectors), with zeros of both signs, NaNs of both signs with
// payloads, infinities and subnormals among the values.
#include "linalg/blocked_transpose.hpp"
#include "linalg/operator.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <complex>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

namespace {

using complex_t = std::complex<double>;

double from_bits(std::uint64_t bits) {
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// Every part that a conjugation might get wrong, then random normals.
const std::vector<double>& special_values() {
    static const std::vector<double> values = {
        0.0, -0.0, std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
        from_bits(0x7ff8000000000001ULL),  // quiet NaN with a payload
        from_bits(0xfff8000000000abcULL),  // negative quiet NaN with a payload
        from_bits(0x7ff0000000000001ULL),  // signalling NaN
        std::numeric_limits<double>::denorm_min(), -std::numeric_limits<double>::max(),
    };
    return values;
}

double part(std::size_t k, std::mt19937_64& engine) {
    const auto& special = special_values();
    return k < 4 * special.size() ? special[k % special.size()] : std::normal_distribution<double>()(engine);
}

template <typename T>
arma::Mat<T> test_matrix(arma::uword n_rows, arma::uword n_cols) {
    std::mt19937_64 engine(n_rows * 7919 + n_cols);
    arma::Mat<T> m(n_rows, n_cols);
    // The specials land in both parts, in differing pairs, and in edge rows.
    std::vector<std::size_t> order(m.n_elem);
    for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
    std::shuffle(order.begin(), order.end(), engine);
    for (std::size_t k = 0; k < order.size(); ++k) {
        if constexpr (std::is_same_v<T, double>) {
            m[order[k]] = part(k, engine);
        } else {
            m[order[k]] = complex_t(part(k, engine), part(k / 3 + 1, engine));
        }
    }
    return m;
}

// Index of the first element whose bytes differ, or -1.
template <typename T>
long long first_difference(const arma::Mat<T>& want, const arma::Mat<T>& got) {
    for (arma::uword i = 0; i < want.n_elem; ++i) {
        if (std::memcmp(&want[i], &got[i], sizeof(T)) != 0) return static_cast<long long>(i);
    }
    return -1;
}

template <typename T>
void expect_same(const arma::Mat<T>& want, const arma::Mat<T>& got) {
    ASSERT_EQ(got.n_rows, want.n_rows);
    ASSERT_EQ(got.n_cols, want.n_cols);
    const long long at = first_difference(want, got);
    EXPECT_EQ(at, -1) << "element " << at << " (row " << at % std::max<long long>(1, want.n_rows) << "): wanted "
                      << want[at] << ", got " << got[at];
}

struct Shape {
    arma::uword n_rows, n_cols;
};

class BlockedTranspose : public ::testing::TestWithParam<Shape> {
protected:
    template <typename T>
    void expect_as_armadillo() {
        const auto [n_rows, n_cols] = GetParam();
        const arma::Mat<T> a = test_matrix<T>(n_rows, n_cols);
        // Armadillo's own transposes walk the rows of a matrix without
        // columns (undefined behaviour): an empty matrix's transpose is its
        // flipped shape.
        const arma::Mat<T> want = a.is_empty() ? arma::Mat<T>(n_cols, n_rows) : arma::Mat<T>(arma::trans(a));

        arma::Mat<T> got;
        zorvak::assign_transpose(got, a);
        expect_same(want, got);

        // The loops as this file compiles them, for baseline x86-64: the
        // clone chosen where the processor has no AVX2.
        if (!a.is_empty()) {
            arma::Mat<T> baseline(n_cols, n_rows);
            zorvak::transpose_detail::transpose_tiles(a.memptr(), n_rows, n_cols, baseline.memptr());
            expect_same(want, baseline);
        }

        // No element written outside the result: guards on both sides.
        constexpr std::size_t guard = 64;
        const T fence(1.5);
        std::vector<T> fenced(a.n_elem + 2 * guard, fence);
        zorvak::blocked_transpose(a.memptr(), n_rows, n_cols, fenced.data() + guard);
        for (std::size_t k = 0; k < guard; ++k) {
            ASSERT_TRUE(fenced[k] == fence && fenced[guard + a.n_elem + k] == fence) << "written past the result";
        }
        if (!a.is_empty()) EXPECT_EQ(std::memcmp(fenced.data() + guard, want.memptr(), a.n_elem * sizeof(T)), 0);

        // The operator's two forms: in place square (Armadillo's) or through
        // a temporary, and the eigen members left alone.
        zorvak::Operator<T> op;
        *op.matrix = a;
        op.eigenvectors_sym->set_size(2, 2);
        expect_same(want, *op.transpose().matrix);
        op.inplace_transpose();
        expect_same(want, *op.matrix);
        EXPECT_EQ(op.eigenvectors_sym->n_elem, 4u);
        if (a.is_empty()) return;
        arma::Mat<T> in_place = a;
        arma::inplace_trans(in_place);
        expect_same(in_place, *op.matrix);
    }
};

TEST_P(BlockedTranspose, RealMatchesArmadillo) { expect_as_armadillo<double>(); }
TEST_P(BlockedTranspose, ComplexMatchesArmadillo) { expect_as_armadillo<complex_t>(); }

// A square is 4 doubles or 2 complex values a side, a strip 8 or 4 rows
// deep, a tile 128 a side; up to 32 elements go one at a time, two or
// three columns of doubles four rows at a time.
INSTANTIATE_TEST_SUITE_P(Shapes, BlockedTranspose,
                         ::testing::Values(Shape{0, 0}, Shape{0, 5}, Shape{5, 0}, Shape{1, 1}, Shape{1, 33},
                                           Shape{33, 1}, Shape{1, 1000}, Shape{2, 2}, Shape{3, 3}, Shape{4, 4},
                                           Shape{4, 8}, Shape{3, 11}, Shape{5, 5}, Shape{7, 9}, Shape{8, 8},
                                           Shape{9, 7}, Shape{2, 40}, Shape{40, 3}, Shape{41, 2}, Shape{43, 3},
                                           Shape{12, 13}, Shape{63, 65}, Shape{64, 64}, Shape{127, 129},
                                           Shape{128, 128}, Shape{129, 127}, Shape{131, 260}, Shape{260, 131},
                                           Shape{257, 5}, Shape{6, 257}, Shape{515, 513}),
                         [](const auto& info) {
                             return std::to_string(info.param.n_rows) + "x" + std::to_string(info.param.n_cols);
                         });

}  // namespace
