// Mirroring and tapering of sample arrays.
#include <cmath>

#include "frame/numbers.h"
#include "linear/extension.h"

namespace varnel {

void reverseCopy(const double* src, double* dst, std::int32_t count, std::ptrdiff_t srcStride,
                 std::ptrdiff_t dstStride) noexcept {
    for (std::ptrdiff_t k = 0; k < count; ++k) dst[k * dstStride] = src[(count - 1 - k) * srcStride];
}

void hannTaper(double* buf, std::int64_t L) noexcept {
    buf[0] = 0.0;
    // The middle sample of an even buffer sits at the peak, weight 1.
    const std::int64_t pairs = L % 2 != 0 ? L / 2 : L / 2 - 1;
    const double step = kPi / static_cast<double>(L);
    double angle = 0.0;
    for (std::int64_t k = 1; k <= pairs; ++k) {
        angle += step;
        const double s = std::sin(angle);
        const double weight = s * s;
        buf[k] *= weight;
        buf[L - k] *= weight;
    }
}

}  // namespace varnel
