// Linear least squares through the singular value decomposition.
#pragma once

#include <cstdint>

namespace varnel {

// Most columns leastSquaresFit accepts.
inline constexpr std::int32_t kMaxFitColumns = 90;

// c (J) = the minimum-norm least-squares solution of A c = y, A K x J
// row-major. Singular values below 1e-30 of the largest count as zero.
// Returns kStatusBadSize for K < 1, kStatusUnderdetermined for K < J,
// kStatusBadColumnCount for J outside 1..kMaxFitColumns (all before any
// allocation), kStatusNoMemory, or kStatusBadSize when the decomposition
// does not converge; c is written only on success.
std::int32_t leastSquaresFit(const double* a, std::int32_t K, std::int32_t J, const double* y, double* c) noexcept;

}  // namespace varnel
