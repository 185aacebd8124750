// Building blocks of signal extension: mirroring, the Hann taper and the
// line and polynomial fits that continue a signal beyond its ends.
//
// Sample arrays may be strided (element k at [k * stride]) so that one
// implementation serves real samples and each half of complex ones.
#pragma once

#include <cstddef>
#include <cstdint>

namespace varnel {

// dst[k] = src[count - 1 - k] for k < count; nothing for count < 1.
void reverseCopy(const double* src, double* dst, std::int32_t count, std::ptrdiff_t srcStride = 1,
                 std::ptrdiff_t dstStride = 1) noexcept;

// Multiplies buf (length L) in place by a Hann window of length L:
// buf[0] by 0, buf[k] and buf[L-k] by sin^2(k pi/L) for 1 <= k < L/2, the
// middle sample of an even buffer kept. kStatusBadSize for L < 1.
std::int32_t hannTaper(double* buf, std::int64_t L) noexcept;

// Least-squares line through the K points (t[i], y[i]), in closed form.
// kStatusTooFewPoints for K < 2.
std::int32_t fitLine(const double* t, const double* y, std::int32_t K, double* slope, double* intercept) noexcept;

// out[i] = slope * t[i] + intercept. kStatusBadSize for count < 1.
std::int32_t evalLine(const double* t, std::int32_t count, double slope, double intercept, double* out,
                      std::ptrdiff_t outStride = 1) noexcept;

// Least-squares polynomial c[0] + c[1] t + ... + c[degree] t^degree
// through the K points (t[i], y[i]). kStatusBadSize for K < 1,
// kStatusNegativeDegree, kStatusUnderdetermined for K <= degree,
// kStatusNoMemory, or the status of leastSquaresFit.
std::int32_t fitPolynomial(const double* t, const double* y, std::int32_t K, std::int32_t degree,
                           double* coefficients) noexcept;

// out[i] = sum_j c[j] t[i]^j by running powers. kStatusBadSize for
// count < 1 or ncoef < 1.
std::int32_t evalPolynomial(const double* t, std::int32_t count, const double* c, std::int32_t ncoef, double* out,
                            std::ptrdiff_t outStride = 1) noexcept;

}  // namespace varnel
