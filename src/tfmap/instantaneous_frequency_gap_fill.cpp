#include "tfmap/instantaneous_frequency_gap_fill.h"

namespace varnel::instfreq {
namespace {

bool isValid(double x, double maxValue) noexcept { return x > 0.0 && x <= maxValue; }

// Indices p+1 .. t-1 from the line through (p, from) and (t, x[t]), walked
// down from t.
void bridge(double* x, std::int64_t p, std::int64_t t, double from) noexcept {
    const double step = (x[t] - from) / static_cast<double>(t - p);
    for (std::int64_t j = t - 1; j > p; --j) x[j] = x[j + 1] - step;
}

}  // namespace

void ifGapFill(double* x, std::int32_t T, double maxValue) noexcept {
    double previous = 0.0;
    std::int64_t p = -1;
    for (std::int64_t t = 0; t < T; ++t) {
        if (!isValid(x[t], maxValue)) continue;
        if (t - p > 1) bridge(x, p, t, previous);
        previous = x[t];
        p = t;
    }
    if (p == T - 1) return;
    const double g = static_cast<double>(T - p);
    for (std::int64_t i = 1; i <= T - 1 - p; ++i) x[T - i] = static_cast<double>(i) * previous / g;
}

}  // namespace varnel::instfreq
