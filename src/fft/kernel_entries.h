// The kernel templates behind the radix-indexed tables of kernels.h.
//
// Each kind lives in its own translation unit, instantiated there for every
// radix of VARNEL_KERNEL_RADICES, so that the large straight-line bodies are
// compiled in parallel and only once.
#pragma once

#include <cstdint>

#include "fft/generated/kernel_radices.h"
#include "fft/kernels.h"

namespace varnel::fft {

// The scalar twiddle kernels read a column's N values m apart. At unit
// stride with m a multiple of kSetPeriod they go through a buffer instead,
// kColumnBlock columns at a time, read and written row by row: column by
// column a 7-point pass over 7*4096 values took 90% of the transform, and
// 7*512 ran three times slower per value than 7*256.
inline constexpr std::ptrdiff_t kColumnBlock = 16;
constexpr bool blocksColumns(std::int32_t stride, std::int32_t m) { return stride == 1 && m % kSetPeriod == 0; }

template <int N>
void cxLeafKernel(const double* inRe, const double* inIm, double* outRe, double* outIm, std::int32_t inStride,
                  std::int32_t outStride, std::int32_t count);

template <int N>
void cxTwiddleKernel(double* re, double* im, const double* twRe, const double* twIm, std::int32_t stride,
                     std::int32_t m);

template <int N>
void reLeafKernel(const double* in, double* out, std::int32_t inStride, std::int32_t outStride, std::int32_t count);

template <int N>
void reTwiddleKernel(double* data, const double* twRe, const double* twIm, std::int32_t stride, std::int32_t m);

}  // namespace varnel::fft
