// Sizes and index bounds of the Gabor spectrogram family, computed so that
// no argument the C types allow can overflow an integer or convert an
// out-of-range double: table sizes saturate (a table that cannot exist
// then fails like any allocation), and kernel index bounds are clamped
// before they become integers.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "frame/array_size.h"
#include "frame/next_pow2.h"

namespace varnel::gaborsp {

// Far beyond any table index, and still far from the int64 limits, so
// that a clamped bound plus a few samples cannot overflow.
inline constexpr double kIndexClamp = 4.0e18;

inline std::int64_t clampedIndex(double x) noexcept {
    if (!(x > -kIndexClamp)) return static_cast<std::int64_t>(-kIndexClamp);
    if (!(x < kIndexClamp)) return static_cast<std::int64_t>(kIndexClamp);
    return static_cast<std::int64_t>(x);
}
inline std::int64_t clampedTrunc(double x) noexcept { return clampedIndex(std::trunc(x)); }
inline std::int64_t clampedFloor(double x) noexcept { return clampedIndex(std::floor(x)); }
inline std::int64_t clampedCeil(double x) noexcept { return clampedIndex(std::ceil(x)); }

// k mod n into 0 .. n-1 for either sign of k (n >= 1).
inline std::int64_t wrapIndex(std::int64_t k, std::int64_t n) noexcept {
    const std::int64_t r = k % n;
    return r < 0 ? r + n : r;
}

// Length of the circular time convolution: the M lattice times plus a
// margin (in samples) against wrap-around, rounded up to lattice steps and
// then to a power of two. 0 when the length does not fit an int32, as for
// a variance of +inf: no table of that length can be held.
inline std::int32_t timeFftLength(double marginSamples, std::int32_t dM, std::int32_t M) noexcept {
    const double steps = std::ceil(marginSamples / dM);
    constexpr double kLimit = static_cast<double>(std::int32_t{1} << 30);
    if (!(steps <= kLimit)) return 0;
    const std::int64_t total = static_cast<std::int64_t>(steps) + M;
    if (total > (std::int64_t{1} << 30)) return 0;
    return nextPow2(static_cast<std::int32_t>(total));
}

}  // namespace varnel::gaborsp
