// Complex leaf kernels: count interleaved DFTs straight from the input.
#include <cstddef>
#include <type_traits>

#include "fft/generated/dft_bodies.h"
#include "fft/kernel_entries.h"

namespace varnel::fft {

namespace {

using Unit = std::integral_constant<std::ptrdiff_t, 1>;

// One transform; sample t at t*tStep, bin k at k*os. Leaf input and output
// never overlap, which lets the compiler interleave the stores of one
// transform with the loads of the next.
template <int N, class Step>
__attribute__((always_inline)) inline void cxLeaf(const double* __restrict xr, const double* __restrict xi,
                                                  double* __restrict yr, double* __restrict yi, Step tStep, Step os) {
    generated::cxDft<N, double>(
        [&](std::ptrdiff_t t, double& re, double& im) __attribute__((always_inline)) {
            re = xr[t * tStep];
            im = xi[t * tStep];
        },
        [&](std::ptrdiff_t k, const double& re, const double& im) __attribute__((always_inline)) {
            yr[k * os] = re;
            yi[k * os] = im;
        });
}

}  // namespace

template <int N>
void cxLeafKernel(const double* inRe, const double* inIm, double* outRe, double* outIm, std::int32_t inStride,
                  std::int32_t outStride, std::int32_t count) {
    // A whole transform of one kernel's length at unit strides: with the
    // strides known, its addresses are constants.
    if (count == 1 && inStride == 1 && outStride == 1) return cxLeaf<N>(inRe, inIm, outRe, outIm, Unit{}, Unit{});
    const std::ptrdiff_t is = inStride;
    const std::ptrdiff_t os = outStride;
    const std::ptrdiff_t c = count;
    // Sample t of transform j sits t*count elements after sample 0.
    const std::ptrdiff_t tStep = c * is;
    for (std::ptrdiff_t j = 0; j < c; ++j)
        cxLeaf<N>(inRe + j * is, inIm + j * is, outRe + j * N * os, outIm + j * N * os, tStep, os);
}

#define VARNEL_INSTANTIATE(N)                                                                           \
    template void cxLeafKernel<N>(const double*, const double*, double*, double*, std::int32_t, std::int32_t, \
                                  std::int32_t);
VARNEL_KERNEL_RADICES(VARNEL_INSTANTIATE)
#undef VARNEL_INSTANTIATE

}  // namespace varnel::fft
