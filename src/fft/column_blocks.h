// The scalar twiddle kernels' passes over rows a multiple of kSetPeriod
// apart (see frame/scratch.h), a block of columns at a time through a buffer.
// Include only from the kernel translation units: it brings the generated
// bodies.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fft/generated/dft_bodies.h"
#include "fft/kernels.h"

namespace varnel::fft {

// Column by column, a 7-point pass over 7*4096 values took 90% of the
// transform, and 7*512 ran three times slower per value than 7*256.
inline constexpr std::ptrdiff_t kColumnBlock = 16;
constexpr bool blocksColumns(std::int32_t stride, std::int32_t m) { return stride == 1 && m % kSetPeriod == 0; }

// In place, the N-point DFT of each buffer column c: values re[j][c].
template <int N>
inline void dftDownColumns(double (&re)[N][kColumnBlock], double (&im)[N][kColumnBlock]) {
    for (int c = 0; c < kColumnBlock; ++c) {
        generated::cxDft<N, double>(
            [&](std::ptrdiff_t j, double& xr, double& xi) __attribute__((always_inline)) {
                xr = re[j][c];
                xi = im[j][c];
            },
            [&](std::ptrdiff_t k, const double& yr, const double& yi) __attribute__((always_inline)) {
                re[k][c] = yr;
                im[k][c] = yi;
            });
    }
}

}  // namespace varnel::fft
