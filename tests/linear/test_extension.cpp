// Signal extension by the six rules, checked against hand-made sequences
// and closed forms (mirror images, Hann weights, ramps, parabolas).
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <random>
#include <vector>

#include "varnel.h"

namespace varnel {
namespace {

constexpr double kSentinel = -7.0;

struct Sides {
    std::vector<double> left, right;
    std::int32_t status;
};

Sides extendReal(const std::vector<double>& x, int mode, int m) {
    Sides s{std::vector<double>(std::max(m, 0), kSentinel), std::vector<double>(std::max(m, 0), kSentinel), 0};
    s.status = ReExtension(x.data(), static_cast<int>(x.size()), mode, m, s.left.data(), s.right.data());
    return s;
}

void expectSides(const Sides& s, const std::vector<double>& left, const std::vector<double>& right, double tol = 0.0) {
    ASSERT_EQ(s.status, kStatusOk);
    ASSERT_EQ(s.left.size(), left.size());
    for (std::size_t i = 0; i < left.size(); ++i) EXPECT_NEAR(s.left[i], left[i], tol) << "left " << i;
    for (std::size_t i = 0; i < right.size(); ++i) EXPECT_NEAR(s.right[i], right[i], tol) << "right " << i;
}

const double a = 1.25, b = -2.5, c = 4.0;

// An unknown mode is reported before the lengths; nothing written.
TEST(Extension, RefusedArgumentsWriteNothing) {
    struct Case {
        std::vector<double> x;
        int mode, m;
        std::int32_t status;
    };
    for (const Case& cs : {Case{{a}, Linear, 3, kStatusBadLength}, Case{{}, Linear, 3, kStatusBadLength},
                           Case{{a, b}, Quadratic, 3, kStatusBadLength}, Case{{}, Periodic, 3, kStatusBadLength},
                           Case{{a, b, c}, Zero, -1, kStatusBadLength}, Case{{a, b, c}, Quadratic, -4, kStatusBadLength},
                           Case{{a, b, c}, 4, 3, kStatusBadExtensionMode}, Case{{a, b, c}, 7, 3, kStatusBadExtensionMode},
                           Case{{a, b, c}, -1, 3, kStatusBadExtensionMode}, Case{{a, b, c}, INT_MIN, 3, kStatusBadExtensionMode},
                           Case{{a, b, c}, INT_MAX, 3, kStatusBadExtensionMode}}) {
        std::vector<double> left(4, kSentinel), right(4, kSentinel);
        EXPECT_EQ(ReExtension(cs.x.data(), static_cast<int>(cs.x.size()), cs.mode, cs.m, left.data(), right.data()),
                  cs.status)
            << "mode " << cs.mode << " n " << cs.x.size() << " m " << cs.m;
        EXPECT_TRUE(left == std::vector<double>(4, kSentinel) && right == left);
    }
    EXPECT_EQ(ReExtension(nullptr, 0, 4, -1, nullptr, nullptr), kStatusBadExtensionMode);
}

TEST(Extension, ZeroCountWritesNothingInEveryRule) {
    for (int mode : {Zero, Symmetric, Periodic, TaperedSymmetric, Linear, Quadratic}) {
        double left = kSentinel, right = kSentinel;
        const double x[3] = {a, b, c};
        EXPECT_EQ(ReExtension(x, 3, mode, 0, &left, &right), kStatusOk);
        EXPECT_EQ(CxExtension(x, 1, mode == Linear || mode == Quadratic ? Zero : mode, 0, &left, &right), kStatusOk);
        EXPECT_EQ(left, kSentinel);
        EXPECT_EQ(right, kSentinel);
    }
}

TEST(Extension, ZeroSymmetricAndPeriodicRules) {
    struct Case {
        std::vector<double> x;
        int mode, m;
        std::vector<double> left, right;
    };
    const Case cases[] = {
        {{a, b, c}, Zero, 4, {0, 0, 0, 0}, {0, 0, 0, 0}}, {{}, Zero, 2, {0, 0}, {0, 0}},
        {{a, b, c}, Symmetric, 5, {0, 0, c, b, a}, {c, b, a, 0, 0}}, {{a, b, c}, Symmetric, 3, {c, b, a}, {c, b, a}},
        {{1, 2, 3, 4, 5}, Symmetric, 2, {2, 1}, {5, 4}}, {{}, Symmetric, 2, {0, 0}, {0, 0}},
        {{a}, Symmetric, 3, {0, 0, a}, {a, 0, 0}},
        {{a, b, c}, Periodic, 5, {b, c, a, b, c}, {a, b, c, a, b}}, {{a}, Periodic, 3, {a, a, a}, {a, a, a}},
        {{1, 2, 3, 4, 5}, Periodic, 2, {4, 5}, {1, 2}},
        {{a, b, c}, Periodic, 7, {c, a, b, c, a, b, c}, {a, b, c, a, b, c, a}},
    };
    for (const Case& cs : cases) {
        SCOPED_TRACE(::testing::Message() << "mode " << cs.mode << " n " << cs.x.size() << " m " << cs.m);
        expectSides(extendReal(cs.x, cs.mode, cs.m), cs.left, cs.right);
    }
}

// Sample i from the end has weight W(m-1+i), W(j) = sin^2(pi min(j, 2m+1-j)
// / (2m+1)); m also longer than the signal.
TEST(Extension, TaperedSymmetricWeightsTheMirrorByAHannWindow) {
    const double s1 = std::pow(std::sin(M_PI / 5), 2), s2 = std::pow(std::sin(2 * M_PI / 5), 2);
    expectSides(extendReal({a, b, c}, TaperedSymmetric, 2), {s2 * b, s1 * a}, {s1 * c, s2 * b}, 1e-15);
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> dist(-3, 3);
    for (int n : {1, 4, 30}) {
        for (int m : {1, 3, 8, 17}) {
            std::vector<double> x(n), left(m), right(m);
            for (double& v : x) v = dist(rng);
            for (int i = 0; i < m; ++i) {
                const int j = m - 1 + i;
                const long double w = std::pow(std::sin(3.141592653589793238L * std::min(j, 2 * m + 1 - j) / (2 * m + 1)), 2);
                right[i] = i < n ? static_cast<double>(w * x[n - 1 - i]) : 0.0;
                left[m - 1 - i] = i < n ? static_cast<double>(w * x[i]) : 0.0;
            }
            SCOPED_TRACE(::testing::Message() << "n " << n << " m " << m);
            expectSides(extendReal(x, TaperedSymmetric, m), left, right, 1e-14);
        }
    }
}

TEST(Extension, LinearContinuesRampsExactly) {
    expectSides(extendReal({1, 2, 3, 4, 5}, Linear, 4), {-3, -2, -1, 0}, {6, 7, 8, 9}, 1e-13);
    // Any line through the end samples, even when the middle is not on it.
    for (int m : {1, 5, 40}) {
        const double x0 = 0.3, slope = -1.7;
        std::vector<double> x = {x0, x0 + slope, 9.0, x0 + 3 * slope + 0.5, x0 + 4 * slope + 0.5};
        std::vector<double> left(m), right(m);
        for (int j = 0; j < m; ++j) {
            left[j] = x0 + slope * (j - m);
            right[j] = x0 + 0.5 + slope * (5 + j);
        }
        SCOPED_TRACE(::testing::Message() << "m " << m);
        expectSides(extendReal(x, Linear, m), left, right, 1e-12 * (1 + std::fabs(slope) * m));
    }
}

TEST(Extension, QuadraticContinuesParabolasExactly) {
    const auto parabola = [](double t) { return 0.5 - 1.25 * t + 0.375 * t * t; };
    for (int n : {3, 4, 10}) {
        for (int m : {1, 3, 8}) {
            std::vector<double> x(n), left(m), right(m);
            for (int t = 0; t < n; ++t) x[t] = parabola(t);
            for (int j = 0; j < m; ++j) {
                left[j] = parabola(j - m);
                right[j] = parabola(n + j);
            }
            double scale = 0.0;
            for (double v : left) scale = std::max(scale, std::fabs(v));
            for (double v : right) scale = std::max(scale, std::fabs(v));
            SCOPED_TRACE(::testing::Message() << "n " << n << " m " << m);
            // Extrapolating m samples amplifies the rounding of the
            // second difference by about m^2.
            expectSides(extendReal(x, Quadratic, m), left, right, 1e-12 * scale * (1 + m * m));
        }
    }
}

// The complex form extends real and imaginary parts separately by the
// real rule.
TEST(Extension, ComplexExtendsBothPartsByTheRealRule) {
    std::mt19937 rng(9);
    std::uniform_real_distribution<double> dist(-2, 2);
    for (int mode : {Zero, Symmetric, Periodic, TaperedSymmetric, Linear, Quadratic}) {
        for (int n : {3, 7}) {
            for (int m : {1, 4, 11}) {
                std::vector<double> x(2 * n), re(n), im(n);
                for (int i = 0; i < n; ++i) x[2 * i] = re[i] = dist(rng), x[2 * i + 1] = im[i] = dist(rng);
                std::vector<double> left(2 * m, kSentinel), right(2 * m, kSentinel);
                ASSERT_EQ(CxExtension(x.data(), n, mode, m, left.data(), right.data()), kStatusOk);
                const Sides r = extendReal(re, mode, m), i = extendReal(im, mode, m);
                for (int k = 0; k < m; ++k)
                    EXPECT_TRUE(left[2 * k] == r.left[k] && left[2 * k + 1] == i.left[k] && right[2 * k] == r.right[k] &&
                                right[2 * k + 1] == i.right[k])
                        << "mode " << mode << " n " << n << " m " << m << " k " << k;
            }
        }
    }
}

}  // namespace
}  // namespace varnel
