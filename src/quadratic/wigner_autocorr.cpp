// The lag-time table: the instantaneous autocorrelation at every slice
// position for every lag, without wrap-around or lag window. It is made one
// slice's column at a time, just before that column's transform: a column
// is contiguous and stays in the first-level cache, where the whole
// lag-major table would go out to memory and back between the two stages.
#include <algorithm>
#include <cstddef>

#include "quadratic/wigner_stages.h"
#include "varnel.h"

namespace varnel::wigner {
namespace {

// Lags t < inside keep both p + t and p - t in the sequence.
std::ptrdiff_t lagsInside(std::ptrdiff_t length, std::int32_t lagCount, std::ptrdiff_t p) {
    return std::clamp<std::ptrdiff_t>(std::min(p, length - 1 - p) + 1, 0, lagCount);
}

}  // namespace

void cxLocalAutocorr(const double* zRe, const double* zIm, std::ptrdiff_t length, std::int32_t lagCount,
                     std::ptrdiff_t p, double* gRe, double* gIm) noexcept {
    const std::ptrdiff_t inside = lagsInside(length, lagCount, p);
    const double* re = zRe + p;
    const double* im = zIm + p;
    for (std::ptrdiff_t t = 0; t < inside; ++t) {
        const double a = re[t], b = im[t];
        const double c = re[-t], d = im[-t];
        gRe[t] = a * c + b * d;
        gIm[t] = b * c - a * d;
    }
    std::fill(gRe + inside, gRe + lagCount, 0.0);
    std::fill(gIm + inside, gIm + lagCount, 0.0);
}

void reLocalAutocorr(const double* x, std::ptrdiff_t length, std::int32_t lagCount, std::ptrdiff_t p, double scale,
                     double* g) noexcept {
    const std::ptrdiff_t inside = lagsInside(length, lagCount, p);
    const double* centre = x + p;
    for (std::ptrdiff_t t = 0; t < inside; ++t) g[t] = centre[t] * centre[-t] * scale;
    std::fill(g + inside, g + lagCount, 0.0);
}

}  // namespace varnel::wigner
