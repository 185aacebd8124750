// Real twiddle kernels: N consecutive half-complex spectra of length m become
// the half-complex spectrum of length N*m, in place.
//
// Bin k + j'm of the result is Y_j' = sum_j w(j, k) X_j[k] exp(-2 pi i j j'/N).
// For 0 < k < m/2 the bins k + j'm with j' <= (N-1)/2 lie in the lower half
// of the spectrum, the others are conjugates of the bins (m-k) + (N-1-j')m,
// so one complex DFT on the pair of positions k and m-k of every
// sub-spectrum yields exactly the values that those positions must receive.
#include <cstddef>

#include "fft/column_blocks.h"
#include "fft/generated/dft_bodies.h"
#include "fft/kernel_entries.h"

namespace varnel::fft {
namespace {

// Real DFT of the DC terms X_j[0]: its half-complex element r is bin r*m.
template <int N>
inline void dcStep(double* data, std::ptrdiff_t step) {
    generated::reDft<N, double>(
        [&](std::ptrdiff_t j, double& x) __attribute__((always_inline)) { x = data[j * step]; },
        [&](std::ptrdiff_t r, const double& v) __attribute__((always_inline)) { data[r * step] = v; });
}

// Positions k and m-k of every sub-spectrum, 0 < k < m/2; the twiddle of
// sub-spectrum j is at wr[(j-1) m], wi[(j-1) m].
template <int N>
inline void pairStep(double* data, const double* wr, const double* wi, std::ptrdiff_t s, std::ptrdiff_t m,
                     std::ptrdiff_t k) {
    const std::ptrdiff_t len = N * m;
    generated::cxDft<N, double>(
        [&](std::ptrdiff_t j, double& xr, double& xi) __attribute__((always_inline)) {
            const double a = data[(j * m + k) * s];
            const double b = data[(j * m + m - k) * s];
            if (j == 0) {
                xr = a;
                xi = b;
            } else {
                xr = a * wr[(j - 1) * m] - b * wi[(j - 1) * m];
                xi = a * wi[(j - 1) * m] + b * wr[(j - 1) * m];
            }
        },
        [&](std::ptrdiff_t jp, const double& yr, const double& yi) __attribute__((always_inline)) {
            const std::ptrdiff_t bin = k + jp * m;
            if (2 * jp < N) {
                data[bin * s] = yr;
                data[(len - bin) * s] = yi;
            } else {
                // Stored as its conjugate partner, bin len - bin.
                data[(len - bin) * s] = yr;
                data[bin * s] = -yi;
            }
        });
}

// Position m/2 of every sub-spectrum (m even): real inputs; bins m/2 + j'm
// below the middle keep both parts, the one at the middle (odd N) is real.
template <int N>
inline void middleStep(double* data, const double* wr, const double* wi, std::ptrdiff_t s, std::ptrdiff_t m) {
    const std::ptrdiff_t len = N * m;
    const std::ptrdiff_t h = m / 2;
    generated::cxDft<N, double>(
        [&](std::ptrdiff_t j, double& xr, double& xi) __attribute__((always_inline)) {
            const double a = data[(j * m + h) * s];
            if (j == 0) {
                xr = a;
                xi = 0.0;
            } else {
                xr = a * wr[(j - 1) * m];
                xi = a * wi[(j - 1) * m];
            }
        },
        [&](std::ptrdiff_t jp, const double& yr, const double& yi) __attribute__((always_inline)) {
            const std::ptrdiff_t bin = h + jp * m;
            if (2 * jp + 1 < N) {
                data[bin * s] = yr;
                data[(len - bin) * s] = yi;
            } else if (2 * jp + 1 == N) {
                data[bin * s] = yr;
            }
        });
}

// pairStep for positions k0 .. k0+B-1 at unit stride (see blocksColumns):
// every row's values at k and m-k are read with their twiddles into a
// buffer, the DFTs run down its columns in place, and each row receives
// its results in the same two runs.
template <int N>
inline void pairBlock(double* data, const double* twRe, const double* twIm, std::ptrdiff_t m, std::ptrdiff_t k0) {
    constexpr std::ptrdiff_t B = kColumnBlock;
    const std::ptrdiff_t len = N * m;
    double bRe[N][B], bIm[N][B];
    for (int c = 0; c < B; ++c) {
        bRe[0][c] = data[k0 + c];
        bIm[0][c] = data[m - k0 - c];
    }
    for (std::ptrdiff_t j = 1; j < N; ++j) {
        const double* up = data + j * m + k0;        // position k0 + c at up[c]
        const double* down = data + j * m + m - k0;  // position m - k0 - c at down[-c]
        const double* wr = twRe + (j - 1) * m + k0;
        const double* wi = twIm + (j - 1) * m + k0;
        for (int c = 0; c < B; ++c) {
            const double a = up[c], b = down[-c];
            bRe[j][c] = a * wr[c] - b * wi[c];
            bIm[j][c] = a * wi[c] + b * wr[c];
        }
    }
    dftDownColumns<N>(bRe, bIm);
    // As pairStep stores: bin k + j'm and its partner len - bin.
    for (std::ptrdiff_t jp = 0; jp < N; ++jp) {
        double* bin = data + k0 + jp * m;
        double* partner = data + len - k0 - jp * m;
        const bool lower = 2 * jp < N;
        for (int c = 0; c < B; ++c) {
            bin[c] = lower ? bRe[jp][c] : -bIm[jp][c];
            partner[-c] = lower ? bIm[jp][c] : bRe[jp][c];
        }
    }
}

}  // namespace

template <int N>
void reTwiddleKernel(double* data, const double* twRe, const double* twIm, std::int32_t stride, std::int32_t m) {
    const std::ptrdiff_t s = stride;
    const std::ptrdiff_t mm = m;
    dcStep<N>(data, s * mm);
    std::ptrdiff_t k = 1;
    if (blocksColumns(stride, m)) {
        for (; 2 * (k + kColumnBlock) <= mm; k += kColumnBlock) pairBlock<N>(data, twRe, twIm, mm, k);
    }
    for (; 2 * k < mm; ++k) {
        pairStep<N>(data, twRe + k, twIm + k, s, mm, k);
    }
    if (2 * k == mm) middleStep<N>(data, twRe + k, twIm + k, s, mm);
}

#define VARNEL_INSTANTIATE(N) \
    template void reTwiddleKernel<N>(double*, const double*, const double*, std::int32_t, std::int32_t);
VARNEL_KERNEL_RADICES(VARNEL_INSTANTIATE)
#undef VARNEL_INSTANTIATE

}  // namespace varnel::fft
