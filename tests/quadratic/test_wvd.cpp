// The order of the WVD, Cohen, CWD and CSD argument tests. (Values: the
// Python tests against the numpy reference; missing arrays and failing
// allocations: tests/frame.)
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <vector>

#include "frame/vector_paths.h"
#include "support/allocation_faults.h"
#include "support/fft_fixtures.h"
#include "support/reference_dft.h"
#include "varnel.h"

namespace varnel::testing {
namespace {

constexpr double kSentinel = -7777.5;

bool untouched(const std::vector<double>& out) {
    return std::all_of(out.begin(), out.end(), [](double v) { return v == kSentinel; });
}

using Preset = std::int32_t (*)(const double*, const double*, std::int32_t, std::int32_t, std::int32_t, double,
                                std::int32_t, double*);

class Distributions : public PlanCacheTest {};

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
    const std::vector<double> s = randomReals(40, 12);
    sweepAllocationFaults([&](bool expectFailure) {
        EXPECT_EQ(Cohen(s.data(), nullptr, 40, k, 8, 64, 64, 1, o),
                  expectFailure ? kStatusNoMemory : kStatusBadKernelSize);
        EXPECT_TRUE(untouched(out));
    });
}

// The Python tests hold the values against a numpy reference in the
// default build; the baseline build of the lag loops and kernels must give
// the same, for an odd number of slices (the last one has no partner) and
// lags reaching past both ends.
TEST_F(Distributions, BaselineBuildGivesTheSameDistribution) {
    const std::vector<double> re = randomReals(45, 3), im = randomReals(45, 4);
    for (const bool analytic : {true, false}) {
        for (const std::int32_t nFreq : {2, 4, 32, 128}) {
            std::vector<double> outs[2];
            for (const bool vectors : {false, true}) {
                setAvx2PathsEnabled(vectors);
                std::vector<double>& out = outs[vectors];
                out.assign(15 * static_cast<std::size_t>(nFreq), kSentinel);
                ASSERT_EQ(WVD(re.data(), analytic ? nullptr : im.data(), 45, nFreq, 3, analytic, out.data()),
                          kStatusOk);
            }
            setAvx2PathsEnabled(true);
            const double scale = *std::max_element(outs[1].begin(), outs[1].end());
            for (std::size_t i = 0; i < outs[0].size(); ++i)
                ASSERT_NEAR(outs[0][i], outs[1][i], 1e-14 * scale) << analytic << " " << nFreq << " " << i;
        }
    }
}

}  // namespace
}  // namespace varnel::testing
