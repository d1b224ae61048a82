// zorvak::Basis<T>: a dense column vector of T (double or
// std::complex<double>).  Copies share the vector; sums and differences
// are fresh vectors.
#pragma once

#include "linalg/armadillo.hpp"
#include <memory>

#include "linalg/operator.hpp"
#include "linalg/random_fill.hpp"

namespace zorvak {

template <typename T>
class Basis {
public:
    std::shared_ptr<arma::Col<T>> vec;

    Basis() : vec(std::make_shared<arma::Col<T>>()) {}
    // Copies share the vector; as for Operator, no implicit moves.
    Basis(const Basis&) = default;
    Basis& operator=(const Basis&) = default;

    // Col's one-index operator() checks against n_elem and reports with the
    // same text as the matrix accessor.
    T get(int i) const { return (*vec)(to_uword(i)); }
    void set(int i, double value) { (*vec)(to_uword(i)) = T(value); }
    void set_size(int n) { vec->set_size(to_uword(n)); }

    void zeros() { vec->zeros(); }
    void zeros(int n) { vec->zeros(to_uword(n)); }
    void ones() { vec->ones(); }
    void ones(int n) { vec->ones(to_uword(n)); }
    void randu() { randu_fill(*vec); }
    void randu(int n) {
        vec->set_size(to_uword(n));
        randu_fill(*vec);
    }
    void randn() { randn_fill(*vec); }
    void randn(int n) {
        vec->set_size(to_uword(n));
        randn_fill(*vec);
    }

    void print() const { print_flushed(*vec); }
};

template <typename T>
Basis<T> operator+(const Basis<T>& left, const Basis<T>& right) {
    Basis<T> result;
    *result.vec = *left.vec + *right.vec;
    return result;
}

template <typename T>
Basis<T> operator-(const Basis<T>& left, const Basis<T>& right) {
    Basis<T> result;
    *result.vec = *left.vec - *right.vec;
    return result;
}

}  // namespace zorvak
