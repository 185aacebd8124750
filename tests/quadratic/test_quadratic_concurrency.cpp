// Hosts call the distributions and the adaptive and reassigned maps from
// several threads at once (the Python package's workers= does exactly
// that): the only state they share is the FFT plan cache. Each thread's
// results must equal those of a lone call, and the cache must be empty
// afterwards. Run under ThreadSanitizer by scripts/tsan.sh.
#include <gtest/gtest.h>

#include <functional>
#include <thread>
#include <vector>

#include "support/fft_fixtures.h"
#include "support/reference_dft.h"
#include "varnel.h"

namespace varnel {
namespace {

using Vec = std::vector<double>;
class QuadraticConcurrency : public testing::PlanCacheTest {};

// One call of each kind; the lengths overlap between kinds so that threads
// share, create and release the same plans. Each thread starts at a
// different kind.
TEST_F(QuadraticConcurrency, ThreadsGetTheResultsOfLoneCalls) {
    constexpr std::int32_t n = 256;
    const Vec x = testing::randomReals(2 * n, 71), window(64, 0.125);
    const WindowSpec spec{window.data(), 64, 16, 64};
    const auto call = [](std::size_t size, auto run) {
        return [size, run] {
            Vec out(size);
            EXPECT_EQ(run(out.data()), kStatusOk);
            return out;
        };
    };
    const std::vector<std::function<Vec()>> work = {
        call(n / 4 * 64, [&](double* o) { return WVD(x.data(), x.data() + n, n, 64, 4, 0, o); }),
        call(n / 4 * 32, [&](double* o) { return WVD(x.data(), nullptr, n, 64, 4, 1, o); }),
        call(n / 4 * 32, [&](double* o) { return CWD(x.data(), nullptr, n, 64, 4, 0.1, 0, o); }),
        call((n - 64) / 16 * 32 + 32, [&](double* o) { return ReReassignedSTFTSp(x.data(), n, &spec, o); }),
        call(2 * n, [&](double* residual) {
            std::int32_t count = 0;
            double percent = 0, coefs[6];
            AdaptiveTerm terms[3];
            return CxAdaptiveTransform(x.data(), n, 0, Symmetric, 64, 0.0, 0, 3, &count, &percent, coefs, terms, residual);
        }),
        call(8 * 2 * 16 * 2, [&](double* o) { return CxGaborSp(x.data(), 8, 16, 4, 10.0, 0, 2, 2, 2, 0, 32, o); }),
    };
    std::vector<Vec> expected;
    for (const auto& run : work) expected.push_back(run());
    std::vector<std::vector<Vec>> got(4);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < got.size(); ++t)
        threads.emplace_back([&, t] {
            for (std::size_t i = 0; i < 3 * work.size(); ++i) got[t].push_back(work[(i + t) % work.size()]());
        });
    for (auto& thread : threads) thread.join();
    for (std::size_t t = 0; t < got.size(); ++t)
        for (std::size_t k = 0; k < got[t].size(); ++k)
            EXPECT_EQ(got[t][k], expected[(k + t) % work.size()]) << "thread " << t << ", call " << k;
}

}  // namespace
}  // namespace varnel
