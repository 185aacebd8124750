#include "fft/unit_roots.h"

#include <cmath>
#include <numeric>

namespace varnel::fft {
namespace {

constexpr std::int64_t kBlock = 64;
constexpr long double kHalfPi = 1.570796326794896619231321691639751442L;

struct LongRoot {
    long double re, im;
};

std::int64_t reduce(std::int64_t r, std::int64_t period) {
    r %= period;
    return r < 0 ? r + period : r;
}

// exp(-2 pi i r / period). The angle is reduced exactly, in integers, to
// [0, pi/4] by the symmetries of the circle, where the extended-precision
// sine and cosine are most accurate; the quadrant and the octant are then
// applied by exchanging and negating the two, which is exact.
LongRoot exactRoot(std::int64_t r, std::int64_t period) {
    r = reduce(r, period);
    const std::int64_t quadrant = 4 * r / period;
    std::int64_t rest = 4 * r - quadrant * period;  // angle within the quadrant: (pi/2) rest/period
    const bool upperOctant = 2 * rest > period;
    if (upperOctant) rest = period - rest;
    const long double theta = kHalfPi * static_cast<long double>(rest) / static_cast<long double>(period);
    long double c = std::cos(theta), s = std::sin(theta);
    if (rest == 0) c = 1.0L, s = 0.0L;
    if (upperOctant) {
        const long double t = c;
        c = s;
        s = t;
    }
    // exp(-i (quadrant pi/2 + angle)) with cos angle = c, sin angle = s.
    LongRoot w;
    turnQuarters<long double>(c, -s, quadrant, w.re, w.im);
    return w;
}

}  // namespace

void unitRoots(std::int64_t step, std::int64_t period, std::int64_t first, std::int64_t count, double* re,
               double* im, std::ptrdiff_t stride) noexcept {
    step = reduce(step, period);
    // The roots of step * i, i < kBlock, by squaring and multiplying from
    // the one of step: at most 2 log2(kBlock) extended-precision roundings,
    // against a sine and cosine each.
    LongRoot offsets[kBlock];
    offsets[0] = {1.0L, 0.0L};
    if (count > 1) offsets[1] = exactRoot(step, period);
    for (std::int64_t i = 2; i < kBlock && i < count; ++i) {
        const LongRoot a = offsets[i / 2], b = i % 2 ? offsets[i / 2 + 1] : a;
        offsets[i] = {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
    }
    // step * index lies on an eighth of the period when it is a multiple of
    // `eighth`; the index and that remainder are carried from entry to entry
    // instead of divided out for each.
    const std::int64_t eighth = period / std::gcd(period, std::int64_t{8});
    const std::int64_t stepRest = step % eighth;
    std::int64_t index = reduce(first, period), rest = step * index % eighth;
    for (std::int64_t start = 0; start < count; start += kBlock) {
        const LongRoot base = exactRoot(step * index, period);
        for (std::int64_t i = 0; i < kBlock && start + i < count; ++i) {
            LongRoot w;
            if (i == 0) {
                w = base;
            } else if (rest == 0) {
                w = exactRoot(step * index, period);
            } else {
                w = {base.re * offsets[i].re - base.im * offsets[i].im,
                     base.re * offsets[i].im + base.im * offsets[i].re};
            }
            re[(start + i) * stride] = static_cast<double>(w.re);
            im[(start + i) * stride] = static_cast<double>(w.im);
            if (++index == period) index = 0;
            rest += stepRest;
            if (rest >= eighth) rest -= eighth;
        }
    }
}

bool octantRoots(std::int64_t n, std::int64_t count, double* re, double* im) noexcept {
    constexpr std::int64_t kPeriod = std::int64_t{1} << 16, kEighth = kPeriod / 8;
    struct Octant {
        double re[kEighth + 1], im[kEighth + 1];
        Octant() { unitRoots(1, kPeriod, 0, kEighth + 1, re, im, 1); }
    };
    if (n < 8 || n > kPeriod || (n & (n - 1)) != 0 || count > n / 8 + 1) return false;
    static const Octant octant;
    const std::int64_t stride = kPeriod / n;
    for (std::int64_t k = 0; k < count; ++k) {
        re[k] = octant.re[k * stride];
        im[k] = octant.im[k * stride];
    }
    return true;
}

}  // namespace varnel::fft
