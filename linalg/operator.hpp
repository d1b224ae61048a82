// zorvak::Operator<T>: a dense matrix together with the results of its last
// eigen-decomposition.  T is double or std::complex<double>.
//
// Copies are shallow (the six members are shared pointers); every operation
// that yields a new Operator starts from a default-constructed one and writes
// only its matrix, so results never share storage with their operands.
#pragma once

#include "linalg/armadillo.hpp"
#include "linalg/blocked_transpose.hpp"
#include "linalg/random_fill.hpp"
#include <complex>
#include <memory>
#include <ostream>
#include <type_traits>

namespace zorvak {

// Python passes 32-bit ints; Armadillo indexes with 64-bit unsigned words.
// Sign extension turns a negative value into a huge one, which Armadillo's
// own checks then refuse.
inline arma::uword to_uword(int n) { return static_cast<arma::uword>(static_cast<long long>(n)); }

// Armadillo's print with no header, flushed so that the text reaches the
// process's standard output before Python writes anything of its own.
// A failed write (a full disk, a closed pipe, a full non-blocking pipe)
// leaves the stream's error state set, and a stream in that state writes
// nothing ever after: clear it first, so that printing resumes once the
// descriptor works again.  The failed write itself stays silent.
template <typename Printable>
void print_flushed(const Printable& object) {
    std::ostream& out = arma::get_cout_stream();
    out.clear();
    object.print();
    out.flush();
}

template <typename T>
class Operator {
public:
    using real_type = typename arma::get_pod_type<T>::result;
    using complex_type = std::complex<real_type>;

    std::shared_ptr<arma::Mat<T>> matrix;
    std::shared_ptr<arma::Col<real_type>> eigenvalues_sym;
    std::shared_ptr<arma::Col<complex_type>> eigenvalues_gen;
    std::shared_ptr<arma::Mat<real_type>> aux_real;  // owned, never used
    std::shared_ptr<arma::Mat<complex_type>> eigenvectors_gen;
    std::shared_ptr<arma::Mat<T>> eigenvectors_sym;

    Operator()
        : matrix(std::make_shared<arma::Mat<T>>()),
          eigenvalues_sym(std::make_shared<arma::Col<real_type>>()),
          eigenvalues_gen(std::make_shared<arma::Col<complex_type>>()),
          aux_real(std::make_shared<arma::Mat<real_type>>()),
          eigenvectors_gen(std::make_shared<arma::Mat<complex_type>>()),
          eigenvectors_sym(std::make_shared<arma::Mat<T>>()) {}

    // Copies share the six members.  Declaring the copies also removes the
    // implicit moves, which would leave a moved-from Operator with null
    // members: a move copies the pointers and leaves the source intact.
    Operator(const Operator&) = default;
    Operator& operator=(const Operator&) = default;

    // --- element access and fills -------------------------------------

    T get(int i, int j) const { return (*matrix)(to_uword(i), to_uword(j)); }
    void set(int i, int j, double value) { (*matrix)(to_uword(i), to_uword(j)) = T(value); }
    void set_size(int n_rows, int n_cols) { matrix->set_size(to_uword(n_rows), to_uword(n_cols)); }

    void zeros() { matrix->zeros(); }
    void zeros(int n_rows, int n_cols) { matrix->zeros(to_uword(n_rows), to_uword(n_cols)); }
    void ones() { matrix->ones(); }
    void ones(int n_rows, int n_cols) { matrix->ones(to_uword(n_rows), to_uword(n_cols)); }
    // Armadillo's own values and engine state, generated in bulk; the sized
    // forms reshape first, as Armadillo's do.
    void randu() { randu_fill(*matrix); }
    void randu(int n_rows, int n_cols) {
        matrix->set_size(to_uword(n_rows), to_uword(n_cols));
        randu_fill(*matrix);
    }
    void randn() { randn_fill(*matrix); }
    void randn(int n_rows, int n_cols) {
        matrix->set_size(to_uword(n_rows), to_uword(n_cols));
        randn_fill(*matrix);
    }
    void eye() { matrix->eye(); }
    void eye(int n_rows, int n_cols) { matrix->eye(to_uword(n_rows), to_uword(n_cols)); }

    // --- transposes (conjugate transpose for complex T) -----------------

    // The values of Armadillo's trans(), from a kernel of our own
    // (blocked_transpose.hpp).
    Operator transpose() const {
        Operator result;
        transpose_into(result);
        return result;
    }
    // transpose() into a default-constructed `result`: the binding makes
    // that on the heap for pybind11 to take over, since handing over a
    // returned Operator would copy it (six reference counts up and down).
    void transpose_into(Operator& result) const { assign_transpose(*result.matrix, *matrix); }
    // A square matrix is transposed in place by Armadillo; any other goes
    // through a temporary, as in Armadillo, so that a failed allocation
    // leaves the matrix as it was.
    void inplace_transpose() {
        if (matrix->n_rows == matrix->n_cols && !matrix->is_empty()) {
            arma::inplace_trans(*matrix);
        } else {
            arma::Mat<T> flipped;
            assign_transpose(flipped, *matrix);
            matrix->steal_mem(flipped);
        }
    }

    // --- inverse, determinant, exact structure tests --------------------

    Operator inverse() const {
        Operator result;
        *result.matrix = arma::inv(*matrix);
        return result;
    }
    T det() const { return arma::det(*matrix); }
    bool is_hermitian() const { return matrix->is_hermitian(); }
    bool is_symmetric() const { return matrix->is_symmetric(); }

    // --- eigen-decomposition and printing -------------------------------

    // Fills the symmetric/Hermitian pair when the matrix passes the exact
    // structure test, the general pair otherwise.  A failed decomposition
    // leaves the chosen pair empty and is not an error.
    //
    // Before its symmetric solver Armadillo compares a few corner elements
    // with a tolerance and warns when they differ.  A real matrix only gets
    // there when it is exactly symmetric, so the check can only fail on a NaN
    // or an infinity in a corner, and the warning would be false: real
    // decompositions write nothing.  A complex symmetric matrix that is not
    // Hermitian keeps its warning.
    void eigen() {
        if constexpr (std::is_same_v<T, real_type>) {
            const armadillo_warnings_muted muted;
            decompose();
        } else {
            decompose();
        }
    }

    void print() const { print_flushed(*matrix); }

    // Prints the pair that the current matrix selects; computes nothing.
    void print_eigen() const {
        if (selects_symmetric_solver()) {
            print_flushed(*eigenvalues_sym);
            print_flushed(*eigenvectors_sym);
        } else {
            print_flushed(*eigenvalues_gen);
            print_flushed(*eigenvectors_gen);
        }
    }

private:
    bool selects_symmetric_solver() const { return matrix->is_hermitian() || matrix->is_symmetric(); }

    void decompose() {
        if (selects_symmetric_solver()) {
            static_cast<void>(arma::eig_sym(*eigenvalues_sym, *eigenvectors_sym, *matrix));
        } else if (arma::eig_gen(*eigenvalues_gen, *eigenvectors_gen, *matrix)) {
            if constexpr (std::is_same_v<T, real_type>) separate_repeated_real_vectors();
        }
    }

    // For a real matrix LAPACK returns real columns, a conjugate pair as the
    // real and imaginary parts of its first vector.  Armadillo spots a pair
    // by vals[j] == conj(vals[j+1]), which also holds for two equal real
    // eigenvalues, and then stores complex(VR_j, VR_j+1) and its conjugate:
    // two vectors of norm sqrt(2) that are not the unit vectors LAPACK gave.
    // Its columns are walked in its own order (a pair skips one) and each
    // such pair is split back into LAPACK's two real columns, bit for bit.
    void separate_repeated_real_vectors() {
        const arma::Col<complex_type>& values = *eigenvalues_gen;
        arma::Mat<complex_type>& vectors = *eigenvectors_gen;
        for (arma::uword j = 0; j + 1 < values.n_elem; ++j) {
            if (values[j] != std::conj(values[j + 1])) continue;
            if (values[j].imag() == real_type(0)) {
                for (arma::uword i = 0; i < vectors.n_rows; ++i) {
                    const complex_type joined = vectors.at(i, j);
                    vectors.at(i, j) = complex_type(joined.real(), real_type(0));
                    vectors.at(i, j + 1) = complex_type(joined.imag(), real_type(0));
                }
            }
            ++j;  // either way Armadillo took both columns as one pair
        }
    }
};

// Free operators: results are fresh Operators holding only a matrix.

template <typename T>
Operator<T> operator+(const Operator<T>& left, const Operator<T>& right) {
    Operator<T> result;
    *result.matrix = *left.matrix + *right.matrix;
    return result;
}

template <typename T>
Operator<T> operator-(const Operator<T>& left, const Operator<T>& right) {
    Operator<T> result;
    *result.matrix = *left.matrix - *right.matrix;
    return result;
}

template <typename T>
Operator<T> operator*(const Operator<T>& left, const Operator<T>& right) {
    Operator<T> result;
    *result.matrix = *left.matrix * *right.matrix;
    return result;
}

}  // namespace zorvak
