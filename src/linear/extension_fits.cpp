// Line and polynomial fits that continue a signal past its ends.
#include <cmath>
#include <cstddef>

#include "frame/scratch.h"
#include "linear/extension.h"
#include "linear/least_squares.h"
#include "varnel.h"

namespace varnel {

std::int32_t fitLine(const double* t, const double* y, std::int32_t K, double* slope, double* intercept) noexcept {
    if (K < 2) return kStatusTooFewPoints;
    double sx = 0.0, sxx = 0.0, sy = 0.0, sxy = 0.0;
    for (std::int32_t i = 0; i < K; ++i) {
        sx += t[i];
        sxx += t[i] * t[i];
        sy += y[i];
        sxy += t[i] * y[i];
    }
    const double points = K;
    const double d = sx * sx - sxx * points;
    *slope = (sy * sx - sxy * points) / d;
    *intercept = (sxy * sx - sy * sxx) / d;
    return kStatusOk;
}

std::int32_t evalLine(const double* t, std::int32_t count, double slope, double intercept, double* out,
                      std::ptrdiff_t outStride) noexcept {
    if (count < 1) return kStatusBadSize;
    for (std::ptrdiff_t i = 0; i < count; ++i) out[i * outStride] = slope * t[i] + intercept;
    return kStatusOk;
}

std::int32_t fitPolynomial(const double* t, const double* y, std::int32_t K, std::int32_t degree,
                           double* coefficients) noexcept {
    if (K < 1) return kStatusBadSize;
    if (degree < 0) return kStatusNegativeDegree;
    if (K <= degree) return kStatusUnderdetermined;
    const std::int32_t columns = degree + 1;
    ScratchBuffer<double> vandermonde(static_cast<std::size_t>(K) * static_cast<std::size_t>(columns));
    if (!vandermonde.ok()) return kStatusNoMemory;
    for (std::ptrdiff_t r = 0; r < K; ++r)
        for (std::ptrdiff_t j = 0; j < columns; ++j)
            vandermonde[r * columns + j] = std::pow(t[r], static_cast<double>(j));
    return leastSquaresFit(vandermonde.data(), K, columns, y, coefficients);
}

std::int32_t evalPolynomial(const double* t, std::int32_t count, const double* c, std::int32_t ncoef, double* out,
                            std::ptrdiff_t outStride) noexcept {
    if (count < 1 || ncoef < 1) return kStatusBadSize;
    for (std::ptrdiff_t i = 0; i < count; ++i) {
        double value = c[0];
        double power = 1.0;
        for (std::int32_t j = 1; j < ncoef; ++j) {
            power *= t[i];
            value += power * c[j];
        }
        out[i * outStride] = value;
    }
    return kStatusOk;
}

}  // namespace varnel
