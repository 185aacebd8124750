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
