// Singular value decomposition of small dense matrices (Golub–Reinsch),
// behind the pseudo-inverse.
//
// Matrices are column-major: element (i, j) of an m x n matrix is at j*m + i.
// That is the transpose of the usual row-major layout, so that the
// Householder updates of columns and the rotations of U and V, nearly all
// of the work, run over contiguous memory; every value is computed by the
// same operations in the same order as in the row-major form, so the
// results are the same to the last bit.
#pragma once

#include <cstdint>

namespace varnel {

// A (m x n, m >= n >= 1) = U diag(w) V^T. U overwrites a, w receives the n
// singular values (unsorted, all >= 0), v the n x n matrix V. superdiagonal
// is scratch for n doubles, rowScratch for m + n. False when a value has not
// converged after 30 sweeps.
bool svdDecompose(double* a, std::int32_t m, std::int32_t n, double* w, double* v, double* superdiagonal,
                  double* rowScratch) noexcept;

}  // namespace varnel
