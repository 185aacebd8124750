#include "fft/simd/vector_kernels.h"

#include "frame/vector_paths.h"

namespace varnel::fft {

// Defined in translation units compiled for AVX2 and FMA, and for those
// with AVX-512F and VL; only their data is touched here, so no instruction
// runs on a processor without it.
extern const VectorKernelSet kAvx2KernelSet;
extern const VectorKernelSet kAvx512VlKernelSet;

const VectorKernelSet* vectorKernels() noexcept {
    if (!avx2PathsEnabled()) return nullptr;
    return avx512VlKernelsEnabled() ? &kAvx512VlKernelSet : &kAvx2KernelSet;
}

}  // namespace varnel::fft
