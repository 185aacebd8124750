#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "fft/plan_record.h"
#include "fft/plan_cache.h"
#include "fft/unit_roots.h"
#include "frame/vector_paths.h"
#include "support/fft_fixtures.h"

namespace varnel::fft {
namespace {

using testing::planCacheSize;

class PlanCache : public testing::PlanCacheTest {};

// A length is built once and counted; a release from any place in the
// list keeps the other plans findable, and the last release frees it.
TEST_F(PlanCache, PlansAreSharedCountedAndReleasedInAnyOrder) {
    EXPECT_EQ(fftPlanCreate(0), nullptr);
    EXPECT_EQ(fftPlanCreate(-5), nullptr);
    fftPlanRelease(nullptr);  // ignored
    FftPlan* a = fftPlanCreate(8);
    FftPlan* b = fftPlanCreate(12);
    FftPlan* c = fftPlanCreate(20);
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ(fftPlanCreate(12), b);
    EXPECT_EQ(b->refCount, 2);
    fftPlanRelease(b);
    EXPECT_EQ(planCacheSize(), 3);
    fftPlanRelease(b);  // from the middle of the list
    fftPlanRelease(c);  // from its head
    EXPECT_EQ(planCacheSize(), 1);
    for (FftPlan* p = planCacheHead(); p && p->next; p = p->next) EXPECT_EQ(p->next->prev, p);
    EXPECT_EQ(fftPlanCreate(8), a);
    fftPlanRelease(a);
    fftPlanRelease(a);
}

TEST_F(PlanCache, TwiddlesAreAccurateOnLongStages) {
    setAvx2PathsEnabled(false);  // the vector kernels keep stage 0's twiddles factored
    auto plan = testing::makePlan(1 << 20);  // stage 0 has the longest twiddle table
    setAvx2PathsEnabled(true);
    ASSERT_TRUE(plan);
    const FftStage& stage = *plan->stages[0];
    const std::int64_t f = plan->factors[0], m = (1 << 20) / f;
    double worst = 0;
    for (std::int64_t k = 1; k < m; k += 97) {
        for (std::int64_t j = 1; j < f; ++j) {
            const long double angle = -6.283185307179586476925286766559005768L * (j * k) / (1 << 20);
            const std::int64_t e = (j - 1) * m + k;
            worst = std::max(worst, static_cast<double>(std::abs(stage.twRe[e] - std::cos(angle))));
            worst = std::max(worst, static_cast<double>(std::abs(stage.twIm[e] - std::sin(angle))));
        }
    }
    EXPECT_LT(worst, 3 * 2.3e-16) << "within 3 ulps of a unit-magnitude value";
}

// The roots on the eighths of the circle are exact (0, +-1) or correctly
// rounded (+-sqrt(1/2)), wherever they fall in a block of the table: a
// real signal's DC and Nyquist bins, say, then carry no imaginary rounding.
TEST(UnitRoots, TheEighthsAreExact) {
    const double half = std::sqrt(0.5);
    for (const auto [step, period] : {std::pair<std::int64_t, std::int64_t>{1, 1000}, {7, 4096}, {-3, 96}}) {
        std::vector<double> re(period), im(period);
        unitRoots(step, period, 0, period, re.data(), im.data(), 1);
        for (std::int64_t k = 0; k < period; ++k) {
            const std::int64_t eighths = ((step * k) % period + period) % period * 8;
            if (eighths % period != 0) continue;
            const double angle = -0.25 * std::acos(-1.0) * static_cast<double>(eighths / period);
            for (const auto& [got, want] : {std::pair{re[k], std::cos(angle)}, std::pair{im[k], std::sin(angle)}}) {
                const double exact = std::abs(want) < 0.5 ? 0.0 : std::abs(want) < 0.9 ? half : 1.0;
                EXPECT_EQ(got, std::copysign(exact, want)) << step << " " << period << " " << k;
            }
        }
    }
}

}  // namespace
}  // namespace varnel::fft
