// The reference-counted plan cache behind fftPlanCreate / fftPlanRelease.
#include "fft/plan_cache.h"

#include "fft/plan.h"
#include "fft/plan_build.h"

namespace varnel::fft {

std::recursive_mutex& planCacheLock() noexcept {
    static std::recursive_mutex lock;
    return lock;
}

FftPlan*& planCacheHead() noexcept {
    static FftPlan* head = nullptr;
    return head;
}

namespace {

FftPlan* findCached(std::int32_t n) {
    for (FftPlan* plan = planCacheHead(); plan; plan = plan->next)
        if (plan->length == n) return plan;
    return nullptr;
}

void linkAtHead(FftPlan* plan) {
    FftPlan*& head = planCacheHead();
    plan->prev = nullptr;
    plan->next = head;
    if (head) head->prev = plan;
    head = plan;
}

void unlink(FftPlan* plan) {
    FftPlan*& head = planCacheHead();
    if (plan == head) {
        head = plan->next;
        if (head) head->prev = nullptr;
    } else {
        plan->prev->next = plan->next;
        if (plan->next) plan->next->prev = plan->prev;
    }
    plan->prev = plan->next = nullptr;
}

}  // namespace

FftPlan* fftPlanCreate(std::int32_t n) noexcept {
    if (n < 1) return nullptr;
    std::lock_guard<std::recursive_mutex> guard(planCacheLock());
    if (FftPlan* cached = findCached(n)) {
        ++cached->refCount;
        return cached;
    }
    FftPlan* plan = buildPlan(n);
    if (!plan) return nullptr;
    plan->refCount = 1;
    linkAtHead(plan);
    return plan;
}

void fftPlanRelease(FftPlan* plan) noexcept {
    if (!plan) return;
    std::lock_guard<std::recursive_mutex> guard(planCacheLock());
    if (--plan->refCount > 0) return;
    unlink(plan);
    destroyPlan(plan);
}

}  // namespace varnel::fft
