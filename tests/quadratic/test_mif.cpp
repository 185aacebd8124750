// Mean instantaneous frequency against a direct evaluation of its sums:
// the atom pairs enumerated by their midpoint (strictly above zero, the
// upper atom below half the sampling rate), the directly sampled time
// kernel and plain circular time sums.
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

struct Track {
    std::vector<LD> numerator, denominator;
};

// Smoothed first moment and energy at fine times t < (M-1)*K2.
Track directMif(const std::vector<double>& coefs, const MifCase& c) {
    const int D = std::min(c.order, std::min(c.M, c.N) - 1);
    const int NT = testing::mifTimeLength(c.a, c.dM, c.M);
    const int T = (c.M - 1) * c.K2;
    std::vector<LC> num(T), den(T);
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
    Track track;
    for (int t = 0; t < T; ++t) {
        track.numerator.push_back(num[t].real());
        track.denominator.push_back(den[t].real());
    }
    return track;
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
    const Track want = directMif(coefs, c);
    LD largest = 0;
    for (LD d : want.denominator) largest = std::max(largest, std::abs(d));
    for (std::size_t t = 0; t < got.size(); ++t) {
        const LD quotient = want.numerator[t] / want.denominator[t];
        const LD budget = 1e-11L * std::max<LD>(1, std::abs(quotient)) * largest / std::abs(want.denominator[t]);
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
            for (int m = 0; m < M; ++m) {
                coefs[2 * (m * N + n)] = row[2 * m];
                coefs[2 * (m * N + n) + 1] = row[2 * m + 1];
            }
            const std::vector<double> out = runMif(coefs, {M, N, 4, 9.0, 0, K2});
            const double expected = 2 * M_PI * n / N;
            for (double v : out) ASSERT_NEAR(v, expected, 1e-13 * expected) << "n " << n << " K2 " << K2;
        }
    }
}

TEST_F(MifClosedForm, EmptyOutputsWriteNothing) {
    const std::vector<double> coefs = testing::randomReals(2 * 4 * 8, 1u);
    double out[4] = {-7.25, -7.25, -7.25, -7.25};
    EXPECT_EQ(MIFOfGaborSp(coefs.data(), 1, 8, 2, 3.0, 2, 4, out), kStatusOk);  // M = 1
    EXPECT_EQ(MIFOfGaborSp(coefs.data(), 4, 8, 2, 3.0, 2, 0, out), kStatusOk);  // K2 = 0
    for (double v : out) EXPECT_EQ(v, -7.25);
}

struct Rejected {
    MifCase c;
    std::int32_t status;
};

TEST_F(MifClosedForm, ChecksInOrderAndWritesNothing) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    // Each case also breaks every later check.
    const Rejected cases[] = {
        {{0, 8, 3, -1.0, -1, -1}, 1},           {{4, 6, 3, -1.0, -1, -1}, 1},
        {{4, 0, 3, -1.0, -1, -1}, 1},           {{4, 8, 3, 0.0, -1, -1}, 27},
        {{4, 8, 3, nan, -1, -1}, 27},           {{4, 8, 3, -inf, -1, -1}, 27},
        {{4, 8, 3, 2.0, -1, -1}, 29},           {{4, 8, 0, 2.0, -1, -1}, 29},
        {{4, 8, 2, 2.0, -1, -1}, 23},           {{4, 8, 2, 2.0, 1, -1}, 31},
        {{4, 8, 2, inf, 1, 1}, kStatusNoMemory}, {{4, 8, 2, 1e300, 1, 1}, kStatusNoMemory},
    };
    const std::vector<double> coefs = testing::randomReals(2 * 4 * 8, 1u);
    for (const Rejected& r : cases) {
        SCOPED_TRACE(::testing::Message() << r.c);
        std::vector<double> out(8, -7.25);
        EXPECT_EQ(MIFOfGaborSp(coefs.data(), r.c.M, r.c.N, r.c.dM, r.c.a, r.c.order, r.c.K2, out.data()), r.status);
        for (double v : out) ASSERT_EQ(v, -7.25);
    }
}

TEST_F(MifClosedForm, FailedAllocationReturnsNoMemoryAndWritesNothing) {
    const MifCase c{6, 8, 2, 4.0, 2, 3};
    const std::vector<double> coefs = testing::randomReals(2 * 6 * 8, 2u);
    const std::vector<double> clean = runMif(coefs, c);
    const std::int64_t total = testing::sweepAllocationFaults([&](bool expectFailure) {
        std::vector<double> out(clean.size(), -7.25);
        const std::int32_t status = MIFOfGaborSp(coefs.data(), c.M, c.N, c.dM, c.a, c.order, c.K2, out.data());
        if (expectFailure) {
            EXPECT_EQ(status, kStatusNoMemory);
            for (double v : out) ASSERT_EQ(v, -7.25);
        } else {
            EXPECT_EQ(status, kStatusOk);
            EXPECT_EQ(out, clean);
        }
    });
    EXPECT_GE(total, 4);
}

}  // namespace
}  // namespace varnel
