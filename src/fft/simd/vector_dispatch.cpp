#include "fft/simd/vector_kernels.h"

#include "frame/vector_paths.h"

namespace varnel::fft {

// Defined in a translation unit compiled for AVX2 and FMA; only its data is
// touched here, so no AVX instruction runs on a processor without them.
extern const VectorKernelSet kAvx2KernelSet;

const VectorKernelSet* vectorKernels() noexcept { return avx2PathsEnabled() ? &kAvx2KernelSet : nullptr; }

}  // namespace varnel::fft
