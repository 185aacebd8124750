// WVD against the textbook evaluation of test_wvd_oracle.h, and the
// properties a caller relies on: where peaks lie, what the first slice is,
// empty outputs, the order of the argument tests and failing allocations.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>
#include <vector>

#include "support/allocation_faults.h"
#include "support/fft_fixtures.h"
#include "test_wvd_oracle.h"
#include "varnel.h"

namespace varnel::testing {
namespace {

// Relative to the largest value of the distribution: a few FFT roundings.
constexpr double kTolerance = 1e-13;

std::vector<double> runWvd(const TestSignal& s, std::int32_t nFreq, std::int32_t timeStep,
                           std::int32_t expected = kStatusOk) {
    std::vector<double> out = sentinelOutput(s, nFreq, timeStep);
    EXPECT_EQ(WVD(s.re.data(), s.imOrNull(), s.n(), nFreq, timeStep, s.analyticFlag(), out.data()), expected);
    return out;
}

class WvdOracle : public PlanCacheTestWithParam<std::tuple<std::int32_t, std::int32_t, std::int32_t>> {};

TEST_P(WvdOracle, MatchesDirectEvaluationInEveryMode) {
    const auto [n, nFreq, timeStep] = GetParam();
    for (Mode mode : kModes) {
        SCOPED_TRACE(modeName(mode));
        const TestSignal s = randomSignal(mode, n, 17 * n + nFreq);
        expectDistribution(wignerOracle(s, nFreq, timeStep), runWvd(s, nFreq, timeStep), kTolerance);
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, WvdOracle,
                         ::testing::Combine(::testing::Values(1, 2, 7, 64, 100), ::testing::Values(1, 2, 8, 32),
                                            ::testing::Values(1, 3, 5)));

class WvdProperties : public PlanCacheTest {};

// Index of the largest bin in [from, bins) of slice j.
std::int32_t peakBin(const std::vector<double>& w, std::int32_t bins, std::int32_t j, std::int32_t from = 0) {
    const auto slice = w.begin() + std::int64_t{j} * bins;
    return static_cast<std::int32_t>(std::max_element(slice + from, slice + bins) - slice);
}

// Whole periods in a power-of-two length make the analytic signal exactly
// (A/sqrt 2) exp(i w n): where all M lags lie inside the signal the slice
// is (2M - 1)/M * A^2/2 at the bin and -A^2/(2M) elsewhere (one ridge, no
// mirror). In real mode the two exponentials of the cosine also interfere
// at zero frequency, so the ridge is sought above bin 0.
TEST_F(WvdProperties, CosineRidgeAndAnalyticHeightOfHalfPower) {
    constexpr std::int32_t n = 256, nFreq = 64, bin = 7, m = nFreq / 2;
    constexpr double amplitude = 3.0, halfPower = amplitude * amplitude / 2;
    for (const Mode mode : {Mode::Real, Mode::Analytic}) {
        SCOPED_TRACE(modeName(mode));
        TestSignal s{std::vector<double>(n), {}, mode};
        for (std::int32_t i = 0; i < n; ++i) s.re[i] = amplitude * std::cos(2 * std::numbers::pi * bin * i / nFreq);
        const std::vector<double> w = runWvd(s, nFreq, 1);
        for (std::int32_t j = m; j < n - m; ++j) EXPECT_EQ(peakBin(w, m, j, mode == Mode::Real ? 1 : 0), bin);
        for (std::int32_t j = m - 1; mode == Mode::Analytic && j <= n - m; ++j)
            for (std::int32_t k = 0; k < m; ++k)
                ASSERT_NEAR(w[j * m + k], k == bin ? (2.0 * m - 1) / m * halfPower : -halfPower / m, 1e-12 * halfPower);
    }
}

TEST_F(WvdProperties, FirstSliceIsZeroLagOnlyAndOneBinIsInstantaneousPower) {
    for (const Mode mode : {Mode::Complex, Mode::Real}) {
        const TestSignal s = randomSignal(mode, 40, 3);
        const auto power = [&](std::size_t i) { return s.re[i] * s.re[i] + (s.im.empty() ? 0 : s.im[i] * s.im[i]); };
        const std::vector<double> w = runWvd(s, 16, 3);
        for (std::int32_t k = 0; k < s.bins(16); ++k) EXPECT_NEAR(w[k], power(0) / 16, 1e-15);
        if (mode != Mode::Complex) continue;
        const std::vector<double> single = runWvd(s, 1, 3);
        for (std::size_t j = 0; j < single.size(); ++j) EXPECT_NEAR(single[j], power(3 * j), 1e-14);
    }
}

// Empty outputs (T = 0, or B = 0 for a real signal with nFreq = 1) and
// failed tests leave out as it was.
TEST_F(WvdProperties, ArgumentTestsInOrderAndEmptyOutputsWriteNothing) {
    const std::vector<double> x(16, 1.0);
    std::vector<double> out(64, kSentinel);
    const double* re = x.data();
    double* o = out.data();
    const struct {
        const double* re;
        std::int32_t n, nFreq, timeStep, analytic;
        double* out;
        std::int32_t status;
    } cases[] = {
        {re, 0, 3, 0, 0, o, kStatusBadLength}, {re, -5, 8, 1, 0, o, kStatusBadLength},
        {re, 16, 0, 0, 0, o, kStatusBadBinCount}, {re, 16, 12, 0, 0, o, kStatusBadBinCount},
        {re, 16, -8, 1, 0, o, kStatusBadBinCount}, {re, 16, 8, 0, 0, o, kStatusBadDecimation},
        {re, 16, 8, -4, 0, o, kStatusBadDecimation}, {nullptr, 16, 8, 1, 0, o, kStatusBadLength},
        {re, 16, 8, 1, 0, nullptr, kStatusBadLength}, {re, 3, 8, 4, 0, o, kStatusOk},
        {re, 8, 1, 1, 0, o, kStatusOk}, {re, 8, 1, 1, 1, o, kStatusOk}, {nullptr, 8, 8, 9, 1, nullptr, kStatusOk},
        // Beyond 2^30 samples the padded length is no FFT length; nothing is read.
        {re, (1 << 30) + 1, 2, 1 << 30, 0, o, kStatusNoMemory},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WVD(c.re, nullptr, c.n, c.nFreq, c.timeStep, c.analytic, c.out), c.status) << c.n << " " << c.nFreq;
        if (c.nFreq != 1) EXPECT_EQ(WVD(c.re, re, c.n, c.nFreq, c.timeStep, 0, c.out), c.status);
    }
    EXPECT_TRUE(untouched(out));
}

TEST_F(WvdProperties, EveryFailedAllocationReportsNoMemoryWithoutLeaksOrOutput) {
    for (Mode mode : kModes) {
        SCOPED_TRACE(modeName(mode));
        const TestSignal s = randomSignal(mode, 50, 11);
        EXPECT_GE(sweepAllocationFaults([&](bool expectFailure) {
                      const std::vector<double> out = runWvd(s, 16, 2, expectFailure ? kStatusNoMemory : kStatusOk);
                      if (expectFailure) EXPECT_TRUE(untouched(out));
                  }),
                  4);
    }
}

}  // namespace
}  // namespace varnel::testing
