#include <gtest/gtest.h>

#include <cfloat>
#include <vector>

#include "frame/next_pow2.h"
#include "support/reference_dft.h"
#include "varnel.h"

namespace {

using Vec = std::vector<double>;

// Hc holds r0 r1 .. r(n/2) then i((n-1)/2) .. i1 (hcBin reads it by that
// definition); the full spectrum is conjugate symmetric, reducing it back
// drops the imaginary parts of bins 0 and n/2, and every conversion pair
// is exact.
TEST(Layouts, ConversionsFollowConjugateSymmetryExactly) {
    for (int n : {1, 2, 3, 4, 5, 6, 7, 16, 33}) {
        Vec hc = varnel::testing::randomReals(n, 40 + n);
        // Reduction averages bins 1 and n-1: it must neither overflow nor
        // round (a/2 + b/2 loses an odd subnormal).
        if (n >= 3) hc[1] = DBL_MAX, hc[n - 1] = 3 * 4.94e-324;
        Vec cx(2 * n), re(n), im(n), back(n), cx2(2 * n);
        _Hc2Cx(hc.data(), cx.data(), n);
        _Hc2ReIm(hc.data(), re.data(), im.data(), n);
        for (int k = 0; k < n; ++k) {
            const auto want = varnel::testing::hcBin(hc.data(), n, k);
            EXPECT_TRUE(cx[2 * k] == want.real() && cx[2 * k + 1] == want.imag()) << n << " " << k;
            EXPECT_TRUE(re[k] == cx[2 * k] && im[k] == cx[2 * k + 1]) << n << " " << k;
        }
        _ReIm2Hc(re.data(), im.data(), back.data(), n);
        EXPECT_EQ(back, hc) << n;
        re.assign(n, -7.0), im.assign(n, -7.0);  // all written anew, the single bin of n = 1 too
        _Cx2ReIm(cx.data(), re.data(), im.data(), n);
        _ReIm2Cx(re.data(), im.data(), cx2.data(), n);
        EXPECT_EQ(cx2, cx) << n;
        cx[1] = 9;
        if (n % 2 == 0) cx[n + 1] = 8;
        _Cx2Hc(cx.data(), back.data(), n);
        EXPECT_EQ(back, hc) << n;
    }
}

TEST(Layouts, ReductionAveragesANonSymmetricSpectrum) {
    for (int n : {4, 5}) {
        Vec cx(2 * n, 0.0), hc(n), re(n), im(n), hc2(n);
        cx[2] = 1, cx[3] = 2;                          // bin 1
        cx[2 * (n - 1)] = 3, cx[2 * (n - 1) + 1] = 4;  // bin n-1
        _Cx2Hc(cx.data(), hc.data(), n);
        EXPECT_EQ(hc[1], 2) << n;
        EXPECT_EQ(hc[n - 1], -1) << n;
        _Cx2ReIm(cx.data(), re.data(), im.data(), n);
        _ReIm2Hc(re.data(), im.data(), hc2.data(), n);
        EXPECT_EQ(hc, hc2) << "split and interleaved reductions agree";
    }
}

TEST(Layouts, NonPositiveLengthWritesNothing) {
    const Vec in(8, 1.0);
    for (int n : {0, -1, -1000}) {
        Vec a(8, -3.0), b(8, -3.0), c(8, -3.0);
        _Hc2Cx(in.data(), a.data(), n);
        _Cx2Hc(in.data(), a.data(), n);
        _Cx2ReIm(in.data(), a.data(), b.data(), n);
        _ReIm2Cx(in.data(), in.data(), a.data(), n);
        _Hc2ReIm(in.data(), a.data(), b.data(), n);
        _ReIm2Hc(in.data(), in.data(), c.data(), n);
        EXPECT_TRUE(a == Vec(8, -3.0) && b == Vec(8, -3.0) && c == Vec(8, -3.0)) << n;
    }
}

TEST(NextPow2, SmallestPowerOfTwoNotBelow) {
    // 2^31 does not fit: 0.
    const int cases[][2] = {{0, 0}, {-7, 0}, {1, 1}, {2, 2}, {3, 4}, {5, 8}, {8, 8}, {1025, 2048},
                            {1 << 30, 1 << 30}, {(1 << 30) + 1, 0}};
    for (const auto& [n, want] : cases) EXPECT_EQ(varnel::nextPow2(n), want) << n;
}

}  // namespace
