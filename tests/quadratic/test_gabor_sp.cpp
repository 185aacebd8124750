// Gabor spectrogram against a direct evaluation of its closed form (term
// products, periodic Gaussian kernels, plain circular sums), against the
// order-0 blob formula, and for the grid, band and order rules.
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
using testing::LC;
using testing::LD;
using testing::kPiL;

std::vector<double> runGaborSp(const std::vector<double>& coefs, const GaborSpCase& c, std::int32_t expected = 0) {
    std::vector<double> out(static_cast<std::size_t>(c.M) * c.K2 * c.nF, -7.25);
    EXPECT_EQ(CxGaborSp(coefs.data(), c.M, c.N, c.dM, c.a, c.lowOrder, c.highOrder, c.K2, c.K1, c.f0, c.nF, out.data()),
              expected);
    return out;
}

double maxAbs(const std::vector<double>& x) {
    double m = 0.0;
    for (double v : x) m = std::max(m, std::abs(v));
    return m;
}

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

// Order 0 is a sum of Gaussian blobs |C|^2 exp(-(t - m*dM)^2/a - a*(w - 2*pi*n/N)^2)
// times 2*dM^2/(N^3*K1), periodic in frequency and over NT lattice steps.
TEST_F(GaborSpClosedForm, OrderZeroIsASumOfNonNegativeBlobs) {
    for (const GaborSpCase c : {GaborSpCase{6, 8, 4, 5.0, 0, 0, 2, 3, 0, 24}, GaborSpCase{5, 16, 2, 12.0, 0, 0, 3, 1, 2, 9}}) {
        SCOPED_TRACE(::testing::Message() << c);
        const std::vector<double> coefs = testing::randomReals(2 * static_cast<std::size_t>(c.M) * c.N, 5u);
        const std::vector<double> got = runGaborSp(coefs, c);
        const int NT = testing::gaborSpTimeLength(c.a, c.dM, c.M);
        std::vector<double> want(got.size());
        for (int t = 0; t < c.M * c.K2; ++t)
            for (int f = 0; f < c.nF; ++f) {
                const LD omega = 2 * kPiL * (c.f0 + f) / (static_cast<LD>(c.N) * c.K1);
                LD sum = 0;
                for (int m = 0; m < c.M; ++m)
                    for (int n = 0; n < c.N; ++n) {
                        const LD energy = std::norm(testing::coefficient(coefs, c.N, m, n));
                        const LD time = static_cast<LD>(t) * c.dM / c.K2 - static_cast<LD>(m) * c.dM;
                        sum += energy * testing::periodicGaussian(omega - 2 * kPiL * n / c.N, 2 * kPiL, 1 / c.a, 0).real() *
                               testing::periodicGaussian(time, static_cast<LD>(NT) * c.dM, c.a, 0).real();
                    }
                want[t * c.nF + f] = static_cast<double>(2.0L * c.dM * c.dM / (c.N * c.N * c.N * c.K1) * sum);
            }
        expectClose(got, want, 1e-12);
        for (double v : got) EXPECT_GE(v, -1e-14 * maxAbs(want));
    }
}

// Coefficients of a linear chirp by direct Gabor analysis with the
// Gaussian window; higher orders add the cross terms that draw the
// smoothed energy toward the chirp's line.
TEST_F(GaborSpClosedForm, GrowingOrderSharpensAChirp) {
    const int M = 32, N = 32, dM = 4, K1 = 2, samples = M * dM;
    const double a = 16.0;
    std::vector<double> coefs(2 * M * N);
    for (int m = 0; m < M; ++m)
        for (int n = 0; n < N; ++n) {
            LC c = 0;
            for (int t = 0; t < samples; ++t) {
                const LD phase = 0.3L * kPiL * t + 0.4L * kPiL * t * t / (2.0L * samples);
                const LD u = t - static_cast<LD>(m) * dM;
                c += std::exp(-u * u / (2 * a)) * std::polar(1.0L, phase - 2 * kPiL * n * t / N);
            }
            coefs[2 * (m * N + n)] = static_cast<double>(c.real());
            coefs[2 * (m * N + n) + 1] = static_cast<double>(c.imag());
        }
    // Spread of each central time slice about its frequency centroid,
    // weighted by |S|, in fine bins; averaged over the slices.
    const auto spread = [&](int order) {
        const GaborSpCase c{M, N, dM, a, 0, order, 1, K1, 0, N * K1};
        const std::vector<double> s = runGaborSp(coefs, c);
        double total = 0.0;
        for (int t = M / 4; t < 3 * M / 4; ++t) {
            double w = 0.0, centroid = 0.0, second = 0.0;
            for (int f = 0; f < N; ++f) {  // the chirp stays below half the sampling rate
                const double v = std::abs(s[t * c.nF + f]);
                w += v;
                centroid += f * v;
            }
            centroid /= w;
            for (int f = 0; f < N; ++f) second += (f - centroid) * (f - centroid) * std::abs(s[t * c.nF + f]);
            total += std::sqrt(second / w);
        }
        return total / (M / 2);
    };
    // About 2.6, 2.1, 1.6, 1.4, 1.3 bins; cross terms with a wrong phase
    // stall near 1.7.
    std::vector<double> spreads;
    for (int order = 0; order <= 4; ++order) {
        spreads.push_back(spread(order));
        if (order > 0) EXPECT_LT(spreads[order], spreads[order - 1]) << "order " << order;
    }
    EXPECT_LT(spreads[4], 0.55 * spreads[0]);
}

// A band is a slice of the full fine grid; the unrefined grid is every K1-th
// bin and K2-th instant of the refined one (whose scale carries 1/K1).
TEST_F(GaborSpClosedForm, BandsAndRefinementAgreeWithTheFullGrid) {
    const int M = 7, N = 8, dM = 4, K1 = 2, K2 = 3;
    const std::vector<double> coefs = testing::randomReals(2 * M * N, 3u);
    const std::vector<double> full = runGaborSp(coefs, {M, N, dM, 7.0, 0, 2, K2, K1, 0, N * K1});
    const double tolerance = 1e-13 * maxAbs(full);
    const GaborSpCase band{M, N, dM, 7.0, 0, 2, K2, K1, 5, 9};
    const std::vector<double> part = runGaborSp(coefs, band);
    for (int t = 0; t < M * K2; ++t)
        for (int f = 0; f < band.nF; ++f) ASSERT_NEAR(part[t * band.nF + f], full[t * N * K1 + band.f0 + f], tolerance);
    const std::vector<double> coarse = runGaborSp(coefs, {M, N, dM, 7.0, 0, 2, 1, 1, 0, N});
    for (int t = 0; t < M; ++t)
        for (int f = 0; f < N; ++f) ASSERT_NEAR(coarse[t * N + f], K1 * full[(t * K2) * N * K1 + f * K1], tolerance);
}

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
        {{0, 8, 3, -1.0, 0, -1, -1, 0, 0, 0}, 1},
        {{4, 12, 3, -1.0, 0, -1, -1, 0, 0, 0}, 1},
        {{4, 0, 3, -1.0, 0, -1, -1, 0, 0, 0}, 1},
        {{4, -8, 3, -1.0, 0, -1, -1, 0, 0, 0}, 1},
        {{4, 8, 0, -1.0, 0, -1, -1, 0, 0, 0}, 29},
        {{4, 8, 6, -1.0, 0, -1, -1, 0, 0, 0}, 29},
        {{4, 8, 2, nan, 0, -1, -1, 0, 0, 0}, 23},
        {{4, 8, 2, 0.0, 0, 1, -1, 0, 0, 0}, 27},
        {{4, 8, 2, -2.0, 0, 1, -1, 0, 0, 0}, 27},
        {{4, 8, 2, nan, 0, 1, -1, 0, 0, 0}, 27},
        {{4, 8, 2, -inf, 0, 1, -1, 0, 0, 0}, 27},
        {{4, 8, 2, 3.0, 0, 1, -1, 1, -1, 0}, 31},
        {{4, 8, 2, 3.0, 0, 1, 1, -1, -1, 0}, 31},
        {{4, 8, 2, 3.0, 0, 1, 1, 0, 0, 1}, 30},  // K1 = 0
        {{4, 8, 2, 3.0, 0, 1, 1, 2, -1, 1}, 30},
        {{4, 8, 2, 3.0, 0, 1, 1, 2, 16, 1}, 30},
        {{4, 8, 2, 3.0, 0, 1, 1, 2, 3, 0}, 30},
        {{4, 8, 2, 3.0, 0, 1, 1, 2, 3, 14}, 30},
        // Past the checks: an empty grid, and time axes that cannot exist.
        {{4, 8, 2, 3.0, 0, 1, 0, 2, 3, 13}, kStatusOk},
        {{4, 8, 2, inf, 0, 1, 1, 2, 3, 13}, kStatusNoMemory},
        {{4, 8, 2, 1e300, 0, 1, 1, 2, 3, 13}, kStatusNoMemory},
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
