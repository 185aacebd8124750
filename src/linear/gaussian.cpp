// Sampled Gaussian of unit energy.
#include "linear/gaussian.h"

#include <cmath>

#include "frame/export_guard.h"
#include "frame/numbers.h"
#include "varnel.h"

namespace varnel {

void gaussianWindow(std::ptrdiff_t n, double centre, double variance, double* out) noexcept {
    // (pi v)^(-1/4) makes the sum of squares of a densely sampled window 1.
    double amplitude = std::sqrt(std::sqrt(1.0 / (kPi * variance)));
    const double exponentScale = -0.5 / variance;
    if (variance > 0.0 && std::isinf(exponentScale)) {
        // A subnormal variance: 1/(pi v) and 1/(2 v) overflow, every sample
        // off the centre underflows to 0, and an exact centre keeps the
        // amplitude, whose factors are taken apart because pi v would keep
        // only the few significant bits of a subnormal.
        amplitude = 1.0 / (std::sqrt(std::sqrt(kPi)) * std::sqrt(std::sqrt(variance)));
        for (std::ptrdiff_t i = 0; i < n; ++i) out[i] = centre == static_cast<double>(i) ? amplitude : 0.0;
        return;
    }
    for (std::ptrdiff_t i = 0; i < n; ++i) {
        const double d = centre - static_cast<double>(i);
        out[i] = amplitude * std::exp(exponentScale * (d * d));
    }
}

}  // namespace varnel

extern "C" VARNEL_API int32_t Gaussian(int32_t n, double centre, double variance, double* out) {
    return varnel::guardedExport([&]() -> int32_t {
        if (out != nullptr) varnel::gaussianWindow(n, centre, variance, out);
        return kStatusOk;
    });
}
