// Complex leaf kernels: count interleaved DFTs straight from the input.
#include <cstddef>

#include "fft/generated/dft_bodies.h"
#include "fft/kernel_entries.h"

namespace varnel::fft {

template <int N>
void cxLeafKernel(const double* inRe, const double* inIm, double* outRe, double* outIm, std::int32_t inStride,
                  std::int32_t outStride, std::int32_t count) {
    const std::ptrdiff_t is = inStride;
    const std::ptrdiff_t os = outStride;
    const std::ptrdiff_t c = count;
    // Sample t of transform j sits t*count elements after sample 0.
    const std::ptrdiff_t tStep = c * is;
    for (std::ptrdiff_t j = 0; j < c; ++j) {
        // Leaf input and output never overlap, which lets the compiler
        // interleave the stores of one transform with the loads of the next.
        const double* __restrict xr = inRe + j * is;
        const double* __restrict xi = inIm + j * is;
        double* __restrict yr = outRe + j * N * os;
        double* __restrict yi = outIm + j * N * os;
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
}

#define VARNEL_INSTANTIATE(N)                                                                           \
    template void cxLeafKernel<N>(const double*, const double*, double*, double*, std::int32_t, std::int32_t, \
                                  std::int32_t);
VARNEL_KERNEL_RADICES(VARNEL_INSTANTIATE)
#undef VARNEL_INSTANTIATE

}  // namespace varnel::fft
