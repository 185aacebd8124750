// Moore–Penrose pseudo-inverse through the singular value decomposition.
#pragma once

#include <cstdint>

#include "frame/scratch.h"

namespace varnel {

// Scratch of pseudoInverse for matrices of one shape, so that a caller
// inverting many matrices of that shape allocates once, up front.
class PseudoInverseWorkspace {
public:
    // For m x n matrices (or n x m: the shape counts up to transposition).
    PseudoInverseWorkspace(std::int32_t m, std::int32_t n) noexcept;
    bool ok() const noexcept { return ok_; }

private:
    friend bool pseudoInverse(const double* a, std::int32_t m, std::int32_t n, double tolerance, double* p,
                              PseudoInverseWorkspace& workspace) noexcept;
    ScratchBuffer<double> factor_;
    ScratchBuffer<double> singularValues_;
    ScratchBuffer<double> right_;
    ScratchBuffer<double> superdiagonal_;
    bool ok_ = false;
};

// P (n x m) = A^+ for A m x n row-major (m, n >= 1), in a workspace made
// for this shape. Singular values not above tolerance count as zero; a
// negative tolerance stands for 2^-52 * min(m, n). False, with P not
// written, when the decomposition does not converge.
bool pseudoInverse(const double* a, std::int32_t m, std::int32_t n, double tolerance, double* p,
                   PseudoInverseWorkspace& workspace) noexcept;

}  // namespace varnel
