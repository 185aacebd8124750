// Complex twiddle kernels: one in-place decimation-in-time pass of radix N.
#include <cstddef>

#include "fft/column_blocks.h"
#include "fft/generated/dft_bodies.h"
#include "fft/kernel_entries.h"

namespace varnel::fft {
namespace {

// The pass at unit stride a block of columns at a time (see blocksColumns):
// the block's rows are read with their twiddles into a buffer, the DFTs run
// down its columns in place, and the rows are written back.
template <int N>
void blockedColumns(double* re, double* im, const double* twRe, const double* twIm, std::ptrdiff_t m) {
    constexpr std::ptrdiff_t B = kColumnBlock;
    double bRe[N][B], bIm[N][B];
    for (std::ptrdiff_t k0 = 0; k0 < m; k0 += B) {
        for (int c = 0; c < B; ++c) {
            bRe[0][c] = re[k0 + c];
            bIm[0][c] = im[k0 + c];
        }
        for (std::ptrdiff_t j = 1; j < N; ++j) {
            const double* r = re + j * m + k0;
            const double* i = im + j * m + k0;
            const double* wr = twRe + (j - 1) * m + k0;  // w^(jk), 1 at k = 0
            const double* wi = twIm + (j - 1) * m + k0;
            for (int c = 0; c < B; ++c) {
                bRe[j][c] = r[c] * wr[c] - i[c] * wi[c];
                bIm[j][c] = r[c] * wi[c] + i[c] * wr[c];
            }
        }
        dftDownColumns<N>(bRe, bIm);
        for (std::ptrdiff_t k = 0; k < N; ++k) {
            for (int c = 0; c < B; ++c) {
                re[k * m + k0 + c] = bRe[k][c];
                im[k * m + k0 + c] = bIm[k][c];
            }
        }
    }
}

}  // namespace

template <int N>
void cxTwiddleKernel(double* re, double* im, const double* twRe, const double* twIm, std::int32_t stride,
                     std::int32_t m) {
    if (blocksColumns(stride, m)) {
        blockedColumns<N>(re, im, twRe, twIm, m);
        return;
    }
    const std::ptrdiff_t s = stride;
    const std::ptrdiff_t step = s * m;  // between y_j and y_(j+1) of one butterfly
    // k = 0 needs no twiddles.
    generated::cxDft<N, double>(
        [&](std::ptrdiff_t j, double& xr, double& xi) __attribute__((always_inline)) {
            xr = re[j * step];
            xi = im[j * step];
        },
        [&](std::ptrdiff_t j, const double& yr, const double& yi) __attribute__((always_inline)) {
            re[j * step] = yr;
            im[j * step] = yi;
        });
    for (std::ptrdiff_t k = 1; k < m; ++k) {
        double* r = re + k * s;
        double* i = im + k * s;
        const double* wr = twRe + k;  // w^(jk) at wr[(j-1) m]
        const double* wi = twIm + k;
        // The twiddle product is made as each value is loaded; the body has
        // read everything before it stores, so the pass stays in place.
        generated::cxDft<N, double>(
            [&](std::ptrdiff_t j, double& xr, double& xi) __attribute__((always_inline)) {
                const double a = r[j * step];
                const double b = i[j * step];
                if (j == 0) {
                    xr = a;
                    xi = b;
                } else {
                    xr = a * wr[(j - 1) * m] - b * wi[(j - 1) * m];
                    xi = a * wi[(j - 1) * m] + b * wr[(j - 1) * m];
                }
            },
            [&](std::ptrdiff_t j, const double& yr, const double& yi) __attribute__((always_inline)) {
                r[j * step] = yr;
                i[j * step] = yi;
            });
    }
}

#define VARNEL_INSTANTIATE(N) \
    template void cxTwiddleKernel<N>(double*, double*, const double*, const double*, std::int32_t, std::int32_t);
VARNEL_KERNEL_RADICES(VARNEL_INSTANTIATE)
#undef VARNEL_INSTANTIATE

}  // namespace varnel::fft
