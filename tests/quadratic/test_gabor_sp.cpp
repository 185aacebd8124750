// Gabor spectrogram against a direct evaluation of its closed form (term
// products, periodic Gaussian kernels, plain circular sums) over orders,
// bands and refinements, and the order, argument and allocation rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>
#include <vector>

#include "quadratic/test_gabor_sp_oracle.h"
#include "support/allocation_faults.h"
#include "support/fft_fixtures.h"
#include "support/reference_dft.h"
#include "varnel.h"

namespace varnel {
namespace {

using testing::GaborSpCase;

std::vector<double> runGaborSp(const std::vector<double>& coefs, const GaborSpCase& c, std::int32_t expected = 0) {
    std::vector<double> out(static_cast<std::size_t>(c.M) * c.K2 * c.nF, -7.25);
    EXPECT_EQ(CxGaborSp(coefs.data(), c.M, c.N, c.dM, c.a, c.lowOrder, c.highOrder, c.K2, c.K1, c.f0, c.nF, out.data()),
              expected);
    return out;
}

using testing::maxAbs;

void expectClose(const std::vector<double>& got, const std::vector<double>& want, double relative) {
    ASSERT_EQ(got.size(), want.size());
    const double tolerance = relative * maxAbs(want);
    ASSERT_GT(tolerance, 0.0);
    for (std::size_t i = 0; i < got.size(); ++i) ASSERT_NEAR(got[i], want[i], tolerance) << "element " << i;
}

class GaborSpClosedForm : public testing::PlanCacheTestWithParam<GaborSpCase> {};

TEST_P(GaborSpClosedForm, MatchesTheDirectTermSum) {
    const GaborSpCase c = GetParam();
    const std::vector<double> coefs = testing::randomReals(2 * static_cast<std::size_t>(c.M) * c.N, 11u + c.M);
    expectClose(runGaborSp(coefs, c), testing::directGaborSpectrogram(coefs, c), 1e-12);
}

INSTANTIATE_TEST_SUITE_P(
    Lattices, GaborSpClosedForm,
    ::testing::Values(GaborSpCase{8, 16, 4, 6.0, 0, 0, 2, 2, 0, 32},    // order 0 only
                      GaborSpCase{8, 16, 4, 6.0, 0, 2, 2, 2, 0, 32},    // both signs of dn
                      GaborSpCase{8, 16, 4, 6.0, 1, 2, 3, 2, 3, 20},    // band, lowest order 1
                      GaborSpCase{8, 16, 4, 6.0, 3, 1, 1, 2, 0, 32},    // lowOrder > highOrder: order 3 alone
                      GaborSpCase{1, 8, 2, 3.0, 0, 3, 3, 1, 0, 8},      // M = 1: dm = 0 terms only
                      GaborSpCase{6, 8, 2, 20.0, -4, 9, 1, 1, 0, 8},    // dn wraps past bin N-1
                      GaborSpCase{5, 4, 8, 2.5, 0, 3, 2, 3, 11, 1},     // last fine bin alone
                      GaborSpCase{6, 8, 2, 200.0, 0, 2, 2, 1, 0, 8},    // wide window, longer time axis
                      GaborSpCase{6, 8, 2, 1e-3, 0, 1, 2, 2, 0, 16}));  // kernel wider than the circle

TEST_F(GaborSpClosedForm, HighOrderIsLimitedToTheLattice) {
    const GaborSpCase limited{5, 4, 2, 3.0, 0, 3, 2, 2, 0, 8};
    const std::vector<double> coefs = testing::randomReals(2 * 5 * 4, 9u);
    const std::vector<double> want = runGaborSp(coefs, limited);
    for (int high : {4, 100, std::numeric_limits<int>::max()}) {
        GaborSpCase c = limited;
        c.highOrder = high;
        EXPECT_EQ(runGaborSp(coefs, c), want) << "highOrder " << high;
    }
}

// An order far beyond the lattice wraps around the frequency circle: with
// K2 = 1 and an even dM it is the same as its remainder modulo 2N (for
// orders above M - 1, so that every term keeps both signs). Mostly a check
// that no index or kernel bound overflows; the far offsets lose digits in
// their modulation phases.
TEST_F(GaborSpClosedForm, FarWrappedOrderMatchesItsRemainder) {
    const int M = 6, N = 8;
    const std::vector<double> coefs = testing::randomReals(2 * M * N, 4u);
    const int far = std::numeric_limits<int>::max();  // 15 modulo 16
    const std::vector<double> want = runGaborSp(coefs, {M, N, 2, 5.0, 15, 0, 1, 2, 0, 16});
    expectClose(runGaborSp(coefs, {M, N, 2, 5.0, far, 0, 1, 2, 0, 16}), want, 1e-5);
}

struct Rejected {
    GaborSpCase c;
    std::int32_t status;
};

// Each case also breaks every later check, so only the order of the checks
// decides the status; the output is never touched.
TEST_F(GaborSpClosedForm, ChecksInOrderAndWritesNothing) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const Rejected cases[] = {
        {{0, 8, 3, -1.0, 0, -1, -1, 0, 0, 0}, 1},  {{4, 12, 3, -1.0, 0, -1, -1, 0, 0, 0}, 1},
        {{4, 0, 3, -1.0, 0, -1, -1, 0, 0, 0}, 1},  {{4, -8, 3, -1.0, 0, -1, -1, 0, 0, 0}, 1},
        {{4, 8, 0, -1.0, 0, -1, -1, 0, 0, 0}, 29}, {{4, 8, 6, -1.0, 0, -1, -1, 0, 0, 0}, 29},
        {{4, 8, 2, nan, 0, -1, -1, 0, 0, 0}, 23},  {{4, 8, 2, 0.0, 0, 1, -1, 0, 0, 0}, 27},
        {{4, 8, 2, -2.0, 0, 1, -1, 0, 0, 0}, 27},  {{4, 8, 2, nan, 0, 1, -1, 0, 0, 0}, 27},
        {{4, 8, 2, -inf, 0, 1, -1, 0, 0, 0}, 27},  {{4, 8, 2, 3.0, 0, 1, -1, 1, -1, 0}, 31},
        {{4, 8, 2, 3.0, 0, 1, 1, -1, -1, 0}, 31},  {{4, 8, 2, 3.0, 0, 1, 1, 0, 0, 1}, 30},  // K1 = 0
        {{4, 8, 2, 3.0, 0, 1, 1, 2, -1, 1}, 30},  {{4, 8, 2, 3.0, 0, 1, 1, 2, 16, 1}, 30},
        {{4, 8, 2, 3.0, 0, 1, 1, 2, 3, 0}, 30},   {{4, 8, 2, 3.0, 0, 1, 1, 2, 3, 14}, 30},
        // Past the checks: an empty grid, and time axes that cannot exist.
        {{4, 8, 2, 3.0, 0, 1, 0, 2, 3, 13}, kStatusOk},
        {{4, 8, 2, inf, 0, 1, 1, 2, 3, 13}, kStatusNoMemory}, {{4, 8, 2, 1e300, 0, 1, 1, 2, 3, 13}, kStatusNoMemory},
    };
    const std::vector<double> coefs = testing::randomReals(2 * 4 * 8, 1u);
    for (const Rejected& r : cases) {
        SCOPED_TRACE(::testing::Message() << r.c);
        std::vector<double> out(64, -7.25);
        EXPECT_EQ(CxGaborSp(coefs.data(), r.c.M, r.c.N, r.c.dM, r.c.a, r.c.lowOrder, r.c.highOrder, r.c.K2, r.c.K1, r.c.f0,
                            r.c.nF, out.data()),
                  r.status);
        for (double v : out) ASSERT_EQ(v, -7.25);
    }
}

TEST_F(GaborSpClosedForm, FailedAllocationReturnsNoMemoryAndWritesNothing) {
    const GaborSpCase c{5, 8, 2, 4.0, 0, 2, 2, 2, 1, 12};
    const std::vector<double> coefs = testing::randomReals(2 * 5 * 8, 2u);
    const std::vector<double> clean = runGaborSp(coefs, c);
    const std::int64_t total = testing::sweepAllocationFaults([&](bool expectFailure) {
        std::vector<double> out(clean.size(), -7.25);
        const std::int32_t status = CxGaborSp(coefs.data(), c.M, c.N, c.dM, c.a, c.lowOrder, c.highOrder, c.K2, c.K1,
                                              c.f0, c.nF, out.data());
        if (expectFailure) {
            EXPECT_EQ(status, kStatusNoMemory);
            for (double v : out) ASSERT_EQ(v, -7.25);
        } else {
            EXPECT_EQ(status, kStatusOk);
            EXPECT_EQ(out, clean);
        }
    });
    EXPECT_GE(total, 7);
}

}  // namespace
}  // namespace varnel
