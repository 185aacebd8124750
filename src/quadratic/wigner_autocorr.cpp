// The lag-time table: the instantaneous autocorrelation at every slice
// position for every lag, without wrap-around or lag window. It is made one
// slice's column at a time, just before that column's transform: a column
// is contiguous and stays in the first-level cache, where the whole
// lag-major table would go out to memory and back between the two stages.
#include <algorithm>
#include <cstddef>

#include "frame/vector_paths.h"
#include "quadratic/wigner_stages.h"
#include "varnel.h"

namespace varnel::wigner {
namespace {

// Lags t < inside keep both p + t and p - t in the sequence.
std::ptrdiff_t lagsInside(std::ptrdiff_t length, std::int32_t lagCount, std::ptrdiff_t p) {
    return std::clamp<std::ptrdiff_t>(std::min(p, length - 1 - p) + 1, 0, lagCount);
}

// The product z[p+t] conj(z[p-t]) of the slice at p.
struct LagProduct {
    double re, im;
};

[[gnu::always_inline]] inline LagProduct lagProduct(const double* zRe, const double* zIm, std::ptrdiff_t p,
                                                    std::ptrdiff_t t) {
    const double a = zRe[p + t], b = zIm[p + t];
    const double c = zRe[p - t], d = zIm[p - t];
    return {a * c + b * d, b * c - a * d};
}

// Lags j and m-j of both slices give a at j and at m-j: with s[j] =
// conj(g[j]) + g[m-j] and s[m-j] its conjugate, m a = s1 + i s2 at the two
// places is u +- v and w +- q below.
[[gnu::always_inline]] inline void pairedLagsBody(const double* __restrict zRe, const double* __restrict zIm,
                                                  std::ptrdiff_t m, std::ptrdiff_t p1, std::ptrdiff_t p2,
                                                  double* __restrict aRe, double* __restrict aIm) {
    const double scale = 1.0 / static_cast<double>(m);
    aRe[0] = lagProduct(zRe, zIm, p1, 0).re * scale;
    aIm[0] = lagProduct(zRe, zIm, p2, 0).re * scale;
    const std::ptrdiff_t last = (m - 1) / 2;  // j < m - j
    for (std::ptrdiff_t j = 1; j <= last; ++j) {
        const LagProduct g1j = lagProduct(zRe, zIm, p1, j), g1k = lagProduct(zRe, zIm, p1, m - j);
        const LagProduct g2j = lagProduct(zRe, zIm, p2, j), g2k = lagProduct(zRe, zIm, p2, m - j);
        const double u = (g1j.re + g1k.re) * scale, v = (g2j.im - g2k.im) * scale;
        const double w = (g2j.re + g2k.re) * scale, q = (g1k.im - g1j.im) * scale;
        aRe[j] = u + v;
        aRe[m - j] = u - v;
        aIm[j] = w + q;
        aIm[m - j] = w - q;
    }
    if (m % 2 == 0 && m > 1) {
        aRe[m / 2] = 2.0 * lagProduct(zRe, zIm, p1, m / 2).re * scale;
        aIm[m / 2] = 2.0 * lagProduct(zRe, zIm, p2, m / 2).re * scale;
    }
}

void baselinePairedLags(const double* zRe, const double* zIm, std::ptrdiff_t m, std::ptrdiff_t p1, std::ptrdiff_t p2,
                        double* aRe, double* aIm) {
    pairedLagsBody(zRe, zIm, m, p1, p2, aRe, aIm);
}

[[gnu::target("avx2")]] void avx2PairedLags(const double* zRe, const double* zIm, std::ptrdiff_t m, std::ptrdiff_t p1,
                                            std::ptrdiff_t p2, double* aRe, double* aIm) {
    pairedLagsBody(zRe, zIm, m, p1, p2, aRe, aIm);
}

}  // namespace

void cxPairedLags(const double* zRe, const double* zIm, std::int32_t m, std::ptrdiff_t p1, std::ptrdiff_t p2,
                  double* aRe, double* aIm) noexcept {
    (avx2PathsEnabled() ? avx2PairedLags : baselinePairedLags)(zRe, zIm, m, p1, p2, aRe, aIm);
}

void reLocalAutocorr(const double* x, std::ptrdiff_t length, std::int32_t lagCount, std::ptrdiff_t p, double scale,
                     double* g) noexcept {
    const std::ptrdiff_t inside = lagsInside(length, lagCount, p);
    const double* centre = x + p;
    for (std::ptrdiff_t t = 0; t < inside; ++t) g[t] = centre[t] * centre[-t] * scale;
    std::fill(g + inside, g + lagCount, 0.0);
}

}  // namespace varnel::wigner
