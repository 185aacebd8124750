#include "fft/unit_roots.h"

#include <cmath>

namespace varnel::fft {
namespace {

constexpr long double kTwoPi = 6.283185307179586476925286766559005768L;

// exp(-2 pi i r / period) with r reduced exactly, evaluated in extended
// precision so that the double result is correctly rounded in practice.
void exactRoot(std::int64_t r, std::int64_t period, double& re, double& im) {
    r %= period;
    if (r < 0) r += period;
    const long double angle = kTwoPi * static_cast<long double>(r) / static_cast<long double>(period);
    re = static_cast<double>(std::cos(angle));
    im = static_cast<double>(-std::sin(angle));
}

}  // namespace

void unitRootsByRecurrence(std::int64_t step, std::int64_t period, std::int64_t first,
                           std::int64_t count, double* re, double* im, std::ptrdiff_t stride) noexcept {
    if (count <= 0) return;
    const long double stepAngle = kTwoPi * static_cast<long double>(step % period) / static_cast<long double>(period);
    const long double halfSine = std::sin(stepAngle / 2);
    const double a = static_cast<double>(2 * halfSine * halfSine);
    const double b = static_cast<double>(-std::sin(stepAngle));
    double c = 0, s = 0;
    for (std::int64_t i = 0; i < count; ++i) {
        const std::int64_t k = first + i;
        if (i % kRestartInterval == 0) {
            exactRoot(step * k, period, c, s);
        } else {
            const double nextC = c - (b * s + a * c);
            const double nextS = s - (a * s - b * c);
            c = nextC;
            s = nextS;
        }
        re[i * stride] = c;
        im[i * stride] = s;
    }
}

}  // namespace varnel::fft
