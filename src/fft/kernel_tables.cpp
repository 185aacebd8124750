// The six radix-indexed kernel tables.
#include "fft/kernel_entries.h"
#include "fft/kernels.h"

namespace varnel::fft {

// Slot n holds the kernel of radix n; radices without one stay null.
#define VARNEL_KERNEL_TABLE(kernel)                                                                          \
    {                                                                                                        \
        nullptr, nullptr, &kernel<2>, &kernel<3>, &kernel<4>, &kernel<5>, nullptr, &kernel<7>, &kernel<8>,   \
            &kernel<9>, &kernel<10>, &kernel<11>, nullptr, &kernel<13>, &kernel<14>, nullptr, &kernel<16>,    \
            &kernel<17>, &kernel<18>, &kernel<19>, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,      \
            nullptr, nullptr, nullptr, &kernel<29>, nullptr, &kernel<31>, &kernel<32>, nullptr, nullptr,      \
            nullptr, nullptr, &kernel<37>, nullptr, nullptr, nullptr, &kernel<41>, nullptr, &kernel<43>       \
    }

const CxLeafKernel cxLeafKernels[kKernelTableSize] = VARNEL_KERNEL_TABLE(cxLeafKernel);
const CxTwiddleKernel cxTwiddleKernels[kKernelTableSize] = VARNEL_KERNEL_TABLE(cxTwiddleKernel);
const ReLeafKernel reLeafKernels[kKernelTableSize] = VARNEL_KERNEL_TABLE(reLeafKernel);
const ReTwiddleKernel reTwiddleKernels[kKernelTableSize] = VARNEL_KERNEL_TABLE(reTwiddleKernel);
const CxSingleKernel cxSingleKernels[kKernelTableSize] = VARNEL_KERNEL_TABLE(cxSingleKernel);
const ReSingleKernel reSingleKernels[kKernelTableSize] = VARNEL_KERNEL_TABLE(reSingleKernel);

#undef VARNEL_KERNEL_TABLE

}  // namespace varnel::fft
