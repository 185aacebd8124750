// Kernel rows of the two preset Cohen-class distributions. Both rows are
// even in Doppler, so each row is evaluated on one side of the centre
// column and mirrored; column 0, the bin -width/2, has no mirror and is
// evaluated on its own.
#include <algorithm>
#include <cmath>
#include <cstddef>

#include "frame/numbers.h"
#include "quadratic/cohen_stages.h"

namespace varnel::wigner {
namespace {

// row[width/2 + d] = row[width/2 - d] = value(d) for 0 <= d <= (width-1)/2,
// and row[0] = value(width/2) when the width is even.
template <class Value>
std::ptrdiff_t fillEvenRow(std::int32_t width, std::ptrdiff_t support, double* row, Value&& value) {
    const std::ptrdiff_t centre = width / 2;
    for (std::ptrdiff_t d = 0; d <= (width - 1) / 2 && d < support; ++d) {
        const double v = value(d);
        row[centre + d] = v;
        row[centre - d] = v;
    }
    if (width % 2 == 0 && centre < support) row[0] = value(centre);
    return support;
}

// exp(x) is exactly 0 in double precision for x <= -746, and glibc's
// exp is slow on the way to that underflow; most of a Choi-Williams table
// lies there, so those entries are written as the zeros they are.
constexpr double kExpUnderflow = 746.0;

// First d >= 1 whose value sigma*r2*d^2 reaches the underflow bound, or the
// end of the row when none does (sigma 0 or NaN).
std::ptrdiff_t choiWilliamsCutoff(double sigma, std::int64_t r2, std::ptrdiff_t end) noexcept {
    const double cut = std::ceil(std::sqrt(kExpUnderflow / (sigma * static_cast<double>(r2))));
    if (!(cut < static_cast<double>(end))) return end;
    return std::max<std::ptrdiff_t>(1, static_cast<std::ptrdiff_t>(cut));
}

}  // namespace

std::ptrdiff_t choiWilliamsRow(std::int32_t r, std::int32_t width, double sigma, double* row) noexcept {
    if (sigma < 0.0) sigma = 0.0;
    const std::int64_t r2 = static_cast<std::int64_t>(r) * r;
    const std::ptrdiff_t cutoff = r2 == 0 ? width / 2 + 1 : choiWilliamsCutoff(sigma, r2, width / 2 + 1);
    return fillEvenRow(width, cutoff, row, [&](std::ptrdiff_t d) {
        const std::int64_t d2 = static_cast<std::int64_t>(d) * d;
        // On the axes the value is 1 for every sigma, an infinite one
        // included (where the product would be inf * 0).
        if (r2 == 0 || d2 == 0) return 1.0;
        return std::exp(-sigma * static_cast<double>(r2) * static_cast<double>(d2));
    });
}

namespace {

// sin(d*step) for d = 0, 1, 2, ...: a rotation recurrence, restarted from
// std::sin and std::cos every kRestart steps so that its rounding errors
// cannot build up (they stay within a few units in the last place), at an
// eighth of the cost of calling std::sin for every column.
class SineSequence {
public:
    explicit SineSequence(double step) noexcept : step_(step), c1_(std::cos(step)), s1_(std::sin(step)) {}

    double next() noexcept {
        if (d_ % kRestart == 0) {
            const double x = static_cast<double>(d_) * step_;
            s_ = std::sin(x);
            c_ = std::cos(x);
        } else {
            const double s = s_ * c1_ + c_ * s1_;
            c_ = c_ * c1_ - s_ * s1_;
            s_ = s;
        }
        ++d_;
        return s_;
    }

private:
    static constexpr std::ptrdiff_t kRestart = 16;
    double step_, c1_, s1_;
    double s_ = 0.0, c_ = 1.0;
    std::ptrdiff_t d_ = 0;
};

}  // namespace

std::ptrdiff_t coneRow(std::int32_t r, std::int32_t width, double alpha, double* row) noexcept {
    if (alpha < 0.0) alpha = 0.0;
    const double r2 = static_cast<double>(static_cast<std::int64_t>(r) * r);
    const double taper = r == 0 ? 1.0 : std::exp(-alpha * r2);
    if (taper == 0.0) return 0;
    // The sinc is the Doppler response of a time average whose span grows
    // with the lag: the cone. fillEvenRow asks for d = 0, 1, ... in order,
    // which the sine recurrence relies on.
    const double step = r * kPi / width;
    SineSequence sine(step);
    return fillEvenRow(width, width / 2 + 1, row, [&](std::ptrdiff_t d) {
        const double x = static_cast<double>(d) * step;
        const double s = sine.next();
        return x == 0.0 ? taper : taper * s / x;
    });
}

}  // namespace varnel::wigner
