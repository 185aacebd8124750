// The vector kernel set for processors with AVX2 and FMA. This file alone
// is compiled with those instructions enabled; it holds only code reached
// through kAvx2KernelSet, which is used after a run-time CPU check.
#include "fft/simd/kernel_set.h"

namespace varnel::fft {

extern const VectorKernelSet kAvx2KernelSet = makeKernelSet();

}  // namespace varnel::fft
