// Fixed-size DFT kernels: entry points and the four radix-indexed tables.
//
// Strides count doubles. Index arithmetic inside the kernels is done in
// std::ptrdiff_t so that count * stride products never overflow int32.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "fft/generated/kernel_radices.h"
#include "frame/scratch.h"

namespace varnel::fft {

// count DFTs of size n: transform j reads (inRe, inIm)[(j + t*count) * inStride],
// t = 0..n-1, and writes bin k to (outRe, outIm)[(j*n + k) * outStride].
using CxLeafKernel = void (*)(const double* inRe, const double* inIm, double* outRe, double* outIm,
                              std::int32_t inStride, std::int32_t outStride, std::int32_t count);

// In place on n*m values at the given stride: for each k = 0..m-1 the values
// at k + j*m are multiplied by w(j, k) (1 for j = 0 or k = 0, else
// tw[(j-1)*m + k]) and replaced by their DFT of size n.
using CxTwiddleKernel = void (*)(double* re, double* im, const double* twRe, const double* twIm,
                                 std::int32_t stride, std::int32_t m);

// count real DFTs of size n, each written as an Hc array of n values.
using ReLeafKernel = void (*)(const double* in, double* out, std::int32_t inStride,
                              std::int32_t outStride, std::int32_t count);

// In place: n consecutive Hc arrays of length m become the Hc array of
// length n*m of the combined spectrum (one real decimation-in-time pass).
using ReTwiddleKernel = void (*)(double* data, const double* twRe, const double* twIm,
                                 std::int32_t stride, std::int32_t m);

// Tables indexed by radix, made from generated::kKernelRadices; slots of
// radices without a kernel are null.
inline constexpr int kKernelTableSize = generated::kLargestKernelRadix + 1;
template <class Kernel>
using KernelTable = std::array<Kernel, kKernelTableSize>;

extern const KernelTable<CxLeafKernel> cxLeafKernels;
extern const KernelTable<CxTwiddleKernel> cxTwiddleKernels;
extern const KernelTable<ReLeafKernel> reLeafKernels;
extern const KernelTable<ReTwiddleKernel> reTwiddleKernels;

// table[n] = make.operator()<n>() for every kernel radix n.
template <class Kernel, class Make, int... N>
constexpr KernelTable<Kernel> radixTable(Make make, std::integer_sequence<int, N...>) {
    KernelTable<Kernel> table{};
    ((table[N] = make.template operator()<N>()), ...);
    return table;
}

}  // namespace varnel::fft
