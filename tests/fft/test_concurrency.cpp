// Several threads creating, executing and releasing plans of overlapping
// lengths at once. Run it under ThreadSanitizer (scripts/tsan.sh) to see
// races; here it checks the results and that the cache ends empty.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include "support/fft_fixtures.h"
#include "support/reference_dft.h"
#include "varnel.h"

namespace varnel::fft {
namespace {

// ifft(fft(x)) = x checks a whole transform pair cheaply.
bool roundTripOk(std::int32_t n, std::uint32_t seed) {
    FftPlan* plan = fftPlanCreate(n);
    if (!plan) return false;
    const auto re = testing::randomReals(n, seed), im = testing::randomReals(n, seed + 1);
    std::vector<double> fRe(n), fIm(n), bRe(n), bIm(n), hc(n), back(n);
    bool ok = cxFft(plan, re.data(), im.data(), fRe.data(), fIm.data(), 1, 1, n) == kStatusOk &&
              cxIfft(plan, fRe.data(), fIm.data(), bRe.data(), bIm.data(), 1, 1, n) == kStatusOk &&
              reFft(plan, re.data(), hc.data(), 1, 1, n) == kStatusOk &&
              reIfft(plan, hc.data(), back.data(), 1, 1, n) == kStatusOk;
    fftPlanRelease(plan);
    for (std::int32_t j = 0; ok && j < n; ++j)
        ok = std::abs(bRe[j] - re[j]) < 1e-13 && std::abs(bIm[j] - im[j]) < 1e-13 && std::abs(back[j] - re[j]) < 1e-13;
    return ok;
}

class Concurrency : public testing::PlanCacheTest {};

// Threads share plans and Rader sub-plans (106 and 2*53*53 both hold the
// plan of 52, which is also used on its own); while thread 0 holds
// 2*53*53, executions overlap on one plan.
TEST_F(Concurrency, ThreadsShareTheCacheSafely) {
    static constexpr std::int32_t kLengths[] = {52, 106, 64, 2 * 53 * 53, 1000, 47, 128, 53};
    auto held = testing::makePlan(2 * 53 * 53);
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &failures] {
            for (int round = 0; round < 60; ++round) {
                const std::int32_t n = t == 0 ? 2 * 53 * 53 : kLengths[(t * 3 + round) % std::size(kLengths)];
                if (!roundTripOk(n, static_cast<std::uint32_t>(t * 1000 + round))) ++failures;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(held->refCount, 1);
}

}  // namespace
}  // namespace varnel::fft
