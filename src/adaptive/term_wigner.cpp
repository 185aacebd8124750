#include "adaptive/term_wigner.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

#include "frame/numbers.h"

namespace varnel::adaptive {
namespace {

// 6.3 standard deviations: the Gaussian has fallen to exp(-39.69) there.
constexpr double kReach = 6.3;
constexpr double kReachSquared = kReach * kReach;
// Beyond 2^52 bins a frequency has no fractional part left in a double.
constexpr double kMaxBins = 4503599627370496.0;
// exp of anything below this is 0 in double precision.
constexpr double kExpUnderflow = -746.0;

// Rows of the grid within the term's time reach, [first, end) clipped to
// the grid; empty when the term lies outside it.
struct RowRange {
    std::ptrdiff_t first = 0;
    std::ptrdiff_t end = 0;
};

RowRange rowRange(const AdaptiveTerm& term, const WignerGrid& grid) noexcept {
    const double w = kReach / std::sqrt(term.alpha);
    const double offset = term.tc - grid.t0;
    const double first = std::max(std::floor((offset - w) / grid.dt), 0.0);
    const double end = std::min(std::ceil((offset + w) / grid.dt) + 1.0, static_cast<double>(grid.rows));
    if (!(first < end)) return {};
    return {static_cast<std::ptrdiff_t>(first), static_cast<std::ptrdiff_t>(end)};
}

// Walks the term's rows: row(m, u, r, rowExponent) with u the time from the
// centre, r the half-width of the row's frequency band and -alpha u^2.
// Rows where even the centre of the band underflows are skipped: they
// would add exact zeros.
template <class Row>
void forEachRow(const AdaptiveTerm& term, const WignerGrid& grid, Row&& row) {
    const RowRange rows = rowRange(term, grid);
    for (std::ptrdiff_t m = rows.first; m < rows.end; ++m) {
        const double u = static_cast<double>(grid.t0) + static_cast<double>(m) * grid.dt - term.tc;
        const double rowExponent = -term.alpha * u * u;
        if (rowExponent < kExpUnderflow) continue;
        const double r = std::sqrt(term.alpha * (kReachSquared + term.alpha * u * u));
        row(m, u, r, rowExponent);
    }
}

// sum over q of exp(-(x + 2 pi q)^2/alpha), the frequency profile of a row
// wrapped onto the circle, by its Fourier series
//   sqrt(alpha)/(2 sqrt(pi)) (1 + 2 sum_n exp(-alpha n^2/4) cos(n x)),
// whose terms fall fast exactly when the band spans several turns.
double wrappedProfile(double x, double alpha) noexcept {
    double sum = 0.0;
    const double c1 = std::cos(x);
    double previous = 1.0, current = c1;
    for (int n = 1; n <= 64; ++n) {
        const double weight = std::exp(-0.25 * alpha * n * n);
        if (weight < 1e-18) break;
        sum += weight * current;
        const double next = 2.0 * c1 * current - previous;
        previous = current;
        current = next;
    }
    return std::sqrt(alpha) / (2.0 * std::sqrt(kPi)) * (1.0 + 2.0 * sum);
}

// -1/alpha, the scale of a cell's squared frequency offset. For a
// subnormal alpha it would be -inf, and the offset 0 at the band's centre
// would then make 0 * -inf = NaN; -DBL_MAX gives that cell exp(0) and
// every other one the same 0 as -inf.
double cellScale(double alpha) noexcept { return std::max(-1.0 / alpha, -std::numeric_limits<double>::max()); }

// 2 |c|^2 exp(e) for a cell's exponent e. When 2 |c|^2 overflows (|c|
// above about 1e154) the product is taken in the log domain, so that cells
// far from the term get their finite value instead of inf * 0 = NaN.
class CellEnergy {
public:
    explicit CellEnergy(const double* coef) noexcept
        : linear_(2.0 * (coef[0] * coef[0] + coef[1] * coef[1])),
          log_(std::log(2.0) + 2.0 * std::log(std::hypot(coef[0], coef[1]))) {}
    double operator()(double exponent) const noexcept {
        return std::isinf(linear_) ? std::exp(exponent + log_) : linear_ * std::exp(exponent);
    }

private:
    double linear_;
    double log_;
};

// floor(a / b) for b > 0.
std::int64_t floorDivide(std::int64_t a, std::int64_t b) noexcept { return a >= 0 ? a / b : -((-a + b - 1) / b); }

}  // namespace

void reTermWigner(const double* coef, const AdaptiveTerm& term, const WignerGrid& grid, double* out) noexcept {
    const CellEnergy energy(coef);
    const double dw = kTwoPi / grid.K;
    const double negInvAlpha = cellScale(term.alpha);
    // A real signal's term shows at its frequency folded into [0, pi].
    const double folded = std::abs(term.omega - kTwoPi * std::floor(term.omega / kTwoPi + 0.5));
    const double columnZero = static_cast<double>(grid.f0) * dw;
    forEachRow(term, grid, [&](std::ptrdiff_t m, double u, double r, double rowExponent) {
        const double frequency = term.beta * u + folded;
        if (!(std::abs(frequency) <= kMaxBins * dw)) return;
        const double phi = frequency - columnZero;
        const double first = std::max(std::floor((phi - r) / dw), 0.0);
        const double end = std::min(std::ceil((phi + r) / dw) + 1.0, static_cast<double>(grid.cols));
        double* row = out + m * grid.cols;
        for (auto k = static_cast<std::ptrdiff_t>(first); k < static_cast<std::ptrdiff_t>(end); ++k) {
            const double x = static_cast<double>(k) * dw - phi;
            row[k] += energy(x * x * negInvAlpha + rowExponent);
        }
    });
}

void cxTermWigner(const double* coef, const AdaptiveTerm& term, const WignerGrid& grid, double* out) noexcept {
    const CellEnergy energy(coef);
    const double dw = kTwoPi / grid.K;
    const double negInvAlpha = cellScale(term.alpha);
    const std::int64_t bins = grid.K;
    forEachRow(term, grid, [&](std::ptrdiff_t m, double u, double r, double rowExponent) {
        const double phi = term.omega + term.beta * u;
        if (!(std::abs(phi) <= kMaxBins * dw)) return;
        double* row = out + m * grid.cols;
        const double first = std::trunc((phi - r) / dw);
        const double end = std::ceil((phi + r) / dw) + 1.0;
        if (!(end - first <= 4.0 * static_cast<double>(bins))) {
            // A band of many turns: every column receives the sum over all
            // of them, in closed form instead of turn by turn.
            const double weight = energy(rowExponent);
            for (std::ptrdiff_t k = 0; k < grid.cols; ++k) {
                const double x = std::remainder(static_cast<double>(grid.f0 + k) * dw - phi, kTwoPi);
                row[k] += weight * wrappedProfile(x, term.alpha);
            }
            return;
        }
        // Bin j of the band lands on column j mod K - f0. Only the stretch
        // of each turn that lands on the grid's columns is walked, in order
        // of j: with many bins and few columns the band's other bins would
        // be most of the work (K = 2^30 took seconds for a 4 x 214 grid).
        const auto lo = static_cast<std::int64_t>(first), hi = static_cast<std::int64_t>(end);
        for (std::int64_t turn = floorDivide(lo - grid.f0, bins); turn * bins + grid.f0 < hi; ++turn) {
            const std::int64_t column0 = turn * bins + grid.f0;
            const std::int64_t stop = std::min(hi, column0 + grid.cols);
            for (std::int64_t j = std::max(lo, column0); j < stop; ++j) {
                const double x = static_cast<double>(j) * dw - phi;
                row[j - column0] += energy(x * x * negInvAlpha + rowExponent);
            }
        }
    });
}

}  // namespace varnel::adaptive
