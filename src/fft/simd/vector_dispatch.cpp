#include "fft/simd/vector_kernels.h"

#include <atomic>

namespace varnel::fft {

// Defined in a translation unit compiled for AVX2 and FMA; only its data is
// touched here, so no AVX instruction runs on a processor without them.
extern const VectorKernelSet kAvx2KernelSet;

namespace {
std::atomic<bool> enabled{true};
}

const VectorKernelSet* vectorKernels() noexcept {
    static const VectorKernelSet* const chosen = [] {
        __builtin_cpu_init();
        const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
        return avx2 ? &kAvx2KernelSet : static_cast<const VectorKernelSet*>(nullptr);
    }();
    return enabled.load(std::memory_order_relaxed) ? chosen : nullptr;
}

void setVectorKernelsEnabled(bool on) noexcept { enabled.store(on, std::memory_order_relaxed); }

}  // namespace varnel::fft
