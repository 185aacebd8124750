#include "frame/vector_paths.h"

#include <atomic>

namespace varnel {
namespace {
std::atomic<bool> enabled{true};
}

bool avx2PathsEnabled() noexcept {
    static const bool supported = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    }();
    return supported && enabled.load(std::memory_order_relaxed);
}

void setAvx2PathsEnabled(bool on) noexcept { enabled.store(on, std::memory_order_relaxed); }

}  // namespace varnel
