// Singular value decomposition of small dense matrices (Golub–Reinsch),
// behind the pseudo-inverse.
//
// Matrices are column-major: element (i, j) of an m x n matrix is at j*m + i,
// so that the Householder updates of columns and the rotations of B and V,
// nearly all of the work, run over contiguous memory.
#pragma once

#include <cstdint>

namespace varnel {

// A (m x n, m >= n >= 1) = U diag(w) V^T, with U = H [B; 0]: H the product
// of the n Householder reflectors the reduction leaves in a's columns, B an
// n x n rotation. U itself is never formed: applying it to a vector costs
// about 4mn, while forming it and rotating its m-long columns through the
// sweeps would cost some 12mn^2, most of the work when m is much larger
// than n. A caller that needs one row of U or of V (a pseudo-inverse column
// does) asks for just that row: the sweeps then rotate n values instead of
// an n x n matrix.
struct SvdFactors {
    double* a;                 // m x n: the matrix in, the reflectors out
    double* reflectorWeights;  // n: weight of reflector i (0: none)
    double* w;                 // n singular values (unsorted, all >= 0)
    double* left;              // leftRow < 0: B (n x n); else row leftRow of U
    double* right;             // rightRow < 0: V (n x n); else row rightRow of V
    std::int32_t m;
    std::int32_t n;
    std::int32_t leftRow = -1;   // < m
    std::int32_t rightRow = -1;  // < n
};

// superdiagonal is scratch for n doubles, rowScratch for m + n. False when
// a value has not converged after 30 sweeps.
bool svdDecompose(const SvdFactors& f, double* superdiagonal, double* rowScratch) noexcept;

// x (m doubles) = U z (z: n doubles), for factors with B (leftRow < 0).
void applyLeftFactor(const SvdFactors& f, const double* z, double* x) noexcept;

}  // namespace varnel
