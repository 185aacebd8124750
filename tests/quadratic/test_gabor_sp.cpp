// The Gabor spectrogram and its mean instantaneous frequency against
// direct evaluations of their closed forms (term products, periodic
// Gaussian kernels, plain circular sums) over orders, bands and
// refinements, and the order and argument rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>
#include <vector>

#include "quadratic/test_gabor_sp_oracle.h"
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

using testing::LC;
using testing::LD;
using testing::kPiL;

struct MifCase {
    int M, N, dM;
    double a;
    int order, K2;
};

std::ostream& operator<<(std::ostream& os, const MifCase& c) {
    return os << "M" << c.M << " N" << c.N << " dM" << c.dM << " a" << c.a << " order " << c.order << " K2 " << c.K2;
}

// Smoothed first moment and energy at fine times t < (M-1)*K2.
std::vector<LC> directMif(const std::vector<double>& coefs, const MifCase& c) {
    const int D = std::min(c.order, std::min(c.M, c.N) - 1);
    const int NT = testing::mifTimeLength(c.a, c.dM, c.M);
    const int T = (c.M - 1) * c.K2;
    std::vector<LC> num(T), den(T);  // the track is their quotient's real parts
    for (int dm = 0; dm <= D; ++dm)
        for (int dn = dm == 0 ? 0 : dm - D; dn <= D - dm; ++dn) {
            const LD g = std::exp(-static_cast<LD>(c.dM) * c.dM * dm * dm / (4 * c.a));
            const LD shift = -static_cast<LD>(dm) * c.dM / (2 * c.a);
            std::vector<LC> termNum(c.M), termDen(c.M), dc(c.M);
            for (int m = 0; m + dm < c.M; ++m) {
                LC sumN = 0, sumD = 0;
                for (int mid2 = 1; mid2 + std::abs(dn) <= c.N - 2; ++mid2) {
                    if ((mid2 - dn) % 2 != 0) continue;
                    const LC p = std::conj(testing::coefficient(coefs, c.N, m, (mid2 - dn) / 2)) *
                                 testing::coefficient(coefs, c.N, m + dm, (mid2 + dn) / 2);
                    sumD += p;
                    sumN += p * LC(mid2 * kPiL / c.N, shift);
                }
                const LC phase = g * std::polar(1.0L, (dm / 2.0L + m) * c.dM * dn * 2 * kPiL / c.N);
                termNum[m] = phase * sumN;
                termDen[m] = phase * sumD;
                dc[m] = g * (std::conj(testing::coefficient(coefs, c.N, m, 0)) * testing::coefficient(coefs, c.N, m + dm, 0)).real();
            }
            const std::vector<LC> kernel =
                testing::timeKernelTable(NT, c.dM, c.K2, c.a, 2 * kPiL * dn / c.N, (dm * c.dM) / 2);
            const LD weight = dm == 0 && dn == 0 ? 0.5L : 1.0L;
            for (int t = 0; t < T; ++t) {
                num[t] += weight * testing::circularTimeSum(termNum, c.M - dm, kernel, c.K2, t);
                den[t] += weight * testing::circularTimeSum(termDen, c.M - dm, kernel, c.K2, t);
                if (dn == 0) den[t] += 0.5L * weight * testing::circularTimeSum(dc, c.M - dm, kernel, c.K2, t);
            }
        }
    for (int t = 0; t < T; ++t) num[t] = {num[t].real(), den[t].real()};
    return num;
}

std::vector<double> runMif(const std::vector<double>& coefs, const MifCase& c) {
    std::vector<double> out(static_cast<std::size_t>(c.M - 1) * c.K2, -7.25);
    EXPECT_EQ(MIFOfGaborSp(coefs.data(), c.M, c.N, c.dM, c.a, c.order, c.K2, out.data()), kStatusOk);
    return out;
}

class MifClosedForm : public testing::PlanCacheTestWithParam<MifCase> {};

// The quotient is compared with an error budget that follows its
// sensitivity: relative to the largest energy over the local energy.
TEST_P(MifClosedForm, MatchesTheDirectSums) {
    const MifCase c = GetParam();
    const std::vector<double> coefs = testing::randomReals(2 * static_cast<std::size_t>(c.M) * c.N, 21u + c.order);
    const std::vector<double> got = runMif(coefs, c);
    const std::vector<LC> want = directMif(coefs, c);  // (numerator, denominator)
    LD largest = 0;
    for (const LC& w : want) largest = std::max(largest, std::abs(w.imag()));
    for (std::size_t t = 0; t < got.size(); ++t) {
        const LD quotient = want[t].real() / want[t].imag();
        const LD budget = 1e-11L * std::max<LD>(1, std::abs(quotient)) * largest / std::abs(want[t].imag());
        ASSERT_NEAR(got[t], static_cast<double>(quotient), static_cast<double>(budget)) << "t " << t;
    }
}

INSTANTIATE_TEST_SUITE_P(Lattices, MifClosedForm,
                         ::testing::Values(MifCase{8, 16, 4, 6.0, 0, 2}, MifCase{8, 16, 4, 6.0, 2, 2},
                                           MifCase{6, 8, 2, 20.0, 5, 3}, MifCase{5, 8, 8, 3.0, 100, 1},
                                           MifCase{9, 4, 1, 0.5, 3, 4}));

// With energy in one frequency row n only, order 0 sees a single atom
// frequency: the track is 2*pi*n/N at every instant.
TEST_F(MifClosedForm, SingleFrequencyRowGivesItsFrequency) {
    const int M = 10, N = 16;
    for (int n = 1; n < N / 2; n += 2) {
        for (int K2 : {1, 3}) {
            std::vector<double> coefs(2 * M * N, 0.0);
            const std::vector<double> row = testing::randomReals(2 * M, 40u + n);
            for (int m = 0; m < M; ++m) std::copy_n(&row[2 * m], 2, &coefs[2 * (m * N + n)]);
            const std::vector<double> out = runMif(coefs, {M, N, 4, 9.0, 0, K2});
            const double expected = 2 * M_PI * n / N;
            for (double v : out) ASSERT_NEAR(v, expected, 1e-13 * expected) << "n " << n << " K2 " << K2;
        }
    }
}

// Each case also breaks every later check, so only the order of the checks
// decides the status; empty outputs succeed. Nothing is written either way.
TEST_F(MifClosedForm, ChecksInOrderAndWritesNothing) {
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    const std::vector<double> coefs = testing::randomReals(2 * 4 * 8, 1u);
    const std::pair<GaborSpCase, std::int32_t> spectrogramCases[] = {
        {{0, 8, 3, -1.0, 0, -1, -1, 0, 0, 0}, 1},  {{4, 12, 3, -1.0, 0, -1, -1, 0, 0, 0}, 1},
        {{4, 0, 3, -1.0, 0, -1, -1, 0, 0, 0}, 1},  {{4, 8, 0, -1.0, 0, -1, -1, 0, 0, 0}, 29},
        {{4, 8, 2, nan, 0, -1, -1, 0, 0, 0}, 23},  {{4, 8, 2, 0.0, 0, 1, -1, 0, 0, 0}, 27},
        {{4, 8, 2, nan, 0, 1, -1, 0, 0, 0}, 27},   {{4, 8, 2, 3.0, 0, 1, -1, 1, -1, 0}, 31},
        {{4, 8, 2, 3.0, 0, 1, 1, -1, -1, 0}, 31},  {{4, 8, 2, 3.0, 0, 1, 1, 0, 0, 1}, 30},  // K1 = 0
        {{4, 8, 2, 3.0, 0, 1, 1, 2, -1, 1}, 30},   {{4, 8, 2, 3.0, 0, 1, 1, 2, 3, 0}, 30},
        {{4, 8, 2, 3.0, 0, 1, 1, 2, 3, 14}, 30},
        // Past the checks: an empty grid, and time axes that cannot exist.
        {{4, 8, 2, 3.0, 0, 1, 0, 2, 3, 13}, kStatusOk},
        {{4, 8, 2, inf, 0, 1, 1, 2, 3, 13}, kStatusNoMemory}, {{4, 8, 2, 1e300, 0, 1, 1, 2, 3, 13}, kStatusNoMemory},
    };
    const std::pair<MifCase, std::int32_t> mifCases[] = {
        {{0, 8, 3, -1.0, -1, -1}, 1},  {{4, 6, 3, -1.0, -1, -1}, 1}, {{4, 8, 3, 0.0, -1, -1}, 27},
        {{4, 8, 3, nan, -1, -1}, 27},  {{4, 8, 3, 2.0, -1, -1}, 29}, {{4, 8, 2, 2.0, -1, -1}, 23},
        {{4, 8, 2, 2.0, 1, -1}, 31},   {{4, 8, 2, inf, 1, 1}, kStatusNoMemory}, {{4, 8, 2, 1e300, 1, 1}, kStatusNoMemory},
        {{1, 8, 2, 3.0, 2, 4}, kStatusOk}, {{4, 8, 2, 3.0, 2, 0}, kStatusOk},  // M = 1, K2 = 0
    };
    std::vector<double> out(64, -7.25);
    for (const auto& [c, status] : spectrogramCases)
        EXPECT_EQ(CxGaborSp(coefs.data(), c.M, c.N, c.dM, c.a, c.lowOrder, c.highOrder, c.K2, c.K1, c.f0, c.nF, out.data()),
                  status) << c;
    for (const auto& [c, status] : mifCases)
        EXPECT_EQ(MIFOfGaborSp(coefs.data(), c.M, c.N, c.dM, c.a, c.order, c.K2, out.data()), status) << c;
    EXPECT_EQ(out, std::vector<double>(64, -7.25));
}

}  // namespace
}  // namespace varnel
