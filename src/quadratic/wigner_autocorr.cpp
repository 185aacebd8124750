// The lag-time table: the instantaneous autocorrelation at every slice
// position for every lag, without wrap-around or lag window. It is built
// lag by lag (lag-major) because each row is later smoothed or read as a
// whole, and the valid slices of a row form one contiguous range.
#include <algorithm>
#include <cstddef>

#include "quadratic/wigner_stages.h"
#include "varnel.h"

namespace varnel::wigner {
namespace {

struct SliceRange {
    std::ptrdiff_t first;  // first slice whose position p has p - t >= 0
    std::ptrdiff_t end;    // one past the last with p + t <= length - 1
};

SliceRange slicesInside(std::ptrdiff_t length, std::ptrdiff_t lag, std::ptrdiff_t gridStep,
                        std::ptrdiff_t sliceCount) {
    const std::ptrdiff_t first = std::min((lag + gridStep - 1) / gridStep, sliceCount);
    const std::ptrdiff_t end = lag <= length - 1 ? std::min((length - 1 - lag) / gridStep + 1, sliceCount) : 0;
    return {first, std::max(first, end)};
}

}  // namespace

std::int32_t cxLocalAutocorr(const double* zRe, const double* zIm, std::ptrdiff_t length, std::int32_t lagCount,
                             std::ptrdiff_t gridStep, double* tabRe, double* tabIm) noexcept {
    const std::ptrdiff_t sliceCount = length / gridStep;
    for (std::ptrdiff_t t = 0; t < lagCount; ++t) {
        double* rowRe = tabRe + t * sliceCount;
        double* rowIm = tabIm + t * sliceCount;
        const SliceRange inside = slicesInside(length, t, gridStep, sliceCount);
        std::fill(rowRe, rowRe + inside.first, 0.0);
        std::fill(rowIm, rowIm + inside.first, 0.0);
        for (std::ptrdiff_t j = inside.first; j < inside.end; ++j) {
            const std::ptrdiff_t p = j * gridStep;
            const double a = zRe[p + t], b = zIm[p + t];
            const double c = zRe[p - t], d = zIm[p - t];
            rowRe[j] = a * c + b * d;
            rowIm[j] = b * c - a * d;
        }
        std::fill(rowRe + inside.end, rowRe + sliceCount, 0.0);
        std::fill(rowIm + inside.end, rowIm + sliceCount, 0.0);
    }
    return kStatusOk;
}

std::int32_t reLocalAutocorr(const double* x, std::ptrdiff_t length, std::int32_t lagCount, std::ptrdiff_t gridStep,
                             double* tab) noexcept {
    const std::ptrdiff_t sliceCount = length / gridStep;
    for (std::ptrdiff_t t = 0; t < lagCount; ++t) {
        double* row = tab + t * sliceCount;
        const SliceRange inside = slicesInside(length, t, gridStep, sliceCount);
        std::fill(row, row + inside.first, 0.0);
        for (std::ptrdiff_t j = inside.first; j < inside.end; ++j) {
            const std::ptrdiff_t p = j * gridStep;
            row[j] = x[p + t] * x[p - t];
        }
        std::fill(row + inside.end, row + sliceCount, 0.0);
    }
    return kStatusOk;
}

}  // namespace varnel::wigner
