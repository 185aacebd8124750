// Hosts call the distributions and the adaptive and reassigned maps from
// several threads at once (the Python package's workers= does exactly
// that): the only state they share is the FFT plan cache. Each thread's results must equal those of a lone call,
// and the cache must be empty afterwards. Run under ThreadSanitizer by
// scripts/tsan.sh.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

#include "support/fft_fixtures.h"
#include "support/reference_dft.h"
#include "varnel.h"

namespace varnel {
namespace {

class QuadraticConcurrency : public testing::PlanCacheTest {};

// One call of each kind on its own signal; the lengths overlap between
// kinds so that threads share, create and release the same plans.
std::vector<std::function<std::vector<double>()>> calls(const std::vector<double>& x) {
    const auto n = static_cast<std::int32_t>(x.size() / 2);
    return {
        [&x, n] {
            std::vector<double> out(static_cast<std::size_t>(n / 4) * 64);
            EXPECT_EQ(WVD(x.data(), x.data() + n, n, 64, 4, 0, out.data()), kStatusOk);
            return out;
        },
        [&x, n] {
            std::vector<double> out(static_cast<std::size_t>(n / 4) * 32);
            EXPECT_EQ(WVD(x.data(), nullptr, n, 64, 4, 1, out.data()), kStatusOk);
            return out;
        },
        [&x, n] {
            std::vector<double> out(static_cast<std::size_t>(n / 4) * 32);
            EXPECT_EQ(CWD(x.data(), nullptr, n, 64, 4, 0.1, 0, out.data()), kStatusOk);
            return out;
        },
        [&x, n] {
            const std::vector<double> window(64, 0.125);
            const WindowSpec spec{window.data(), 64, 16, 64};
            std::vector<double> out(static_cast<std::size_t>((n - 64) / 16 + 1) * 32);
            EXPECT_EQ(ReReassignedSTFTSp(x.data(), n, &spec, out.data()), kStatusOk);
            return out;
        },
        [&x, n] {
            constexpr std::int32_t kTerms = 3;
            std::int32_t count = 0;
            double percent = 0.0;
            std::vector<double> coefs(2 * kTerms), residual(2 * static_cast<std::size_t>(n));
            std::vector<AdaptiveTerm> terms(kTerms);
            EXPECT_EQ(CxAdaptiveTransform(x.data(), n, 0, Symmetric, 64, 0.0, 0, kTerms, &count, &percent,
                                          coefs.data(), terms.data(), residual.data()),
                      kStatusOk);
            return residual;
        },
        [&x] {
            constexpr std::int32_t M = 8, N = 16, K = 2;
            std::vector<double> out(static_cast<std::size_t>(M) * K * N * K);
            EXPECT_EQ(CxGaborSp(x.data(), M, N, 4, 10.0, 0, 2, K, K, 0, N * K, out.data()), kStatusOk);
            return out;
        },
    };
}

TEST_F(QuadraticConcurrency, ThreadsGetTheResultsOfLoneCalls) {
    constexpr int kThreads = 4, kRounds = 3;
    const std::vector<double> x = testing::randomReals(2 * 256, 71);
    const auto work = calls(x);
    std::vector<std::vector<double>> expected;
    for (const auto& call : work) expected.push_back(call());

    std::vector<std::vector<std::vector<double>>> got(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < kRounds; ++round) {
                // Each thread starts at a different kind, so different plans
                // are created and released at the same moment.
                for (std::size_t i = 0; i < work.size(); ++i) got[t].push_back(work[(i + t) % work.size()]());
            }
        });
    }
    for (auto& thread : threads) thread.join();

    for (int t = 0; t < kThreads; ++t) {
        for (std::size_t k = 0; k < got[t].size(); ++k) {
            EXPECT_EQ(got[t][k], expected[(k + t) % work.size()]) << "thread " << t << ", call " << k;
        }
    }
}

}  // namespace
}  // namespace varnel
