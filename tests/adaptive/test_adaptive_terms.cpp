// Adaptive expansions and spectrograms: terms at the edges of what a double
// can describe, and the argument checks in their order. The transform and
// every value are checked against numpy models in
// tests/python/test_adaptive_transform.py and test_package_adaptive.py; the
// transform's remaining checks (a missing count, windows past 2^30) are
// left to the fuzz harness.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "support/fft_fixtures.h"
#include "varnel.h"

namespace varnel::testing {
namespace {

class AdaptiveExpansion : public PlanCacheTest {};

// Terms at the edges of the double range run in bounded time, give finite
// values, and leave the rows they cannot reach alone.
TEST_F(AdaptiveExpansion, ExtremeTermsStayFiniteAndBounded) {
    const double big = std::numeric_limits<double>::max();
    const std::vector<AdaptiveTerm> terms = {
        {big, 10.0, 1.0, 0.0}, {5e-324, 10.0, 1.0, 0.0}, {1.0, 1e300, 1.0, 0.0}, {1.0, -1e300, 1.0, 0.0},
        {0.5, 10.0, 1e300, 0.0}, {0.5, 10.0, 1.0, 1e300}, {1e12, 10.0, -3.0, 0.0}, {5e-324, 10.0, 0.0, 0.0}};
    const std::vector<double> coefs(2 * terms.size(), 0.5);
    std::vector<double> out(64 * 32);
    // A coefficient whose energy overflows: the cells far from the term
    // (coarse bins, so their exponent underflows) must not become inf * 0.
    const AdaptiveTerm wide{1.0 / 64, 100.0, 2.375, 0.04};
    const double huge[2] = {-0.125, big};
    for (const auto sp : {ReAdaptiveSp, CxAdaptiveSp}) {
        ASSERT_EQ(sp(coefs.data(), terms.data(), 8, 1, 32, 0, 0, 64, 32, out.data()), kStatusOk);
        for (double v : out) ASSERT_TRUE(std::isfinite(v));
        ASSERT_EQ(sp(huge, &wide, 1, 8, 1, 0, 0, 72, 1, out.data()), kStatusOk);
        for (int i = 0; i < 72; ++i) ASSERT_FALSE(std::isnan(out[i])) << i;
    }
    for (std::size_t j = 0; j < terms.size(); ++j) {
        const std::int32_t status = CxAdaptiveExpansion(&terms[j], coefs.data(), 1, 64, out.data());
        EXPECT_TRUE(status == kStatusOk || status == kStatusBadLength) << j;
        EXPECT_EQ(ReAdaptiveExpansion(&terms[j], coefs.data(), 1, 64, out.data()), kStatusOk) << j;
    }
}

TEST_F(AdaptiveExpansion, ArgumentChecksInTheirOrder) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const AdaptiveTerm good{0.1, 5.0, 1.0, 0.0};
    const double coef[] = {1.0, 0.0};
    const std::vector<AdaptiveTerm> bad = {{0.0, 5, 1, 0}, {-1.0, 5, 1, 0}, {nan, 5, 1, 0},
                                           {0.1, INFINITY, 1, 0}, {0.1, 5, nan, 0}, {0.1, 5, 1, -INFINITY}};
    std::vector<double> out(40);
    for (const auto expand : {ReAdaptiveExpansion, CxAdaptiveExpansion}) {
        EXPECT_EQ(expand(&good, coef, 0, 10, out.data()), kStatusBadLength);
        EXPECT_EQ(expand(&good, coef, 1, 0, out.data()), kStatusBadLength);
        EXPECT_EQ(expand(nullptr, coef, 1, 10, out.data()), kStatusBadLength);
        for (const AdaptiveTerm& term : bad) EXPECT_EQ(expand(&term, coef, 1, 10, out.data()), kStatusBadTerm);
        EXPECT_EQ(expand(&good, coef, 1, 1, out.data()), kStatusOk) << "one sample is a signal too";
    }
    for (const auto sp : {ReAdaptiveSp, CxAdaptiveSp}) {
        // (numTerms, dt, K, f0, rows, cols) -> status, in the order tested.
        const std::int32_t cases[][7] = {{0, 0, 0, -1, 4, 4, 1},  {1, 0, 0, -1, 0, 4, 1},   {1, 0, 0, -1, 4, 0, 1},
                                         {1, 0, 0, -1, 4, 4, 21}, {1, 1, 0, -1, 4, 4, 3},   {1, 1, 8, -1, 4, 4, 30},
                                         {1, 1, 8, 8, 1, 1, 30},  {1, 1, 8, 5, 4, 4, 30}};
        for (const auto& c : cases)
            EXPECT_EQ(sp(coef, &good, c[0], c[1], c[2], 0, c[3], c[4], c[5], out.data()), c[6]) << c[6];
        EXPECT_EQ(sp(coef, bad.data(), 1, 1, 8, 0, 4, 4, 4, out.data()), kStatusBadTerm);
    }
    // A term wholly after the output: the complex form stops with 1 after
    // adding the terms before it, the real form skips it.
    const AdaptiveTerm pair[] = {good, {0.1, 500.0, 1.0, 0.0}};
    const double coefs[] = {1.0, 0.0, 1.0, 0.0};
    std::vector<double> alone(20), both(20);
    ASSERT_EQ(CxAdaptiveExpansion(pair, coefs, 1, 10, alone.data()), kStatusOk);
    EXPECT_EQ(CxAdaptiveExpansion(pair, coefs, 2, 10, both.data()), kStatusBadLength);
    EXPECT_EQ(alone, both);
    ASSERT_EQ(ReAdaptiveExpansion(pair, coefs, 1, 20, alone.data()), kStatusOk);
    ASSERT_EQ(ReAdaptiveExpansion(pair, coefs, 2, 20, both.data()), kStatusOk);
    EXPECT_EQ(alone, both);
}

}  // namespace
}  // namespace varnel::testing
