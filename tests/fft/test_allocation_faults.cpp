#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "support/allocation_faults.h"
#include "support/fft_fixtures.h"
#include "varnel.h"

namespace varnel::fft {
namespace {

class PlanAllocationFaults : public testing::PlanCacheTestWithParam<std::int32_t> {};

// The transform of a fixed ramp by a plan, to tell a sound plan from a
// broken one.
std::vector<double> rampSpectrum(const FftPlan* plan, std::int32_t n) {
    std::vector<double> x(n), re(n), im(n);
    for (std::int32_t i = 0; i < n; ++i) x[i] = 1.0 + 0.001 * i;
    EXPECT_EQ(cxFft(plan, x.data(), x.data(), re.data(), im.data(), 1, 1, n), kStatusOk);
    re.insert(re.end(), im.begin(), im.end());
    return re;
}

// Lengths with Rader stages (nested ones included: 2*53*53 shares a
// sub-plan, 1009 - 1 = 1008 = 16*63 has no Rader, 65537 - 1 = 2^16 has a
// long twiddle table) and a direct stage. The one allocation a build may
// do without is the gather buffer of a long transform run while it is
// built (the Rader kernel of 65537): then the plan must still be sound.
TEST_P(PlanAllocationFaults, FailedBuildReturnsNoPlanAndLeavesTheCacheUnchanged) {
    const std::int32_t n = GetParam();
    std::vector<double> expected;
    {
        auto clean = testing::makePlan(n);
        ASSERT_TRUE(clean);
        expected = rampSpectrum(clean.get(), n);
    }
    const std::int64_t total = testing::sweepAllocationFaults([&](bool expectFailure) {
        FftPlan* plan = fftPlanCreate(n);
        if (expectFailure && plan == nullptr) {
            EXPECT_EQ(planCacheSize(), 0);
        } else {
            ASSERT_NE(plan, nullptr);
            if (expectFailure) {
                scratch_testing::failAllocationAt(0);
                const std::vector<double> got = rampSpectrum(plan, n);
                const double scale = std::abs(expected[0]);  // the DC bin, the largest
                for (std::size_t i = 0; i < got.size(); ++i) ASSERT_NEAR(got[i], expected[i], 1e-13 * scale) << i;
            }
        }
        fftPlanRelease(plan);
    });
    EXPECT_GT(total, 2);
}

TEST_P(PlanAllocationFaults, CachedSubPlanSurvivesAFailedBuild) {
    const std::int32_t n = GetParam();
    if (n % 53 != 0) GTEST_SKIP() << "no sub-plan of 52";
    auto held = testing::makePlan(52);
    testing::sweepAllocationFaults([&](bool expectFailure) {
        FftPlan* plan = fftPlanCreate(n);
        if (expectFailure) EXPECT_EQ(plan, nullptr);
        fftPlanRelease(plan);
        EXPECT_EQ(held->refCount, 1);
        EXPECT_EQ(planCacheSize(), 1);
    });
}

INSTANTIATE_TEST_SUITE_P(RaderLengths, PlanAllocationFaults, ::testing::Values(53, 106, 2 * 53 * 53, 1009, 23 * 59, 65537));

class TransformAllocationFaults : public testing::PlanCacheTestWithParam<std::int32_t> {};

// Prime stages take scratch per call; a failure is reported, not ignored.
TEST_P(TransformAllocationFaults, ScratchFailureIsReported) {
    const std::int32_t n = GetParam();
    auto plan = testing::makePlan(n);
    ASSERT_TRUE(plan);
    const std::vector<double> x(n, 0.5);
    std::vector<double> a(n), b(n);
    const auto expectStatus = [](bool expectFailure, std::int32_t status) {
        EXPECT_EQ(status, expectFailure ? kStatusNoMemory : kStatusOk);
    };
    testing::sweepAllocationFaults([&](bool f) {
        expectStatus(f, cxFft(plan.get(), x.data(), x.data(), a.data(), b.data(), 1, 1, n));
    });
    testing::sweepAllocationFaults([&](bool f) {
        expectStatus(f, cxIfft(plan.get(), x.data(), x.data(), a.data(), b.data(), 1, 1, n));
    });
    testing::sweepAllocationFaults([&](bool f) { expectStatus(f, reFft(plan.get(), x.data(), a.data(), 1, 1, n)); });
    testing::sweepAllocationFaults([&](bool f) {
        std::vector<double> in = x;
        expectStatus(f, reIfft(plan.get(), in.data(), a.data(), 1, 1, n));
    });
}

INSTANTIATE_TEST_SUITE_P(ScratchLengths, TransformAllocationFaults,
                         ::testing::Values(23, 46, 47 * 4, 53, 106, 2 * 53 * 53, 59 * 61));

class GatherWithoutMemory : public testing::PlanCacheTestWithParam<std::int32_t> {};

// Long transforms copy their input into a gather buffer only to run
// faster: without memory for it they must still succeed, with the same
// result, so that callers that have written output already cannot be cut
// off half way.
TEST_P(GatherWithoutMemory, TransformSucceedsUnchanged) {
    const std::int32_t n = GetParam();
    auto plan = testing::makePlan(n);
    ASSERT_TRUE(plan);
    std::vector<double> x(n);
    for (std::int32_t i = 0; i < n; ++i) x[i] = std::sin(0.37 * i) + 0.25 * std::cos(1.9 * i);
    const auto run = [&](std::vector<double>& re, std::vector<double>& im, std::vector<double>& hc) {
        re.assign(n, 0.0);
        im.assign(n, 0.0);
        hc.assign(n, 0.0);
        EXPECT_EQ(cxFft(plan.get(), x.data(), x.data(), re.data(), im.data(), 1, 1, n), kStatusOk);
        EXPECT_EQ(reFft(plan.get(), x.data(), hc.data(), 1, 1, n), kStatusOk);
    };
    std::vector<double> re, im, hc, reBare, imBare, hcBare;
    scratch_testing::failAllocationAt(0);
    run(re, im, hc);
    ASSERT_EQ(scratch_testing::attemptedAllocations(), 2) << "one gather buffer per transform";
    const std::int64_t liveBefore = scratch_testing::liveBlocks();
    for (std::int64_t k = 1; k <= 2; ++k) {
        scratch_testing::failAllocationAt(k);  // each transform's gather buffer in turn
        run(reBare, imBare, hcBare);
        scratch_testing::failAllocationAt(0);
        EXPECT_EQ(scratch_testing::liveBlocks(), liveBefore);
        const double scale = std::sqrt(static_cast<double>(n));
        for (std::int32_t i = 0; i < n; ++i) {
            ASSERT_NEAR(reBare[i], re[i], 1e-13 * scale) << i;
            ASSERT_NEAR(imBare[i], im[i], 1e-13 * scale) << i;
            ASSERT_NEAR(hcBare[i], hc[i], 1e-13 * scale) << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(LongLengths, GatherWithoutMemory, ::testing::Values(1 << 15, 1 << 17, 3 << 14));

}  // namespace
}  // namespace varnel::fft
