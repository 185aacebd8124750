// The plans and the transforms under failing allocations. The exports'
// sweeps (tests/frame) reach only the lengths they use; these reach the
// direct and Rader stages, nested and shared sub-plans, and the gather
// buffer of long transforms.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "support/allocation_faults.h"
#include "fft/plan.h"
#include "fft/plan_record.h"
#include "frame/scratch.h"
#include "support/fft_fixtures.h"
#include "varnel.h"

namespace varnel::fft {
namespace {

using testing::planCacheSize;
using testing::sweepAllocationFaults;

class AllocationFaults : public testing::PlanCacheTestWithParam<std::int32_t> {};

// A fixed ramp's spectrum and real spectrum, to tell a sound plan from a broken one.
std::vector<double> rampSpectra(const FftPlan* plan, std::int32_t n) {
    std::vector<double> x(n), out(3 * static_cast<std::size_t>(n));
    for (std::int32_t i = 0; i < n; ++i) x[i] = std::sin(0.37 * i) + 0.001 * i;
    EXPECT_EQ(cxFft(plan, x.data(), x.data(), out.data(), out.data() + n, 1, 1, n), kStatusOk);
    EXPECT_EQ(reFft(plan, x.data(), out.data() + 2 * n, 1, 1, n), kStatusOk);
    return out;
}

void expectSame(const std::vector<double>& got, const std::vector<double>& want) {
    const double scale = std::sqrt(static_cast<double>(want.size()));
    for (std::size_t i = 0; i < got.size(); ++i) ASSERT_NEAR(got[i], want[i], 1e-13 * scale) << i;
}

// A failed build gives no plan and leaves the cache as it was. The one
// allocation a build may do without is the gather buffer of a long
// transform run while it is built (the Rader kernel of 65537): then the
// plan must still be sound.
TEST_P(AllocationFaults, FailedBuildReturnsNoPlanAndLeavesTheCacheUnchanged) {
    const std::int32_t n = GetParam();
    const std::vector<double> expected = rampSpectra(testing::makePlan(n).get(), n);
    EXPECT_GT(sweepAllocationFaults([&](bool expectFailure) {
                  FftPlan* plan = fftPlanCreate(n);
                  if (expectFailure && plan == nullptr) {
                      EXPECT_EQ(planCacheSize(), 0);
                      return;
                  }
                  ASSERT_NE(plan, nullptr);
                  if (expectFailure) {
                      scratch_testing::failAllocationAt(0);
                      expectSame(rampSpectra(plan, n), expected);
                  }
                  fftPlanRelease(plan);
              }),
              2);
}

// Without the caller's scratch, a transform with prime stages takes its
// scratch (a Rader stage's sub-plan's included) at the start: a failure is
// reported, and nothing, input or output, has been written.
TEST_P(AllocationFaults, ScratchFailureIsReportedBeforeAnythingIsWritten) {
    const std::int32_t n = GetParam();
    auto plan = testing::makePlan(n);
    const std::vector<double> x(n, 0.5), untouched(n, 7.0);
    std::vector<double> a, b, in;
    const auto run = [&](bool expectFailure, auto transform) {
        a = b = untouched;
        in = x;
        EXPECT_EQ(transform(), expectFailure ? kStatusNoMemory : kStatusOk);
        if (expectFailure) EXPECT_TRUE(a == untouched && b == untouched && in == x);
    };
    sweepAllocationFaults([&](bool f) { run(f, [&] { return cxFft(plan.get(), x.data(), x.data(), a.data(), b.data(), 1, 1, n); }); });
    sweepAllocationFaults([&](bool f) { run(f, [&] { return cxIfft(plan.get(), x.data(), x.data(), a.data(), b.data(), 1, 1, n); }); });
    sweepAllocationFaults([&](bool f) { run(f, [&] { return reFft(plan.get(), x.data(), a.data(), 1, 1, n); }); });
    sweepAllocationFaults([&](bool f) { run(f, [&] { return reIfft(plan.get(), in.data(), a.data(), 1, 1, n); }); });
}

// With the caller's scratch of exactly fftScratchSize(n) doubles (the
// address checker guards its end) no transform allocates, and the results
// are those of the transforms that take their own.
TEST_P(AllocationFaults, TransformsWithTheCallersScratchNeverAllocate) {
    const std::int32_t n = GetParam();
    auto plan = testing::makePlan(n);
    const std::vector<double> expected = rampSpectra(plan.get(), n);
    std::vector<double> x(n), got(3 * static_cast<std::size_t>(n)), scratch(fftScratchSize(n));
    for (std::int32_t i = 0; i < n; ++i) x[i] = std::sin(0.37 * i) + 0.001 * i;
    std::vector<double> hc(n), backRe(n), backIm(n), back(n);
    scratch_testing::failAllocationAt(1);
    double* s = scratch.data();
    EXPECT_EQ(cxFft(plan.get(), x.data(), x.data(), got.data(), got.data() + n, 1, 1, n, s), kStatusOk);
    EXPECT_EQ(reFft(plan.get(), x.data(), got.data() + 2 * n, 1, 1, n, s), kStatusOk);
    EXPECT_EQ(cxIfft(plan.get(), got.data(), got.data() + n, backRe.data(), backIm.data(), 1, 1, n, s), kStatusOk);
    std::copy(got.begin() + 2 * n, got.end(), hc.begin());
    EXPECT_EQ(reIfft(plan.get(), hc.data(), back.data(), 1, 1, n, s), kStatusOk);
    EXPECT_EQ(scratch_testing::attemptedAllocations(), 0);
    scratch_testing::failAllocationAt(0);
    expectSame(got, expected);
    const double tolerance = 1e-13 * (1 + 0.001 * n);  // relative to the ramp's height
    for (std::int32_t i = 0; i < n; ++i) {
        ASSERT_NEAR(backRe[i], x[i], tolerance) << i;
        ASSERT_NEAR(backIm[i], x[i], tolerance) << i;
        ASSERT_NEAR(back[i], x[i], tolerance) << i;
    }
}

// 107: Rader over 106 = 2*53, itself Rader; 23*47 and 23*59: direct
// stages, one of them a twiddle pass; 2*53*53: two Rader stages sharing a
// sub-plan; 65537: a sub-plan of 2^16 with a long twiddle table and a
// first-stage copy; 47 * 2^10: a copy and a prime stage.
INSTANTIATE_TEST_SUITE_P(PrimeStages, AllocationFaults,
                         ::testing::Values(107, 23 * 47, 23 * 59, 2 * 53 * 53, 65537, 47 << 10));

// Both Rader stages of 2*53*53 hold the cached plan of 52; a failed build
// gives back what it took of it.
TEST_F(AllocationFaults, RaderStagesShareTheCachedSubPlanThroughFailedBuilds) {
    auto held = testing::makePlan(52);
    sweepAllocationFaults([&](bool expectFailure) {
        FftPlan* plan = fftPlanCreate(2 * 53 * 53);
        if (expectFailure) EXPECT_EQ(plan, nullptr);
        else EXPECT_TRUE(plan->stages[1]->raderPlan == held.get() && plan->stages[2]->raderPlan == held.get());
        if (plan) EXPECT_EQ(held->refCount, 3);
        fftPlanRelease(plan);
        EXPECT_EQ(held->refCount, 1);
        EXPECT_EQ(planCacheSize(), 1);
    });
}

// Long transforms copy their input into a gather buffer only to run
// faster: without memory for it they must still succeed, with the same
// result, so that callers that have written output already cannot be cut
// off half way.
TEST_F(AllocationFaults, LongTransformsSucceedWithoutTheirGatherBuffer) {
    for (const std::int32_t n : {1 << 16, 177147}) {  // 3^11: blocks of 3^10 values end in a partial tile
        auto plan = testing::makePlan(n);
        scratch_testing::failAllocationAt(0);
        const std::vector<double> expected = rampSpectra(plan.get(), n);
        ASSERT_EQ(scratch_testing::attemptedAllocations(), 2) << "one scratch block per transform";
        for (std::int64_t k = 1; k <= 2; ++k) {
            scratch_testing::failAllocationAt(k);  // each transform's gather buffer in turn
            const std::vector<double> got = rampSpectra(plan.get(), n);
            scratch_testing::failAllocationAt(0);
            expectSame(got, expected);
        }
    }
}

// Output at a stride other than 1 of a length whose vector kernels keep
// a stage's twiddles factored is staged in the scratch: without it such a
// transform reports the failure and writes nothing; at unit stride it
// still runs.
TEST_F(AllocationFaults, StridedOutputOfFactoredStagesNeedsItsScratch) {
    constexpr std::int32_t n = 1 << 18;
    auto plan = testing::makePlan(n);
    if (!plan->factoredStages) GTEST_SKIP() << "no vector kernels on this processor";
    const std::vector<double> x(n, 0.5), untouched(2 * static_cast<std::size_t>(n), 7.0);
    std::vector<double> out = untouched;
    scratch_testing::failAllocationAt(1);
    EXPECT_EQ(cxFft(plan.get(), x.data(), x.data(), out.data(), out.data() + 1, 1, 2, n), kStatusNoMemory);
    scratch_testing::failAllocationAt(1);
    EXPECT_EQ(reFft(plan.get(), x.data(), out.data(), 1, 2, n), kStatusNoMemory);
    EXPECT_TRUE(out == untouched);
    scratch_testing::failAllocationAt(1);
    EXPECT_EQ(reFft(plan.get(), x.data(), out.data(), 1, 1, n), kStatusOk);
    scratch_testing::failAllocationAt(0);
    EXPECT_EQ(out[0], 0.5 * n);
}

// Requests within a huge page of the address space's end, where rounding
// up to whole pages would wrap around, are refused before any allocator
// sees them, not given a small block.
TEST(ScratchLimits, RequestsNearTheAddressSpaceEndAreRefused) {
    constexpr std::size_t kHuge = std::size_t{2} << 20;
    for (const std::size_t below : {std::size_t{0}, std::size_t{64}, kHuge - 1, kHuge})
        EXPECT_FALSE(ScratchBuffer<unsigned char>(SIZE_MAX - below).ok()) << below;
}

}  // namespace
}  // namespace varnel::fft
