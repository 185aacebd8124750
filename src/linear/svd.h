// Singular value decomposition of small dense matrices (Golub–Reinsch),
// the common ground of the least-squares fit and the pseudo-inverse.
//
// Matrices are row-major: element (i, j) of an m x n matrix is at i*n + j.
#pragma once

#include <cstdint>

namespace varnel {

// The two clients judge "zero" on the bidiagonal differently and report
// non-convergence with different codes; one decomposition serves both.
enum class SvdSplitTest : std::int32_t {
    // |x| + eps == eps: x vanishes in the working precision of the matrix.
    Exact,
    // (|x| + eps) - eps < 1e-16: also drops what the rounding leaves over.
    BelowAbsoluteThreshold,
};

struct SvdInstance {
    SvdSplitTest splitTest;
    std::int32_t noConvergenceStatus;
};

// Instance behind leastSquaresFit.
extern const SvdInstance kLeastSquaresSvd;
// Instance behind pseudoInverse.
extern const SvdInstance kPseudoInverseSvd;

// A (m x n, m >= n >= 1) = U diag(w) V^T. U overwrites a, w receives the n
// singular values (unsorted, all >= 0), v the n x n matrix V. superdiagonal
// is scratch for n doubles. Returns 0, kStatusBadSize when n < 1 or m < n,
// or the instance's status when a value has not converged after 30 sweeps.
std::int32_t svdDecompose(double* a, std::int32_t m, std::int32_t n, double* w, double* v,
                          double* superdiagonal, const SvdInstance& instance) noexcept;

// The same, taking the superdiagonal scratch itself (kStatusNoMemory when
// it cannot).
std::int32_t svdDecompose(double* a, std::int32_t m, std::int32_t n, double* w, double* v,
                          const SvdInstance& instance) noexcept;

// x = V diag(1/w) U^T b over the non-zero w: the minimum-norm least-squares
// solution when the negligible singular values were set to zero. Returns 0,
// or kStatusNoMemory when its scratch vector cannot be allocated.
std::int32_t svdBackSubstitute(const double* u, const double* w, const double* v, std::int32_t m,
                               std::int32_t n, const double* b, double* x) noexcept;

}  // namespace varnel
