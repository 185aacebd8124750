// Kernel tables of the two preset Cohen-class distributions. Both rows are
// even in Doppler, so each row is evaluated on one side of the centre
// column and mirrored; column 0, the bin -width/2, has no mirror and is
// evaluated on its own.
#include <cmath>
#include <cstddef>

#include "quadratic/cohen_stages.h"

namespace varnel::wigner {
namespace {

constexpr double kPi = 3.141592653589793;

// row[width/2 + d] = row[width/2 - d] = value(d) for 0 <= d <= (width-1)/2,
// and row[0] = value(width/2) when the width is even.
template <class Value>
void fillEvenRow(std::int32_t width, double* row, Value&& value) {
    const std::ptrdiff_t centre = width / 2;
    for (std::ptrdiff_t d = 0; d <= (width - 1) / 2; ++d) {
        const double v = value(d);
        row[centre + d] = v;
        row[centre - d] = v;
    }
    if (width % 2 == 0) row[0] = value(centre);
}

}  // namespace

void choiWilliamsKernel(std::int32_t rowCount, std::int32_t width, double sigma, double* kernel) noexcept {
    if (sigma < 0.0) sigma = 0.0;
    for (std::ptrdiff_t r = 0; r < rowCount; ++r) {
        const std::int64_t r2 = static_cast<std::int64_t>(r) * r;
        fillEvenRow(width, kernel + r * width, [&](std::ptrdiff_t d) {
            const std::int64_t d2 = static_cast<std::int64_t>(d) * d;
            // On the axes the value is 1 for every sigma, an infinite one
            // included (where the product would be inf * 0).
            if (r2 == 0 || d2 == 0) return 1.0;
            return std::exp(-sigma * static_cast<double>(r2) * static_cast<double>(d2));
        });
    }
}

void coneKernel(std::int32_t rowCount, std::int32_t width, double alpha, double* kernel) noexcept {
    if (alpha < 0.0) alpha = 0.0;
    for (std::ptrdiff_t r = 0; r < rowCount; ++r) {
        const double r2 = static_cast<double>(static_cast<std::int64_t>(r) * r);
        const double taper = r == 0 ? 1.0 : std::exp(-alpha * r2);
        // The sinc is the Doppler response of a time average whose span
        // grows with the lag: the cone.
        const double step = r * kPi / width;
        fillEvenRow(width, kernel + r * width, [&](std::ptrdiff_t d) {
            const double x = static_cast<double>(d) * step;
            return x == 0.0 ? taper : taper * std::sin(x) / x;
        });
    }
}

}  // namespace varnel::wigner
