#include "fft/plan_cache.h"

namespace varnel::fft {

std::recursive_mutex& planCacheLock() noexcept {
    static std::recursive_mutex lock;
    return lock;
}

FftPlan*& planCacheHead() noexcept {
    static FftPlan* head = nullptr;
    return head;
}

int planCacheSize() noexcept {
    std::lock_guard<std::recursive_mutex> guard(planCacheLock());
    int count = 0;
    for (FftPlan* plan = planCacheHead(); plan; plan = plan->next) ++count;
    return count;
}

}  // namespace varnel::fft
