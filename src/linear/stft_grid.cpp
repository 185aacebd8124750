#include "linear/stft_grid.h"

#include "frame/numbers.h"

namespace varnel::stft {

std::int32_t checkGrid(std::int32_t n, const WindowSpec* spec, Grid& grid) noexcept {
    if (spec == nullptr) return kStatusBadWindowSpec;
    const std::int32_t length = spec->windowLength;
    const std::int32_t step = spec->timeStep;
    const std::int32_t bins = spec->binCount;
    if (n <= length) return kStatusBadLength;
    if (step < 1 || !isPowerOfTwo(bins)) return kStatusBadWindowSpec;
    if (length > 0 && spec->window == nullptr) return kStatusBadWindowSpec;
    // n - L needs 64 bits: a negative window length may push it past 2^31.
    const std::int64_t span = std::int64_t{n} - length;
    grid = Grid{spec->window, length, step, bins, span / step + 1};
    return kStatusOk;
}

std::int32_t reducedShift(std::int32_t shift, std::int32_t binCount) noexcept {
    const std::int32_t r = shift % binCount;  // M >= 1, so no INT32_MIN / -1 case
    return r < 0 ? r + binCount : r;
}

std::int32_t continuedShift(std::int32_t reduced, const Grid& grid) noexcept {
    // F*D <= N - L + D < 2^33, so the sum is exact in 64 bits; the
    // conversion wraps modulo 2^32.
    const std::int64_t next = reduced + grid.frameCount * grid.timeStep;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(next)));
}

}  // namespace varnel::stft
