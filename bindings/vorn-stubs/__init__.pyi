"""Dense linear-algebra value types: matrices (Operator, Hamiltonian) and
column vectors (Basis), each in a real and a complex flavour.

Arguments have no names (arg0, arg1, ...) and are passed by position.
Indexes and sizes are 32-bit ints: what operator.index takes (int, bool,
numpy integers, objects with __index__), never a float; a size counts rows,
columns or elements.  Element values are real numbers in both flavours
(float, int, numpy real scalars, objects with __float__ or __index__), never
a complex number, a str or None.  An argument refused so, or an int beyond
32 bits, raises pybind11's TypeError.  Elements are plain numbers, with no
unit.  Flavours never mix.

Operations that build a new object return the Operator or Basis class of
the operand's flavour, also for a Hamiltonian.  Armadillo's errors arrive
with its own text: IndexError for an index out of bounds, RuntimeError for
size and dimension errors, MemoryError when memory runs out.  Printing goes
to the process's standard output (file descriptor 1), not through
sys.stdout.  Instances cannot be pickled or copied (TypeError).
"""

from typing import overload

class OperatorReal:
    """A dense real matrix that keeps its last eigen() results.

    A new one is 0x0.  Element (i, j) is row i, column j, stored column by
    column; elements are plain numbers, with no unit.
    """
    def __init__(self) -> None:
        """Makes an empty 0x0 matrix; any argument raises TypeError."""
    def eigen(self) -> None:
        """Eigen-decomposes the matrix and keeps the results for print_eigen().

        An exactly symmetric matrix takes the symmetric solver (real
        eigenvalues ascending, orthonormal eigenvectors), any other the general
        solver (complex eigenvalues, eigenvectors of norm 1 with the largest
        component real).  The other solver's results stay.  RuntimeError
        "eig_gen(): given matrix must be square sized" for a non-square matrix;
        a failed decomposition (a NaN, say) leaves that solver's results empty,
        silently.
        """
    def __add__(self, arg0: OperatorReal, /) -> OperatorReal:
        """Element-wise sum, as a new OperatorReal (never a Hamiltonian).

        RuntimeError "addition: incompatible matrix dimensions: 2x3 and 3x2"
        when the shapes differ (the left one first).  TypeError for a right
        operand other than an OperatorReal or HamiltonianReal.
        """
    def __sub__(self, arg0: OperatorReal, /) -> OperatorReal:
        """Element-wise difference, as a new OperatorReal.

        RuntimeError "subtraction: incompatible matrix dimensions: 2x3 and 3x2"
        when the shapes differ (the left one first).  TypeError for a right
        operand other than an OperatorReal or HamiltonianReal.
        """
    def __mul__(self, arg0: OperatorReal, /) -> OperatorReal:
        """Matrix product (not element-wise), as a new OperatorReal.

        RuntimeError "matrix multiplication: incompatible matrix dimensions:
        2x3 and 2x3" when the left's columns differ from the right's rows.
        TypeError for a right operand other than an OperatorReal or
        HamiltonianReal.
        """
    def transpose(self) -> OperatorReal:
        """Returns the transpose as a new OperatorReal; self is unchanged."""
    def inplace_transpose(self) -> None:
        """Transposes the matrix in place; eigen results stay as they were."""
    def inverse(self) -> OperatorReal:
        """Returns the inverse, as a new OperatorReal; self stays as it is.

        RuntimeError "inv(): matrix is singular" for a singular matrix, "inv():
        given matrix must be square sized" for a non-square one.
        """
    def is_hermitian(self) -> bool:
        """True when the matrix is square and equals its transpose exactly.

        Exact, with no tolerance: entries that differ in the last bit, or a NaN
        off the diagonal, give False.  For a real matrix the same as
        is_symmetric().
        """
    def is_symmetric(self) -> bool:
        """True when the matrix is square and equals its transpose exactly.

        Exact, with no tolerance: entries that differ in the last bit, or a NaN
        off the diagonal, give False.  A 0x0 or 1x1 matrix is symmetric.
        """
    def det(self) -> float:
        """Returns the determinant, as a float (1.0 for a 0x0 matrix).

        RuntimeError "det(): given matrix must be square sized" for a
        non-square matrix.
        """
    def get(self, arg0: int, arg1: int, /) -> float:
        """Returns element (row arg0, column arg1), as a float.

        IndexError "Mat::operator(): index out of bounds" for an index outside
        the matrix (any negative one too); TypeError for a float index or one
        beyond 32 bits.
        """
    def set_size(self, arg0: int, arg1: int, /) -> None:
        """Resizes the matrix to arg0 rows and arg1 columns.

        The same shape changes nothing; the same element count keeps the values
        in column-major order; otherwise they are undefined.  RuntimeError for
        a negative size (beside a size of 0 it gives a matrix with no
        elements); TypeError for a float or a size beyond 32 bits.
        """
    def set(self, arg0: int, arg1: int, arg2: float, /) -> None:
        """Sets element (row arg0, column arg1) to the real value arg2.

        IndexError "Mat::operator(): index out of bounds" for an index outside
        the matrix (any negative one too); TypeError for a float index, one
        beyond 32 bits, or a complex, str or None value.
        """
    @overload
    def zeros(self) -> None:
        """Sets every element to 0; the shape stays."""
    @overload
    def zeros(self, arg0: int, arg1: int, /) -> None:
        """Resizes to arg0 rows and arg1 columns, every element 0.

        RuntimeError for a negative size (beside a size of 0 it gives a matrix
        with no elements); TypeError for a float or a size beyond 32 bits.
        """
    @overload
    def ones(self) -> None:
        """Sets every element to 1; the shape stays."""
    @overload
    def ones(self, arg0: int, arg1: int, /) -> None:
        """Resizes to arg0 rows and arg1 columns, every element 1.

        RuntimeError for a negative size (beside a size of 0 it gives a matrix
        with no elements); TypeError for a float or a size beyond 32 bits.
        """
    @overload
    def randu(self) -> None:
        """Fills every element uniformly on [0, 1); the shape stays.

        Armadillo's own values, from its thread-local, never seeded Mersenne
        Twister: a fresh process draws the same sequence.
        """
    @overload
    def randu(self, arg0: int, arg1: int, /) -> None:
        """Resizes to arg0 rows and arg1 columns, then fills as randu() does.

        Armadillo's own values, from its thread-local, never seeded Mersenne
        Twister: a fresh process draws the same sequence.  RuntimeError for a
        negative size (beside a size of 0 it gives a matrix with no elements);
        TypeError for a float or a size beyond 32 bits.
        """
    @overload
    def randn(self) -> None:
        """Fills from the standard normal distribution; the shape stays.

        Mean 0, standard deviation 1.  Armadillo's own values, from its
        thread-local, never seeded Mersenne Twister: a fresh process draws the
        same sequence.
        """
    @overload
    def randn(self, arg0: int, arg1: int, /) -> None:
        """Resizes to arg0 rows and arg1 columns, then fills as randn() does.

        Mean 0, standard deviation 1.  Armadillo's own values, from its
        thread-local, never seeded Mersenne Twister: a fresh process draws the
        same sequence.  RuntimeError for a negative size (beside a size of 0 it
        gives a matrix with no elements); TypeError for a float or a size
        beyond 32 bits.
        """
    @overload
    def eye(self) -> None:
        """Sets the main diagonal to 1 and the rest to 0; the shape stays."""
    @overload
    def eye(self, arg0: int, arg1: int, /) -> None:
        """Resizes to arg0 rows and arg1 columns: 1 on the diagonal, 0 off it.

        RuntimeError for a negative size (beside a size of 0 it gives a matrix
        with no elements); TypeError for a float or a size beyond 32 bits.
        """
    def print(self) -> None:
        """Prints the matrix in Armadillo's layout and flushes.

        It goes to the process's standard output (file descriptor 1), not
        through sys.stdout; a failed write is silent.
        """
    def print_eigen(self) -> None:
        """Prints the stored eigenvalues, then eigenvectors; computes nothing.

        The results shown are those of the solver the current matrix selects,
        as in eigen(): empty while no eigen() has taken that solver.  It goes
        to the process's standard output (file descriptor 1), not through
        sys.stdout.
        """

class OperatorComplex:
    """A dense complex matrix that keeps its last eigen() results.

    A new one is 0x0.  Element (i, j) is row i, column j, stored column by
    column; elements are plain numbers, with no unit.
    """
    def __init__(self) -> None:
        """Makes an empty 0x0 matrix; any argument raises TypeError."""
    def eigen(self) -> None:
        """Eigen-decomposes the matrix and keeps the results for print_eigen().

        An exactly Hermitian or symmetric matrix takes the Hermitian solver
        (real eigenvalues ascending, orthonormal eigenvectors; a symmetric one
        that is not Hermitian is solved from its upper triangle, and Armadillo
        may warn on standard error), any other the general solver (eigenvectors
        of norm 1 with the largest component real).  The other solver's results
        stay.  RuntimeError "eig_gen(): given matrix must be square sized" for
        a non-square matrix; a failed decomposition (a NaN, say) leaves that
        solver's results empty, silently.
        """
    def __add__(self, arg0: OperatorComplex, /) -> OperatorComplex:
        """Element-wise sum, as a new OperatorComplex (never a Hamiltonian).

        RuntimeError "addition: incompatible matrix dimensions: 2x3 and 3x2"
        when the shapes differ (the left one first).  TypeError for a right
        operand other than an OperatorComplex or HamiltonianComplex.
        """
    def __sub__(self, arg0: OperatorComplex, /) -> OperatorComplex:
        """Element-wise difference, as a new OperatorComplex.

        RuntimeError "subtraction: incompatible matrix dimensions: 2x3 and 3x2"
        when the shapes differ (the left one first).  TypeError for a right
        operand other than an OperatorComplex or HamiltonianComplex.
        """
    def __mul__(self, arg0: OperatorComplex, /) -> OperatorComplex:
        """Matrix product (not element-wise), as a new OperatorComplex.

        RuntimeError "matrix multiplication: incompatible matrix dimensions:
        2x3 and 2x3" when the left's columns differ from the right's rows.
        TypeError for a right operand other than an OperatorComplex or
        HamiltonianComplex.
        """
    def transpose(self) -> OperatorComplex:
        """Returns the conjugate transpose, as a new OperatorComplex.

        Element (j, i) of the result is the conjugate of element (i, j); self
        stays as it is.
        """
    def inplace_transpose(self) -> None:
        """Replaces the matrix by its conjugate transpose, in place.

        The eigen results stay as they were.
        """
    def inverse(self) -> OperatorComplex:
        """Returns the inverse, as a new OperatorComplex; self stays as it is.

        RuntimeError "inv(): matrix is singular" for a singular matrix, "inv():
        given matrix must be square sized" for a non-square one.
        """
    def is_hermitian(self) -> bool:
        """True when the matrix is square and equals its conjugate transpose.

        Exact, with no tolerance: every imaginary part on the diagonal must be
        0.0, and entries that differ in the last bit, or a NaN off the
        diagonal, give False.
        """
    def is_symmetric(self) -> bool:
        """True when the matrix is square and equals its plain transpose.

        No conjugation, and no tolerance: entries that differ in the last bit,
        or a NaN off the diagonal, give False.  A 0x0 or 1x1 matrix is
        symmetric.
        """
    def det(self) -> complex:
        """Returns the determinant, as a complex (1+0j for a 0x0 matrix).

        RuntimeError "det(): given matrix must be square sized" for a
        non-square matrix.
        """
    def get(self, arg0: int, arg1: int, /) -> complex:
        """Returns element (row arg0, column arg1), as a complex.

        IndexError "Mat::operator(): index out of bounds" for an index outside
        the matrix (any negative one too); TypeError for a float index or one
        beyond 32 bits.
        """
    def set_size(self, arg0: int, arg1: int, /) -> None:
        """Resizes the matrix to arg0 rows and arg1 columns.

        The same shape changes nothing; the same element count keeps the values
        in column-major order; otherwise they are undefined.  RuntimeError for
        a negative size (beside a size of 0 it gives a matrix with no
        elements); TypeError for a float or a size beyond 32 bits.
        """
    def set(self, arg0: int, arg1: int, arg2: float, /) -> None:
        """Sets element (row arg0, column arg1) to arg2 + 0j.

        arg2 is real: the imaginary part is always 0.  IndexError
        "Mat::operator(): index out of bounds" for an index outside the matrix
        (any negative one too); TypeError for a float index, one beyond 32
        bits, or a complex, str or None value.
        """
    @overload
    def zeros(self) -> None:
        """Sets every element to 0; the shape stays."""
    @overload
    def zeros(self, arg0: int, arg1: int, /) -> None:
        """Resizes to arg0 rows and arg1 columns, every element 0.

        RuntimeError for a negative size (beside a size of 0 it gives a matrix
        with no elements); TypeError for a float or a size beyond 32 bits.
        """
    @overload
    def ones(self) -> None:
        """Sets every element to 1; the shape stays."""
    @overload
    def ones(self, arg0: int, arg1: int, /) -> None:
        """Resizes to arg0 rows and arg1 columns, every element 1.

        RuntimeError for a negative size (beside a size of 0 it gives a matrix
        with no elements); TypeError for a float or a size beyond 32 bits.
        """
    @overload
    def randu(self) -> None:
        """Fills every element uniformly on [0, 1); the shape stays.

        Both parts of each element are drawn so, the real one first.
        Armadillo's own values, from its thread-local, never seeded Mersenne
        Twister: a fresh process draws the same sequence.
        """
    @overload
    def randu(self, arg0: int, arg1: int, /) -> None:
        """Resizes to arg0 rows and arg1 columns, then fills as randu() does.

        Both parts of each element are drawn so, the real one first.
        Armadillo's own values, from its thread-local, never seeded Mersenne
        Twister: a fresh process draws the same sequence.  RuntimeError for a
        negative size (beside a size of 0 it gives a matrix with no elements);
        TypeError for a float or a size beyond 32 bits.
        """
    @overload
    def randn(self) -> None:
        """Fills from the standard normal distribution; the shape stays.

        Both parts of each element, real first, have mean 0 and standard
        deviation 1.  Armadillo's own values, from its thread-local, never
        seeded Mersenne Twister: a fresh process draws the same sequence.
        """
    @overload
    def randn(self, arg0: int, arg1: int, /) -> None:
        """Resizes to arg0 rows and arg1 columns, then fills as randn() does.

        Both parts of each element, real first, have mean 0 and standard
        deviation 1.  Armadillo's own values, from its thread-local, never
        seeded Mersenne Twister: a fresh process draws the same sequence.
        RuntimeError for a negative size (beside a size of 0 it gives a matrix
        with no elements); TypeError for a float or a size beyond 32 bits.
        """
    @overload
    def eye(self) -> None:
        """Sets the main diagonal to 1 and the rest to 0; the shape stays."""
    @overload
    def eye(self, arg0: int, arg1: int, /) -> None:
        """Resizes to arg0 rows and arg1 columns: 1 on the diagonal, 0 off it.

        RuntimeError for a negative size (beside a size of 0 it gives a matrix
        with no elements); TypeError for a float or a size beyond 32 bits.
        """
    def print(self) -> None:
        """Prints the matrix in Armadillo's layout and flushes.

        It goes to the process's standard output (file descriptor 1), not
        through sys.stdout; a failed write is silent.
        """
    def print_eigen(self) -> None:
        """Prints the stored eigenvalues, then eigenvectors; computes nothing.

        The results shown are those of the solver the current matrix selects,
        as in eigen(): empty while no eigen() has taken that solver.  It goes
        to the process's standard output (file descriptor 1), not through
        sys.stdout.
        """

class BasisReal:
    """A dense real column vector.

    A new one has 0 elements; elements are plain numbers, with no unit.  It
    never combines with an Operator.
    """
    def __init__(self) -> None:
        """Makes an empty vector; any argument raises TypeError."""
    def __add__(self, arg0: BasisReal, /) -> BasisReal:
        """Element-wise sum, as a new BasisReal.

        RuntimeError "addition: incompatible matrix dimensions: 3x1 and 2x1"
        when the lengths differ (the left one first).  TypeError for a right
        operand that is not a BasisReal.
        """
    def __sub__(self, arg0: BasisReal, /) -> BasisReal:
        """Element-wise difference, as a new BasisReal.

        RuntimeError "subtraction: incompatible matrix dimensions: 3x1 and 2x1"
        when the lengths differ (the left one first).  TypeError for a right
        operand that is not a BasisReal.
        """
    def get(self, arg0: int, /) -> float:
        """Returns element arg0, as a float.

        IndexError "Mat::operator(): index out of bounds" for an index outside
        the vector (any negative one too); TypeError for a float index or one
        beyond 32 bits.
        """
    def set_size(self, arg0: int, /) -> None:
        """Resizes the vector to arg0 elements.

        The same size changes nothing; otherwise the values are undefined.
        RuntimeError "arma::memory::acquire(): requested size is too large" for
        a negative size; TypeError for a float or a size beyond 32 bits.
        """
    def set(self, arg0: int, arg1: float, /) -> None:
        """Sets element arg0 to the real value arg1.

        IndexError "Mat::operator(): index out of bounds" for an index outside
        the vector (any negative one too); TypeError for a float index, one
        beyond 32 bits, or a complex, str or None value.
        """
    @overload
    def zeros(self) -> None:
        """Sets every element to 0; the size stays."""
    @overload
    def zeros(self, arg0: int, /) -> None:
        """Resizes to arg0 elements, every element 0.

        RuntimeError "arma::memory::acquire(): requested size is too large" for
        a negative size; TypeError for a float or a size beyond 32 bits.
        """
    @overload
    def ones(self) -> None:
        """Sets every element to 1; the size stays."""
    @overload
    def ones(self, arg0: int, /) -> None:
        """Resizes to arg0 elements, every element 1.

        RuntimeError "arma::memory::acquire(): requested size is too large" for
        a negative size; TypeError for a float or a size beyond 32 bits.
        """
    @overload
    def randu(self) -> None:
        """Fills every element uniformly on [0, 1); the size stays.

        Armadillo's own values, from its thread-local, never seeded Mersenne
        Twister: a fresh process draws the same sequence.
        """
    @overload
    def randu(self, arg0: int, /) -> None:
        """Resizes to arg0 elements, then fills as randu() does.

        Armadillo's own values, from its thread-local, never seeded Mersenne
        Twister: a fresh process draws the same sequence.  RuntimeError
        "arma::memory::acquire(): requested size is too large" for a negative
        size; TypeError for a float or a size beyond 32 bits.
        """
    @overload
    def randn(self) -> None:
        """Fills from the standard normal distribution; the size stays.

        Mean 0, standard deviation 1.  Armadillo's own values, from its
        thread-local, never seeded Mersenne Twister: a fresh process draws the
        same sequence.
        """
    @overload
    def randn(self, arg0: int, /) -> None:
        """Resizes to arg0 elements, then fills as randn() does.

        Mean 0, standard deviation 1.  Armadillo's own values, from its
        thread-local, never seeded Mersenne Twister: a fresh process draws the
        same sequence.  RuntimeError "arma::memory::acquire(): requested size
        is too large" for a negative size; TypeError for a float or a size
        beyond 32 bits.
        """
    def print(self) -> None:
        """Prints the vector as an n x 1 matrix and flushes.

        In Armadillo's layout, on the process's standard output (file
        descriptor 1), not through sys.stdout; a failed write is silent.
        """

class BasisComplex:
    """A dense complex column vector.

    A new one has 0 elements; elements are plain numbers, with no unit.  It
    never combines with an Operator.
    """
    def __init__(self) -> None:
        """Makes an empty vector; any argument raises TypeError."""
    def __add__(self, arg0: BasisComplex, /) -> BasisComplex:
        """Element-wise sum, as a new BasisComplex.

        RuntimeError "addition: incompatible matrix dimensions: 3x1 and 2x1"
        when the lengths differ (the left one first).  TypeError for a right
        operand that is not a BasisComplex.
        """
    def __sub__(self, arg0: BasisComplex, /) -> BasisComplex:
        """Element-wise difference, as a new BasisComplex.

        RuntimeError "subtraction: incompatible matrix dimensions: 3x1 and 2x1"
        when the lengths differ (the left one first).  TypeError for a right
        operand that is not a BasisComplex.
        """
    def get(self, arg0: int, /) -> complex:
        """Returns element arg0, as a complex.

        IndexError "Mat::operator(): index out of bounds" for an index outside
        the vector (any negative one too); TypeError for a float index or one
        beyond 32 bits.
        """
    def set_size(self, arg0: int, /) -> None:
        """Resizes the vector to arg0 elements.

        The same size changes nothing; otherwise the values are undefined.
        RuntimeError "arma::memory::acquire(): requested size is too large" for
        a negative size; TypeError for a float or a size beyond 32 bits.
        """
    def set(self, arg0: int, arg1: float, /) -> None:
        """Sets element arg0 to arg1 + 0j.

        arg1 is real: the imaginary part is always 0.  IndexError
        "Mat::operator(): index out of bounds" for an index outside the vector
        (any negative one too); TypeError for a float index, one beyond 32
        bits, or a complex, str or None value.
        """
    @overload
    def zeros(self) -> None:
        """Sets every element to 0; the size stays."""
    @overload
    def zeros(self, arg0: int, /) -> None:
        """Resizes to arg0 elements, every element 0.

        RuntimeError "arma::memory::acquire(): requested size is too large" for
        a negative size; TypeError for a float or a size beyond 32 bits.
        """
    @overload
    def ones(self) -> None:
        """Sets every element to 1; the size stays."""
    @overload
    def ones(self, arg0: int, /) -> None:
        """Resizes to arg0 elements, every element 1.

        RuntimeError "arma::memory::acquire(): requested size is too large" for
        a negative size; TypeError for a float or a size beyond 32 bits.
        """
    @overload
    def randu(self) -> None:
        """Fills every element uniformly on [0, 1); the size stays.

        Both parts of each element are drawn so, the real one first.
        Armadillo's own values, from its thread-local, never seeded Mersenne
        Twister: a fresh process draws the same sequence.
        """
    @overload
    def randu(self, arg0: int, /) -> None:
        """Resizes to arg0 elements, then fills as randu() does.

        Both parts of each element are drawn so, the real one first.
        Armadillo's own values, from its thread-local, never seeded Mersenne
        Twister: a fresh process draws the same sequence.  RuntimeError
        "arma::memory::acquire(): requested size is too large" for a negative
        size; TypeError for a float or a size beyond 32 bits.
        """
    @overload
    def randn(self) -> None:
        """Fills from the standard normal distribution; the size stays.

        Both parts of each element, real first, have mean 0 and standard
        deviation 1.  Armadillo's own values, from its thread-local, never
        seeded Mersenne Twister: a fresh process draws the same sequence.
        """
    @overload
    def randn(self, arg0: int, /) -> None:
        """Resizes to arg0 elements, then fills as randn() does.

        Both parts of each element, real first, have mean 0 and standard
        deviation 1.  Armadillo's own values, from its thread-local, never
        seeded Mersenne Twister: a fresh process draws the same sequence.
        RuntimeError "arma::memory::acquire(): requested size is too large" for
        a negative size; TypeError for a float or a size beyond 32 bits.
        """
    def print(self) -> None:
        """Prints the vector as an n x 1 matrix and flushes.

        In Armadillo's layout, on the process's standard output (file
        descriptor 1), not through sys.stdout; a failed write is silent.
        """

class HamiltonianReal(OperatorReal):
    """The OperatorReal kind that stands for a Hamiltonian matrix.

    Every OperatorReal method works on it unchanged; what they build
    (transpose(), inverse(), +, -, *) is an OperatorReal, never a
    HamiltonianReal.
    """
    def __init__(self) -> None:
        """Makes an empty 0x0 matrix; any argument raises TypeError."""

class HamiltonianComplex(OperatorComplex):
    """The OperatorComplex kind that stands for a Hamiltonian matrix.

    Every OperatorComplex method works on it unchanged; what they build
    (transpose(), inverse(), +, -, *) is an OperatorComplex, never a
    HamiltonianComplex.
    """
    def __init__(self) -> None:
        """Makes an empty 0x0 matrix; any argument raises TypeError."""
