// One complex DFT of a fixed size, in place or out of place.
#include <cstddef>

#include "fft/generated/dft_bodies.h"
#include "fft/kernel_entries.h"

namespace varnel::fft {

template <int N>
void cxSingleKernel(const double* inRe, const double* inIm, double* outRe, double* outIm, std::int32_t inStride,
                    std::int32_t outStride) {
    const std::ptrdiff_t is = inStride;
    const std::ptrdiff_t os = outStride;
    // The generated body reads every input before its first store, which is
    // what makes the in-place call (same arrays, same stride) correct.
    generated::cxDft<N, double>(
        [&](std::ptrdiff_t t, double& re, double& im) __attribute__((always_inline)) {
            re = inRe[t * is];
            im = inIm[t * is];
        },
        [&](std::ptrdiff_t k, const double& re, const double& im) __attribute__((always_inline)) {
            outRe[k * os] = re;
            outIm[k * os] = im;
        });
}

#define VARNEL_INSTANTIATE(N)                                                                                  \
    template void cxSingleKernel<N>(const double*, const double*, double*, double*, std::int32_t, std::int32_t);
VARNEL_KERNEL_RADICES(VARNEL_INSTANTIATE)
#undef VARNEL_INSTANTIATE

}  // namespace varnel::fft
