#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "fft/plan.h"
#include "fft/plan_cache.h"
#include "support/fft_fixtures.h"

namespace varnel::fft {
namespace {

using testing::makePlan;
using testing::PlanCacheTest;

std::vector<std::int32_t> cachedLengths() {
    std::vector<std::int32_t> lengths;
    for (FftPlan* p = planCacheHead(); p; p = p->next) lengths.push_back(p->length);
    return lengths;
}

// prev must mirror next everywhere, and the head has no prev.
void expectConsistentLinks() {
    FftPlan* head = planCacheHead();
    if (head) EXPECT_EQ(head->prev, nullptr);
    for (FftPlan* p = head; p && p->next; p = p->next) EXPECT_EQ(p->next->prev, p);
}

class PlanCache : public PlanCacheTest {};

TEST_F(PlanCache, InvalidLengthsGiveNoPlan) {
    EXPECT_EQ(fftPlanCreate(0), nullptr);
    EXPECT_EQ(fftPlanCreate(-5), nullptr);
    fftPlanRelease(nullptr);  // ignored
}

TEST_F(PlanCache, SameLengthIsSharedAndCounted) {
    FftPlan* first = fftPlanCreate(64);
    FftPlan* second = fftPlanCreate(64);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_EQ(first->refCount, 2);
    fftPlanRelease(second);
    EXPECT_EQ(planCacheSize(), 1);
    EXPECT_EQ(first->refCount, 1);
    fftPlanRelease(first);
    EXPECT_EQ(planCacheSize(), 0);
}

TEST_F(PlanCache, NewestPlanIsTheHeadAndReleaseRelinks) {
    FftPlan* a = fftPlanCreate(8);
    FftPlan* b = fftPlanCreate(12);
    FftPlan* c = fftPlanCreate(20);
    EXPECT_EQ(cachedLengths(), (std::vector<std::int32_t>{20, 12, 8}));
    fftPlanRelease(b);  // middle
    EXPECT_EQ(cachedLengths(), (std::vector<std::int32_t>{20, 8}));
    expectConsistentLinks();
    fftPlanRelease(c);  // head
    EXPECT_EQ(planCacheHead(), a);
    expectConsistentLinks();
    fftPlanRelease(a);
}

TEST_F(PlanCache, RaderStagesShareOneSubPlan) {
    auto plan = makePlan(2 * 53 * 53);
    ASSERT_TRUE(plan);
    ASSERT_EQ(plan->factorCount, 3);
    FftPlan* sub = plan->stages[1]->raderPlan;
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(sub, plan->stages[2]->raderPlan);
    EXPECT_EQ(sub->length, 52);
    EXPECT_EQ(sub->refCount, 2);
    EXPECT_EQ(cachedLengths(), (std::vector<std::int32_t>{2 * 53 * 53, 52}));
    {
        auto direct = makePlan(52);  // a transform holding the same length shares it too
        EXPECT_EQ(direct.get(), sub);
        EXPECT_EQ(sub->refCount, 3);
    }
    EXPECT_EQ(sub->refCount, 2);
}

TEST_F(PlanCache, TwiddlesAreAccurateOnLongStages) {
    auto plan = makePlan(1 << 20);  // stage 0: radix 32 over 32768 entries per j
    ASSERT_TRUE(plan);
    const FftStage& stage = *plan->stages[0];
    const long double twoPi = 6.283185307179586476925286766559005768L;
    double worst = 0;
    for (std::int64_t k = 1; k < 32768; k += 97) {
        for (std::int64_t j = 1; j < 32; ++j) {
            const long double angle = -twoPi * static_cast<long double>(j * k) / (1 << 20);
            const std::int64_t e = (k - 1) * 31 + (j - 1);
            worst = std::max(worst, static_cast<double>(std::abs(stage.twRe[e] - std::cos(angle))));
            worst = std::max(worst, static_cast<double>(std::abs(stage.twIm[e] - std::sin(angle))));
        }
    }
    EXPECT_LT(worst, 3 * 2.3e-16) << "within 3 ulps of a unit-magnitude value";
}

}  // namespace
}  // namespace varnel::fft
