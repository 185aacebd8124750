// Columns of the Moore–Penrose pseudo-inverse through the singular value
// decomposition.
#pragma once

#include <cstdint>

#include "frame/scratch.h"

namespace varnel {

// Scratch of pseudoInverseColumn for matrices of one shape, so that a
// caller solving with many matrices of that shape allocates once, up front.
class PseudoInverseWorkspace {
public:
    // For m x n matrices (or n x m: the shape counts up to transposition).
    PseudoInverseWorkspace(std::int32_t m, std::int32_t n) noexcept;
    bool ok() const noexcept { return ok_; }

private:
    friend bool pseudoInverseColumn(const double* a, std::int32_t m, std::int32_t n, double tolerance,
                                    std::int32_t column, double* x, PseudoInverseWorkspace& workspace) noexcept;
    ScratchBuffer<double> factor_;
    ScratchBuffer<double> reflectorWeights_;
    ScratchBuffer<double> singularValues_;
    ScratchBuffer<double> left_;
    ScratchBuffer<double> right_;
    ScratchBuffer<double> superdiagonal_;
    ScratchBuffer<double> rowScratch_;
    bool ok_ = false;
};

// x (n values) = column `column` (< m) of A^+ for A m x n row-major
// (m, n >= 1), in a workspace made for this shape: the least-norm
// least-squares solution of A x = e_column. Singular values not above
// tolerance count as zero; a negative tolerance stands for 2^-52 *
// min(m, n). Only the one column is formed, not the n x m matrix A^+.
// False, with x not written, when the decomposition does not converge.
bool pseudoInverseColumn(const double* a, std::int32_t m, std::int32_t n, double tolerance, std::int32_t column,
                         double* x, PseudoInverseWorkspace& workspace) noexcept;

}  // namespace varnel
