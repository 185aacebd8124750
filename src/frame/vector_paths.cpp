#include "frame/vector_paths.h"

#include <atomic>

namespace varnel {
namespace {
std::atomic<bool> avx2On{true}, avx512VlOn{true};

struct Support {
    bool avx2, avx512Vl;
};

// Decided once per process. The checks include the operating system's
// support for the wider register state, not only the CPU's.
const Support& support() noexcept {
    static const Support s = [] {
        __builtin_cpu_init();
        const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
        return Support{avx2, avx2 && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl")};
    }();
    return s;
}
}  // namespace

bool avx2PathsEnabled() noexcept { return support().avx2 && avx2On.load(std::memory_order_relaxed); }

bool avx512VlKernelsEnabled() noexcept {
    return avx2PathsEnabled() && support().avx512Vl && avx512VlOn.load(std::memory_order_relaxed);
}

void setAvx2PathsEnabled(bool on) noexcept { avx2On.store(on, std::memory_order_relaxed); }

void setAvx512VlKernelsEnabled(bool on) noexcept { avx512VlOn.store(on, std::memory_order_relaxed); }

}  // namespace varnel
