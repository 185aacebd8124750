// Sampled Gaussian of unit energy.
#include <cmath>
#include <cstddef>

#include "frame/export_guard.h"
#include "varnel.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

void sampleGaussian(std::ptrdiff_t n, double centre, double variance, double* out) noexcept {
    // (pi v)^(-1/4) makes the sum of squares of a densely sampled window 1.
    const double amplitude = std::sqrt(std::sqrt(1.0 / (kPi * variance)));
    const double exponentScale = -0.5 / variance;
    for (std::ptrdiff_t i = 0; i < n; ++i) {
        const double d = centre - static_cast<double>(i);
        out[i] = amplitude * std::exp(exponentScale * (d * d));
    }
}

}  // namespace

extern "C" VARNEL_API int32_t Gaussian(int32_t n, double centre, double variance, double* out) {
    return varnel::guardedExport([&]() -> int32_t {
        if (n > 0) sampleGaussian(n, centre, variance, out);
        return kStatusOk;
    });
}
