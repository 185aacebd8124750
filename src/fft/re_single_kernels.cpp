// One real DFT of a fixed size to a half-complex array, in place or not.
#include <cstddef>

#include "fft/generated/dft_bodies.h"
#include "fft/kernel_entries.h"

namespace varnel::fft {

template <int N>
void reSingleKernel(const double* in, double* out, std::int32_t inStride, std::int32_t outStride) {
    const std::ptrdiff_t is = inStride;
    const std::ptrdiff_t os = outStride;
    generated::reDft<N, double>(
        [&](std::ptrdiff_t t, double& x) __attribute__((always_inline)) { x = in[t * is]; },
        [&](std::ptrdiff_t r, const double& v) __attribute__((always_inline)) { out[r * os] = v; });
}

#define VARNEL_INSTANTIATE(N) template void reSingleKernel<N>(const double*, double*, std::int32_t, std::int32_t);
VARNEL_KERNEL_RADICES(VARNEL_INSTANTIATE)
#undef VARNEL_INSTANTIATE

}  // namespace varnel::fft
