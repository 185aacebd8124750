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
    bool fits(std::int32_t m, std::int32_t n) const noexcept;

private:
    friend std::int32_t pseudoInverse(const double* a, std::int32_t m, std::int32_t n, double tolerance, double* p,
                                      PseudoInverseWorkspace& workspace) noexcept;
    std::int64_t longSide_ = 0;
    std::int64_t shortSide_ = 0;
    ScratchBuffer<double> factor_;
    ScratchBuffer<double> singularValues_;
    ScratchBuffer<double> right_;
    ScratchBuffer<double> superdiagonal_;
    bool ok_ = false;
};

// P (n x m) = A^+ for A m x n row-major. Singular values not above
// tolerance count as zero; a negative tolerance stands for
// 2^-52 * min(m, n). Returns kStatusBadSize for m < 1 or n < 1,
// kStatusNoMemory, or kStatusNoConvergence; P is written only on success.
std::int32_t pseudoInverse(const double* a, std::int32_t m, std::int32_t n, double tolerance, double* p) noexcept;

// The same in a workspace made for this shape (kStatusBadSize otherwise).
std::int32_t pseudoInverse(const double* a, std::int32_t m, std::int32_t n, double tolerance, double* p,
                           PseudoInverseWorkspace& workspace) noexcept;

}  // namespace varnel
