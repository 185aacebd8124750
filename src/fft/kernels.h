// Fixed-size DFT kernels: entry points and the four radix-indexed tables.
//
// Strides count doubles. Index arithmetic inside the kernels is done in
// std::ptrdiff_t so that count * stride products never overflow int32.
#pragma once

#include <cstdint>

namespace varnel::fft {

// count DFTs of size n: transform j reads (inRe, inIm)[(j + t*count) * inStride],
// t = 0..n-1, and writes bin k to (outRe, outIm)[(j*n + k) * outStride].
using CxLeafKernel = void (*)(const double* inRe, const double* inIm, double* outRe, double* outIm,
                              std::int32_t inStride, std::int32_t outStride, std::int32_t count);

// In place on n*m values at the given stride: for each k = 0..m-1 the values
// at k + j*m are multiplied by w(j, k) (1 for j = 0 or k = 0, else
// tw[(k-1)(n-1) + (j-1)]) and replaced by their DFT of size n.
using CxTwiddleKernel = void (*)(double* re, double* im, const double* twRe, const double* twIm,
                                 std::int32_t stride, std::int32_t m);

// count real DFTs of size n, each written as an Hc array of n values.
using ReLeafKernel = void (*)(const double* in, double* out, std::int32_t inStride,
                              std::int32_t outStride, std::int32_t count);

// In place: n consecutive Hc arrays of length m become the Hc array of
// length n*m of the combined spectrum (one real decimation-in-time pass).
using ReTwiddleKernel = void (*)(double* data, const double* twRe, const double* twIm,
                                 std::int32_t stride, std::int32_t m);

// One DFT of size n; correct in place (same arrays, same stride).
using CxSingleKernel = void (*)(const double* inRe, const double* inIm, double* outRe, double* outIm,
                                std::int32_t inStride, std::int32_t outStride);
using ReSingleKernel = void (*)(const double* in, double* out, std::int32_t inStride,
                                std::int32_t outStride);

inline constexpr int kKernelTableSize = 44;

// Indexed by radix; empty (null) for radices without a kernel.
extern const CxLeafKernel cxLeafKernels[kKernelTableSize];
extern const CxTwiddleKernel cxTwiddleKernels[kKernelTableSize];
extern const ReLeafKernel reLeafKernels[kKernelTableSize];
extern const ReTwiddleKernel reTwiddleKernels[kKernelTableSize];
extern const CxSingleKernel cxSingleKernels[kKernelTableSize];
extern const ReSingleKernel reSingleKernels[kKernelTableSize];

}  // namespace varnel::fft
