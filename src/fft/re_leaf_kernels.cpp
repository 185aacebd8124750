// Real leaf kernels: count interleaved real DFTs to half-complex arrays.
#include <cstddef>
#include <type_traits>

#include "fft/generated/dft_bodies.h"
#include "fft/kernel_entries.h"

namespace varnel::fft {

namespace {

using Unit = std::integral_constant<std::ptrdiff_t, 1>;

template <int N, class Step>
__attribute__((always_inline)) inline void reLeaf(const double* __restrict x, double* __restrict y, Step tStep,
                                                  Step os) {
    generated::reDft<N, double>(
        [&](std::ptrdiff_t t, double& v) __attribute__((always_inline)) { v = x[t * tStep]; },
        [&](std::ptrdiff_t r, const double& v) __attribute__((always_inline)) { y[r * os] = v; });
}

}  // namespace

template <int N>
void reLeafKernel(const double* in, double* out, std::int32_t inStride, std::int32_t outStride, std::int32_t count) {
    // As the complex leaf: one whole transform at unit strides.
    if (count == 1 && inStride == 1 && outStride == 1) return reLeaf<N>(in, out, Unit{}, Unit{});
    const std::ptrdiff_t is = inStride;
    const std::ptrdiff_t os = outStride;
    const std::ptrdiff_t c = count;
    const std::ptrdiff_t tStep = c * is;
    for (std::ptrdiff_t j = 0; j < c; ++j) reLeaf<N>(in + j * is, out + j * N * os, tStep, os);
}

#define VARNEL_INSTANTIATE(N) \
    template void reLeafKernel<N>(const double*, double*, std::int32_t, std::int32_t, std::int32_t);
VARNEL_KERNEL_RADICES(VARNEL_INSTANTIATE)
#undef VARNEL_INSTANTIATE

}  // namespace varnel::fft
