// Dual (analysis) windows of a Gabor pair, by two routes.
//
// The biorthogonality conditions sum_c g[j0 + a*N + c*dM] * d[j0 + c*dM] =
// delta(a) / dM only couple dual samples of one residue j0 of the time
// index modulo dM, so the L-sized problem falls apart into dM systems of R
// equations in p = L/dM unknowns, each solved for its least-norm solution:
// singular values not above kSingularValueTolerance count as zero.
#pragma once

#include <cstdint>

namespace varnel::gabor {

enum DualMode : std::int32_t { PeriodicDual = 0, AperiodicDual = 1 };

// Singular values at or below this count as zero, whatever the window's scale.
constexpr double kSingularValueTolerance = 1e-10;

// Arguments already checked: L a multiple of dM and of N, dM <= N, N a
// power of two, mode 0 or 1.

// Each residue's system through a singular value decomposition: any
// lattice, both modes, work growing as L^3 / N^2. A residue whose
// decomposition does not converge (non-finite samples) gets zeros.
std::int32_t residueSystemDual(const double* window, std::int32_t L, std::int32_t dM, std::int32_t N,
                               std::int32_t mode, double* dual) noexcept;

// The periodic dual when dM divides N, with work growing as L log(L/N).
// Each residue's matrix is then made of k = N/dM blocks that are circulant
// up to the order of their rows, block r holding the window's samples
// j0 + r*dM + m*N, m < q = L/N; M M^T is circulant, its eigenvalues (the
// squared singular values) are the sums over r of the blocks' power
// spectra, and the least-norm solution is each block's spectrum divided by
// them: transforms of length q in place of a decomposition. A residue with
// a non-finite sample gets zeros, as by the decomposition.
std::int32_t factorisedPeriodicDual(const double* window, std::int32_t L, std::int32_t dM, std::int32_t N,
                                    double* dual) noexcept;

}  // namespace varnel::gabor
