// The reference-counted plan cache behind fftPlanCreate / fftPlanRelease.
#include "fft/plan_cache.h"

#include "fft/plan_record.h"
#include "fft/plan_build.h"

namespace varnel::fft {

std::mutex& planCacheLock() noexcept {
    static std::mutex lock;
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
    {
        const std::lock_guard<std::mutex> guard(planCacheLock());
        if (FftPlan* cached = findCached(n)) {
            ++cached->refCount;
            return cached;
        }
    }
    // Built without the lock, so that threads building different lengths
    // do not wait for each other (a Rader stage takes the lock itself for
    // its sub-plan). Another thread may link the same length meanwhile;
    // then its plan is shared and this one given back.
    FftPlan* built = buildPlan(n);
    if (!built) return nullptr;
    FftPlan* shared = nullptr;
    {
        const std::lock_guard<std::mutex> guard(planCacheLock());
        shared = findCached(n);
        if (shared) {
            ++shared->refCount;
        } else {
            built->refCount = 1;
            linkAtHead(built);
        }
    }
    if (!shared) return built;
    destroyPlan(built);
    return shared;
}

void fftPlanRelease(FftPlan* plan) noexcept {
    if (!plan) return;
    {
        const std::lock_guard<std::mutex> guard(planCacheLock());
        if (--plan->refCount > 0) return;
        unlink(plan);
    }
    destroyPlan(plan);  // releases its Rader sub-plans, which takes the lock
}

}  // namespace varnel::fft
