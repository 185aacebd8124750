// The kernel templates behind the radix-indexed tables of kernels.h.
//
// Each kind lives in its own translation unit, instantiated there for every
// radix of VARNEL_KERNEL_RADICES, so that the large straight-line bodies are
// compiled in parallel and only once.
#pragma once

#include <cstdint>

#include "fft/kernels.h"

// The radices that have generated kernels, for X-macro expansion.
#define VARNEL_KERNEL_RADICES(X) \
    X(2) X(3) X(4) X(5) X(7) X(8) X(9) X(10) X(11) X(13) X(14) X(16) X(17) X(18) X(19) X(29) X(31) X(32) X(37) X(41) X(43)

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

template <int N>
void cxSingleKernel(const double* inRe, const double* inIm, double* outRe, double* outIm, std::int32_t inStride,
                    std::int32_t outStride);

template <int N>
void reSingleKernel(const double* in, double* out, std::int32_t inStride, std::int32_t outStride);

}  // namespace varnel::fft
