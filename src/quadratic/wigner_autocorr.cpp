// The lag-time table: the instantaneous autocorrelation at every slice
// position for every lag, without wrap-around or lag window. It is stored
// lag by lag (lag-major) because each row is later smoothed or read as a
// whole. It is filled a tile of adjacent slices at a time: the tile's
// samples z[p + t] and z[p - t] then advance one by one with the lag (a
// handful of sequential streams instead of one cache line per product), and
// each row receives a run of adjacent values.
#include <algorithm>
#include <cstddef>

#include "quadratic/wigner_stages.h"
#include "varnel.h"

namespace varnel::wigner {
namespace {

// Calls product(at, p, t) for every lag t and slice first + s of the block,
// p = (first + s)*gridStep, at = t*rowLength + s, a tile of adjacent slices
// at a time; entries whose lag leaves the sequence get zero(at) instead.
// Lag by lag within a tile: each row then receives a run of adjacent
// values, and the tile's samples advance as a few sequential streams. The
// lags inside the sequence for every slice of the tile, and those outside
// for all of them, run without a test.
template <class Product, class Zero>
void forEachEntry(std::ptrdiff_t length, std::int32_t lagCount, std::ptrdiff_t gridStep, SliceBlock block,
                  Product&& product, Zero&& zero) {
    std::ptrdiff_t inside[kLagSliceTile];  // lags that stay in the sequence, per slice of the tile
    for (std::ptrdiff_t s0 = 0; s0 < block.count; s0 += kLagSliceTile) {
        const std::ptrdiff_t count = std::min(kLagSliceTile, block.count - s0);
        std::ptrdiff_t allInside = lagCount, someInside = 0;
        for (std::ptrdiff_t s = 0; s < count; ++s) {
            const std::ptrdiff_t p = (block.first + s0 + s) * gridStep;
            inside[s] = std::clamp<std::ptrdiff_t>(std::min(p, length - 1 - p) + 1, 0, lagCount);
            allInside = std::min(allInside, inside[s]);
            someInside = std::max(someInside, inside[s]);
        }
        for (std::ptrdiff_t t = 0; t < allInside; ++t) {
            for (std::ptrdiff_t s = 0; s < count; ++s) {
                product(t * block.rowLength + s0 + s, (block.first + s0 + s) * gridStep, t);
            }
        }
        for (std::ptrdiff_t t = allInside; t < someInside; ++t) {
            for (std::ptrdiff_t s = 0; s < count; ++s) {
                const std::ptrdiff_t at = t * block.rowLength + s0 + s;
                if (t < inside[s]) {
                    product(at, (block.first + s0 + s) * gridStep, t);
                } else {
                    zero(at);
                }
            }
        }
        for (std::ptrdiff_t t = someInside; t < lagCount; ++t) {
            for (std::ptrdiff_t s = 0; s < count; ++s) zero(t * block.rowLength + s0 + s);
        }
    }
}

}  // namespace

void cxLocalAutocorrBlock(const double* zRe, const double* zIm, std::ptrdiff_t length, std::int32_t lagCount,
                          std::ptrdiff_t gridStep, SliceBlock block, double* tabRe, double* tabIm) noexcept {
    forEachEntry(
        length, lagCount, gridStep, block,
        [&](std::ptrdiff_t at, std::ptrdiff_t p, std::ptrdiff_t t) {
            const double a = zRe[p + t], b = zIm[p + t];
            const double c = zRe[p - t], d = zIm[p - t];
            tabRe[at] = a * c + b * d;
            tabIm[at] = b * c - a * d;
        },
        [&](std::ptrdiff_t at) {
            tabRe[at] = 0.0;
            tabIm[at] = 0.0;
        });
}

void reLocalAutocorrBlock(const double* x, std::ptrdiff_t length, std::int32_t lagCount, std::ptrdiff_t gridStep,
                          SliceBlock block, double* tab) noexcept {
    forEachEntry(
        length, lagCount, gridStep, block,
        [&](std::ptrdiff_t at, std::ptrdiff_t p, std::ptrdiff_t t) { tab[at] = x[p + t] * x[p - t]; },
        [&](std::ptrdiff_t at) { tab[at] = 0.0; });
}

std::int32_t cxLocalAutocorr(const double* zRe, const double* zIm, std::ptrdiff_t length, std::int32_t lagCount,
                             std::ptrdiff_t gridStep, double* tabRe, double* tabIm) noexcept {
    const std::ptrdiff_t sliceCount = length / gridStep;
    cxLocalAutocorrBlock(zRe, zIm, length, lagCount, gridStep, {0, sliceCount, sliceCount}, tabRe, tabIm);
    return kStatusOk;
}

std::int32_t reLocalAutocorr(const double* x, std::ptrdiff_t length, std::int32_t lagCount, std::ptrdiff_t gridStep,
                             double* tab) noexcept {
    const std::ptrdiff_t sliceCount = length / gridStep;
    reLocalAutocorrBlock(x, length, lagCount, gridStep, {0, sliceCount, sliceCount}, tab);
    return kStatusOk;
}

}  // namespace varnel::wigner
