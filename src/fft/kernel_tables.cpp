// The four radix-indexed kernel tables.
#include "fft/kernel_entries.h"
#include "fft/kernels.h"

namespace varnel::fft {

constinit const KernelTable<CxLeafKernel> cxLeafKernels =
    radixTable<CxLeafKernel>([]<int N>() { return &cxLeafKernel<N>; }, generated::KernelRadices{});
constinit const KernelTable<CxTwiddleKernel> cxTwiddleKernels =
    radixTable<CxTwiddleKernel>([]<int N>() { return &cxTwiddleKernel<N>; }, generated::KernelRadices{});
constinit const KernelTable<ReLeafKernel> reLeafKernels =
    radixTable<ReLeafKernel>([]<int N>() { return &reLeafKernel<N>; }, generated::KernelRadices{});
constinit const KernelTable<ReTwiddleKernel> reTwiddleKernels =
    radixTable<ReTwiddleKernel>([]<int N>() { return &reTwiddleKernel<N>; }, generated::KernelRadices{});

}  // namespace varnel::fft
