// Shared helpers for FFT tests: plan ownership and the empty-cache rule.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <mutex>

#include "fft/plan_record.h"
#include "fft/plan_cache.h"

namespace varnel::testing {

struct PlanReleaser {
    void operator()(fft::FftPlan* plan) const { fft::fftPlanRelease(plan); }
};
using PlanHandle = std::unique_ptr<fft::FftPlan, PlanReleaser>;

// Number of plans in the cache.
inline int planCacheSize() {
    const std::lock_guard<std::mutex> guard(fft::planCacheLock());
    int count = 0;
    for (const fft::FftPlan* plan = fft::planCacheHead(); plan; plan = plan->next) ++count;
    return count;
}

inline PlanHandle makePlan(std::int32_t n) { return PlanHandle(fft::fftPlanCreate(n)); }

// Every test starts and must end with an empty plan cache: the library
// holds plans only while some call uses them.
class PlanCacheTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(planCacheSize(), 0) << "a previous test leaked plans"; }
    void TearDown() override { EXPECT_EQ(planCacheSize(), 0) << "plans left in the cache"; }
};

template <class Param>
class PlanCacheTestWithParam : public PlanCacheTest, public ::testing::WithParamInterface<Param> {};

}  // namespace varnel::testing
