// Singular value decomposition of small dense matrices (Golub–Reinsch),
// behind the pseudo-inverse.
//
// Matrices are row-major: element (i, j) of an m x n matrix is at i*n + j.
#pragma once

#include <cstdint>

namespace varnel {

// A (m x n, m >= n >= 1) = U diag(w) V^T. U overwrites a, w receives the n
// singular values (unsorted, all >= 0), v the n x n matrix V. superdiagonal
// is scratch for n doubles. False when a value has not converged after 30
// sweeps.
bool svdDecompose(double* a, std::int32_t m, std::int32_t n, double* w, double* v, double* superdiagonal) noexcept;

}  // namespace varnel
