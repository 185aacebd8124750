// WVD, Cohen, CWD and CSD against the textbook evaluations of
// test_wvd_oracle.h, and the order of the argument tests. (Missing arrays and failing allocations: tests/frame.)
#include <gtest/gtest.h>

#include <climits>
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

std::vector<double> runWvd(const TestSignal& s, std::int32_t nFreq, std::int32_t timeStep) {
    std::vector<double> out = sentinelOutput(s, nFreq, timeStep);
    EXPECT_EQ(WVD(s.re.data(), s.imOrNull(), s.n(), nFreq, timeStep, s.analyticFlag(), out.data()), kStatusOk);
    return out;
}

std::vector<double> runCohen(const TestSignal& s, const std::vector<double>& kernel, std::int32_t nFreq,
                             std::int32_t width, std::int32_t timeStep, std::int32_t expected = kStatusOk) {
    std::vector<double> out = sentinelOutput(s, nFreq, timeStep);
    EXPECT_EQ(Cohen(s.re.data(), s.imOrNull(), s.n(), kernel.data(), nFreq, width, timeStep, s.analyticFlag(),
                    out.data()),
              expected);
    return out;
}

using Preset = std::int32_t (*)(const double*, const double*, std::int32_t, std::int32_t, std::int32_t, double,
                                std::int32_t, double*);

std::vector<double> runPreset(Preset preset, const TestSignal& s, std::int32_t nFreq, std::int32_t timeStep,
                              double parameter) {
    std::vector<double> out = sentinelOutput(s, nFreq, timeStep);
    EXPECT_EQ(preset(s.re.data(), s.imOrNull(), s.n(), nFreq, timeStep, parameter, s.analyticFlag(), out.data()),
              kStatusOk);
    return out;
}

void expectClose(const std::vector<double>& want, const std::vector<double>& got) {
    ASSERT_EQ(want.size(), got.size());
    const double scale = maxAbs(want);
    for (std::size_t i = 0; i < want.size(); ++i) ASSERT_NEAR(got[i], want[i], kTolerance * scale) << i;
}

using Sizes = std::tuple<std::int32_t, std::int32_t, std::int32_t>;  // (N, nFreq, timeStep)
class WvdOracle : public PlanCacheTestWithParam<Sizes> {};

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

// kernelWidth = nextPow2(floor(N/timeStep)*timeStep) is at least N.
class CohenOracle : public PlanCacheTestWithParam<Sizes> {};

TEST_P(CohenOracle, RandomKernelMatchesCircularSmoothingInEveryMode) {
    const auto [n, nFreq, timeStep] = GetParam();
    const std::int32_t width = powerOfTwoAtLeast(n / timeStep * timeStep);
    const std::vector<double> kernel = randomReals(static_cast<std::size_t>(nFreq) * width, 99 + n);
    for (Mode mode : kModes) {
        SCOPED_TRACE(modeName(mode));
        const TestSignal s = randomSignal(mode, n, 7 * n + timeStep);
        expectDistribution(cohenOracle(s, kernel, nFreq, width, timeStep), runCohen(s, kernel, nFreq, width, timeStep),
                           kTolerance);
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, CohenOracle,
                         ::testing::Values(Sizes{1, 2, 1}, Sizes{5, 8, 1}, Sizes{16, 8, 2}, Sizes{60, 16, 4},
                                           Sizes{100, 8, 8}, Sizes{64, 32, 1}));

class Distributions : public PlanCacheTest {};

// The presets are Cohen with their tables written from the formulas, and
// Choi-Williams with sigma <= 0 (like a kernel of ones) is the WVD.
TEST_F(Distributions, PresetsAreCohenWithTheirKernelTables) {
    constexpr std::int32_t n = 48, nFreq = 16, timeStep = 2, width = 64;
    const auto table = [&](auto value) {
        std::vector<double> k(nFreq * width);
        for (std::int32_t r = 0; r < nFreq; ++r)
            for (std::int32_t c = 0; c < width; ++c) k[r * width + c] = static_cast<double>(value(r, c - width / 2));
        return k;
    };
    const double sigma = 0.003, alpha = 0.01;
    const auto choiWilliams = table([&](long double r, long double d) { return std::exp(-sigma * r * r * d * d); });
    const auto cone = table([&](long double r, long double d) {
        const long double x = d * r * std::numbers::pi_v<long double> / width;
        return std::exp(-alpha * r * r) * (x == 0 ? 1.0L : std::sin(x) / x);
    });
    for (Mode mode : kModes) {
        SCOPED_TRACE(modeName(mode));
        const TestSignal s = randomSignal(mode, n, 21);
        expectClose(runCohen(s, choiWilliams, nFreq, width, timeStep), runPreset(CWD, s, nFreq, timeStep, sigma));
        expectClose(runCohen(s, cone, nFreq, width, timeStep), runPreset(CSD, s, nFreq, timeStep, alpha));
        const std::vector<double> wvd = runWvd(s, nFreq, timeStep);
        expectClose(wvd, runCohen(s, std::vector<double>(nFreq * width, 1.0), nFreq, width, timeStep));
        for (const double nonPositive : {0.0, -2.5}) expectClose(wvd, runPreset(CWD, s, nFreq, timeStep, nonPositive));
    }
}

// Each row fails one test, or two where their order decides; empty outputs
// (T = 0, or B = 0 for a real signal with nFreq = 1) succeed. Nothing is
// written either way.
TEST_F(Distributions, ArgumentTestsInOrderWriteNothing) {
    const std::vector<double> x(256, 1.0), kernel(64 * 64, 1.0);
    std::vector<double> out(64 * 64, kSentinel);
    const double *re = x.data(), *k = kernel.data();
    double* o = out.data();
    const struct {
        const double* re;
        std::int32_t n, nFreq, timeStep, analytic;
        double* out;
        std::int32_t status;
    } wvdCases[] = {
        {re, 0, 3, 0, 0, o, kStatusBadLength},        {re, 16, 0, 0, 0, o, kStatusBadBinCount},
        {re, 16, 12, 0, 0, o, kStatusBadBinCount},    {re, 16, -8, 1, 0, o, kStatusBadBinCount},
        {re, 16, 8, 0, 0, o, kStatusBadDecimation},   {nullptr, 16, 8, 1, 0, o, kStatusBadLength},
        {re, 3, 8, 4, 0, o, kStatusOk},               {re, 8, 1, 1, 0, o, kStatusOk},
        {re, 8, 1, 1, 1, o, kStatusOk},               {nullptr, 8, 8, 9, 1, nullptr, kStatusOk},
    };
    for (const auto& c : wvdCases) {
        EXPECT_EQ(WVD(c.re, nullptr, c.n, c.nFreq, c.timeStep, c.analytic, c.out), c.status) << c.n << " " << c.nFreq;
        if (c.nFreq != 1) EXPECT_EQ(WVD(c.re, re, c.n, c.nFreq, c.timeStep, 0, c.out), c.status);
    }
    const struct {
        const double *re, *kernel;
        std::int32_t n, nFreq, width, timeStep, status;
    } cohenCases[] = {
        {re, k, 0, 3, 3, 3, kStatusBadLength},        {re, k, 16, 6, 3, 3, kStatusBadKernelSize},
        {re, k, 16, 8, 24, 3, kStatusBadKernelSize},  {re, k, 16, 8, 8, 3, kStatusBadKernelSize},
        {re, k, 16, 8, 16, 3, kStatusBadDecimation},  {nullptr, k, 16, 8, 16, 1, kStatusBadLength},
        {re, nullptr, 16, 8, 16, 1, kStatusBadKernelSize},
        {re, k, 30, 8, 64, 2, kStatusBadKernelSize},  // the slices need a width of 32
        {re, k, 16, 8, 16, 32, kStatusBadKernelSize},  // T = 0
    };
    for (const auto& c : cohenCases)
        EXPECT_EQ(Cohen(c.re, re, c.n, c.kernel, c.nFreq, c.width, c.timeStep, 0, o), c.status) << c.n;
    const struct {
        std::int32_t n, nFreq, timeStep, status;
    } presetCases[] = {
        {0, 3, 0, kStatusBadLength},       {16, 3, 0, kStatusBadDecimation},   {16, 3, 6, kStatusBadDecimation},
        {16, 12, 2, kStatusBadBinCount},   {16, -8, 2, kStatusBadBinCount},    {16, 0, 2, kStatusBadKernelSize},
        {16, INT_MIN, 2, kStatusBadKernelSize}, {3, 8, 4, kStatusBadKernelSize},  // N < timeStep
        // floor(129/4)*4 = 128 is not more than half of nextPow2(129) = 256.
        {129, 8, 4, kStatusBadKernelSize},
    };
    // Beyond 2^30 samples the padded length is no FFT length; nothing is
    // read. The output is placed before the signal, so that the 8 GB the
    // signal claims cannot overlap it whatever the heap's layout.
    std::vector<double> outThenSignal(64 * 64 + 256, kSentinel);
    EXPECT_EQ(WVD(outThenSignal.data() + 64 * 64, nullptr, (1 << 30) + 1, 2, 1 << 30, 0, outThenSignal.data()),
              kStatusNoMemory);
    for (Preset preset : {CWD, CSD}) {
        for (const auto& c : presetCases)
            EXPECT_EQ(preset(re, nullptr, c.n, c.nFreq, c.timeStep, 1.0, 1, o), c.status) << c.n;
        EXPECT_EQ(preset(outThenSignal.data() + 64 * 64, nullptr, (1 << 30) + 1, 8, 1 << 30, 1.0, 1,
                         outThenSignal.data()),
                  kStatusNoMemory);
    }
    EXPECT_TRUE(untouched(out));
    // The width test comes after the signal preparation's allocations.
    const TestSignal s = randomSignal(Mode::Analytic, 40, 12);
    sweepAllocationFaults([&](bool expectFailure) {
        EXPECT_TRUE(untouched(runCohen(s, kernel, 8, 64, 64, expectFailure ? kStatusNoMemory : kStatusBadKernelSize)));
    });
}

}  // namespace
}  // namespace varnel::testing
