#include "linear/dgt_periodic_signal.h"

#include <algorithm>
#include <climits>

namespace varnel::gabor {

std::int32_t describePeriodicSignal(std::int32_t n, const Lattice& lattice, PeriodicSignal& signal) noexcept {
    if (std::int64_t{n} + lattice.length > INT32_MAX) return kStatusBadLength;
    const std::int64_t step = lattice.step;
    const std::int64_t remainder = n % step;
    const std::int64_t padded = (n + step - 1) / step * step;
    // With r = 0 the last frame's window ends exactly at the padded end;
    // otherwise the transform is given r more samples, still F frames.
    const std::int64_t stftLength = padded + lattice.length - step + remainder;
    signal = PeriodicSignal{padded, padded / step, static_cast<std::int32_t>(stftLength),
                            static_cast<std::size_t>(padded + lattice.length)};
    return kStatusOk;
}

std::int32_t extendRealSignal(const double* x, std::ptrdiff_t stride, std::int32_t n, const Lattice& lattice,
                              const PeriodicSignal& signal, double* buffer) noexcept {
    const std::ptrdiff_t h = lattice.half;
    double* period = buffer + h;
    for (std::ptrdiff_t t = 0; t < n; ++t) period[t] = x[t * stride];
    std::fill(period + n, period + signal.padded, 0.0);
    const auto p = static_cast<std::int32_t>(signal.padded);
    return ReExtension(period, p, Periodic, lattice.half, buffer, period + signal.padded);
}

std::int32_t extendComplexSignal(const double* x, std::int32_t n, const Lattice& lattice, const PeriodicSignal& signal,
                                 double* buffer) noexcept {
    const std::ptrdiff_t h = lattice.half;
    double* period = buffer + 2 * h;
    std::copy(x, x + 2 * static_cast<std::ptrdiff_t>(n), period);
    std::fill(period + 2 * static_cast<std::ptrdiff_t>(n), period + 2 * signal.padded, 0.0);
    const auto p = static_cast<std::int32_t>(signal.padded);
    return CxExtension(period, p, Periodic, lattice.half, buffer, period + 2 * signal.padded);
}

}  // namespace varnel::gabor
