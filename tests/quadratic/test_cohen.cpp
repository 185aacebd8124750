// Cohen, CWD and CSD against the circular-convolution evaluation of
// test_wvd_oracle.h and against WVD, the kernel-width rules, the order of
// the argument tests and failing allocations.
#include <gtest/gtest.h>

#include <algorithm>
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

constexpr double kTolerance = 1e-13;  // relative to the largest value

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
                              double parameter, std::int32_t expected = kStatusOk) {
    std::vector<double> out = sentinelOutput(s, nFreq, timeStep);
    EXPECT_EQ(preset(s.re.data(), s.imOrNull(), s.n(), nFreq, timeStep, parameter, s.analyticFlag(), out.data()),
              expected);
    return out;
}

void expectClose(const std::vector<double>& want, const std::vector<double>& got) {
    ASSERT_EQ(want.size(), got.size());
    double scale = 0;
    for (double v : want) scale = std::max(scale, std::fabs(v));
    for (std::size_t i = 0; i < want.size(); ++i) ASSERT_NEAR(got[i], want[i], kTolerance * scale) << i;
}

// (N, nFreq, timeStep); kernelWidth = nextPow2(floor(N/timeStep)*timeStep) is at least N.
using Sizes = std::tuple<std::int32_t, std::int32_t, std::int32_t>;
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

class CohenFamily : public PlanCacheTest {};

// Ones, and the Choi-Williams kernel for sigma <= 0, leave the table as it is.
TEST_F(CohenFamily, UnitKernelsGiveTheWignerVilleDistribution) {
    for (const auto [n, nFreq, timeStep] : {Sizes{64, 16, 4}, Sizes{100, 32, 1}, Sizes{37, 8, 2}}) {
        for (Mode mode : kModes) {
            SCOPED_TRACE(::testing::Message() << modeName(mode) << " N=" << n);
            const TestSignal s = randomSignal(mode, n, 3 * n);
            std::vector<double> wvd = sentinelOutput(s, nFreq, timeStep);
            ASSERT_EQ(WVD(s.re.data(), s.imOrNull(), n, nFreq, timeStep, s.analyticFlag(), wvd.data()), kStatusOk);
            const std::int32_t width = powerOfTwoAtLeast(n);
            expectClose(wvd, runCohen(s, std::vector<double>(std::size_t(nFreq) * width, 1.0), nFreq, width, timeStep));
            expectClose(wvd, runPreset(CWD, s, nFreq, timeStep, 0.0));
            expectClose(wvd, runPreset(CWD, s, nFreq, timeStep, -2.5));
        }
    }
}

// The presets equal Cohen with their tables written from the formulas.
TEST_F(CohenFamily, PresetsAreCohenWithTheirKernelTables) {
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
    }
}

// A kernel whose zero-lag row is all ones (as the cone's is) and whose other
// rows are zero leaves only r_j[0] = |x(j timeStep)|^2, in every bin
// divided by M.
TEST_F(CohenFamily, ZeroLagRowOfOnesPassesTheZeroLagUnchanged) {
    constexpr std::int32_t n = 64, nFreq = 16, timeStep = 4;
    std::vector<double> kernel(nFreq * n, 0.0);
    std::fill(kernel.begin(), kernel.begin() + n, 1.0);
    for (Mode mode : {Mode::Complex, Mode::Real}) {
        const TestSignal s = randomSignal(mode, n, 8);
        const std::vector<double> w = runCohen(s, kernel, nFreq, n, timeStep);
        const std::int32_t bins = s.bins(nFreq);
        for (std::int32_t j = 0; j < n / timeStep; ++j) {
            const double x = s.re[j * timeStep], y = mode == Mode::Complex ? s.im[j * timeStep] : 0.0;
            for (std::int32_t k = 0; k < bins; ++k) ASSERT_NEAR(w[j * bins + k], (x * x + y * y) / nFreq, 1e-15);
        }
    }
}

TEST_F(CohenFamily, ArgumentTestsInOrderWriteNothing) {
    const std::vector<double> x(256, 1.0), kernel(64 * 64, 1.0);
    std::vector<double> out(64 * 64, kSentinel);
    const double *re = x.data(), *k = kernel.data();
    const struct {
        const double *re, *kernel;
        std::int32_t n, nFreq, width, timeStep, status;
    } cohenCases[] = {
        {re, k, 0, 3, 3, 3, kStatusBadLength},        {re, k, 16, 0, 3, 3, kStatusBadKernelSize},
        {re, k, 16, 6, 3, 3, kStatusBadKernelSize},   {re, k, 16, 8, 0, 3, kStatusBadKernelSize},
        {re, k, 16, 8, 24, 3, kStatusBadKernelSize},  {re, k, 16, 8, 8, 3, kStatusBadKernelSize},
        {re, k, 16, 8, 16, 3, kStatusBadDecimation},  {re, k, 16, 8, 16, 0, kStatusBadDecimation},
        {nullptr, k, 16, 8, 16, 1, kStatusBadLength}, {re, nullptr, 16, 8, 16, 1, kStatusBadKernelSize},
        {re, k, 30, 8, 64, 2, kStatusBadKernelSize},  // the slices need a width of 32
        {re, k, 16, 8, 16, 32, kStatusBadKernelSize},  // T = 0
    };
    for (const auto& c : cohenCases)
        EXPECT_EQ(Cohen(c.re, re, c.n, c.kernel, c.nFreq, c.width, c.timeStep, 0, out.data()), c.status) << c.n;
    const struct {
        std::int32_t n, nFreq, timeStep, status;
    } presetCases[] = {
        {0, 3, 0, kStatusBadLength},       {16, 3, 0, kStatusBadDecimation},   {16, 3, 6, kStatusBadDecimation},
        {16, 12, 2, kStatusBadBinCount},   {16, -8, 2, kStatusBadBinCount},    {16, 0, 2, kStatusBadKernelSize},
        {16, INT_MIN, 2, kStatusBadKernelSize}, {3, 8, 4, kStatusBadKernelSize},  // N < timeStep
        // floor(129/4)*4 = 128 is not more than half of nextPow2(129) = 256.
        {129, 8, 4, kStatusBadKernelSize},
    };
    // A signal longer than any table: the output is placed before the
    // signal, so that the 8 GB the signal claims cannot overlap it whatever
    // the heap's layout.
    std::vector<double> outThenSignal(64 * 64 + 256, kSentinel);
    for (Preset preset : {CWD, CSD}) {
        for (const auto& c : presetCases)
            EXPECT_EQ(preset(re, nullptr, c.n, c.nFreq, c.timeStep, 1.0, 1, out.data()), c.status) << c.n;
        EXPECT_EQ(preset(outThenSignal.data() + 64 * 64, nullptr, (1 << 30) + 1, 8, 1 << 30, 1.0, 1,
                         outThenSignal.data()),
                  kStatusNoMemory);
        EXPECT_EQ(preset(re, re, 16, 8, 2, 1.0, 0, nullptr), kStatusBadLength);
        EXPECT_FALSE(untouched(runPreset(preset, randomSignal(Mode::Real, 128, 1), 8, 4, 0.1)));
    }
    EXPECT_TRUE(untouched(out));
}

TEST_F(CohenFamily, EveryFailedAllocationReportsNoMemoryWithoutLeaksOrOutput) {
    constexpr std::int32_t n = 40, nFreq = 8, timeStep = 2, width = 64;
    const std::vector<double> kernel = randomReals(nFreq * width, 5);
    for (Mode mode : kModes) {
        SCOPED_TRACE(modeName(mode));
        const TestSignal s = randomSignal(mode, n, 12);
        const auto sweep = [&](std::int32_t cleanStatus, auto run) {
            EXPECT_GE(sweepAllocationFaults([&](bool expectFailure) {
                          const std::int32_t status = expectFailure ? std::int32_t{kStatusNoMemory} : cleanStatus;
                          const std::vector<double> out = run(status);
                          if (expectFailure) EXPECT_TRUE(untouched(out));
                      }),
                      3);
        };
        sweep(kStatusOk, [&](std::int32_t st) { return runCohen(s, kernel, nFreq, width, timeStep, st); });
        // The width test comes after the signal preparation's allocations.
        sweep(kStatusBadKernelSize, [&](std::int32_t st) { return runCohen(s, kernel, nFreq, width, 64, st); });
        sweep(kStatusOk, [&](std::int32_t st) { return runPreset(CWD, s, nFreq, timeStep, 0.5, st); });
        sweep(kStatusOk, [&](std::int32_t st) { return runPreset(CSD, s, nFreq, timeStep, 0.5, st); });
    }
}

}  // namespace
}  // namespace varnel::testing
