#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "frame/next_pow2.h"
#include "varnel.h"

namespace {

using Vec = std::vector<double>;

TEST(Layouts, LengthOneAndTwo) {
    double cx[4] = {-1, -1, -1, -1};
    const double hc1[1] = {7};
    _Hc2Cx(hc1, cx, 1);
    EXPECT_EQ(Vec(cx, cx + 2), (Vec{7, 0}));
    double hcOut[2] = {-1, -1};
    const double cx1[2] = {3, 9};
    _Cx2Hc(cx1, hcOut, 1);
    EXPECT_EQ(hcOut[0], 3);

    const double hc2[2] = {4, 5};
    _Hc2Cx(hc2, cx, 2);
    EXPECT_EQ(Vec(cx, cx + 4), (Vec{4, 0, 5, 0}));
    const double cx2[4] = {4, 8, 5, 9};
    _Cx2Hc(cx2, hcOut, 2);
    EXPECT_EQ(Vec(hcOut, hcOut + 2), (Vec{4, 5}));
}

TEST(Layouts, OddLengthExpandsByConjugateSymmetry) {
    const Vec hc = {1, 2, 3, 4, 5};  // r0 r1 r2 i2 i1
    Vec cx(10), re(5), im(5), back(5);
    _Hc2Cx(hc.data(), cx.data(), 5);
    EXPECT_EQ(cx, (Vec{1, 0, 2, 5, 3, 4, 3, -4, 2, -5}));
    _Hc2ReIm(hc.data(), re.data(), im.data(), 5);
    EXPECT_EQ(re, (Vec{1, 2, 3, 3, 2}));
    EXPECT_EQ(im, (Vec{0, 5, 4, -4, -5}));
    _ReIm2Hc(re.data(), im.data(), back.data(), 5);
    EXPECT_EQ(back, hc);
}

TEST(Layouts, ReductionAveragesANonSymmetricSpectrum) {
    for (int n : {4, 5}) {
        Vec cx(2 * n, 0.0), hc(n), re(n), im(n), hc2(n);
        cx[2] = 1, cx[3] = 2;                        // bin 1
        cx[2 * (n - 1)] = 3, cx[2 * (n - 1) + 1] = 4;  // bin n-1
        _Cx2Hc(cx.data(), hc.data(), n);
        EXPECT_EQ(hc[1], 2) << n;
        EXPECT_EQ(hc[n - 1], -1) << n;
        _Cx2ReIm(cx.data(), re.data(), im.data(), n);
        _ReIm2Hc(re.data(), im.data(), hc2.data(), n);
        EXPECT_EQ(hc, hc2) << "split and interleaved reductions agree";
    }
}

TEST(Layouts, RandomRoundTripsForOddAndEvenLengths) {
    std::mt19937 engine(5);
    std::uniform_real_distribution<double> u(-1, 1);
    for (int n = 1; n <= 33; ++n) {
        Vec hc(n), cx(2 * n), re(n), im(n), back(n), cx2(2 * n);
        for (double& v : hc) v = u(engine);
        _Hc2Cx(hc.data(), cx.data(), n);
        _Cx2Hc(cx.data(), back.data(), n);
        EXPECT_EQ(back, hc) << n;
        _Cx2ReIm(cx.data(), re.data(), im.data(), n);
        _ReIm2Cx(re.data(), im.data(), cx2.data(), n);
        EXPECT_EQ(cx2, cx) << n;
        _Hc2ReIm(hc.data(), re.data(), im.data(), n);
        for (int k = 0; k < n; ++k) {
            EXPECT_EQ(re[k], cx[2 * k]);
            EXPECT_EQ(im[k], cx[2 * k + 1]);
        }
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
        EXPECT_EQ(a, Vec(8, -3.0));
        EXPECT_EQ(b, Vec(8, -3.0));
        EXPECT_EQ(c, Vec(8, -3.0));
    }
}

TEST(NextPow2, SmallestPowerOfTwoNotBelow) {
    EXPECT_EQ(varnel::nextPow2(0), 0);
    EXPECT_EQ(varnel::nextPow2(-7), 0);
    EXPECT_EQ(varnel::nextPow2(1), 1);
    EXPECT_EQ(varnel::nextPow2(2), 2);
    EXPECT_EQ(varnel::nextPow2(3), 4);
    EXPECT_EQ(varnel::nextPow2(5), 8);
    EXPECT_EQ(varnel::nextPow2(8), 8);
    EXPECT_EQ(varnel::nextPow2(1025), 2048);
    EXPECT_EQ(varnel::nextPow2(1 << 30), 1 << 30);
    EXPECT_EQ(varnel::nextPow2((1 << 30) + 1), 0) << "2^31 does not fit";
}

}  // namespace
