// Signal extension: which calls are refused, and in what order. The rules'
// values are checked against closed forms in the package tests.
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "varnel.h"

namespace varnel {
namespace {

constexpr double kSentinel = -7.0;

// An unknown mode is reported before the lengths; a side of no samples is
// no work for any rule. Nothing is written in either case.
TEST(Extension, RefusedAndEmptyCallsWriteNothing) {
    const double a = 1.25, b = -2.5, c = 4.0;
    struct Case {
        std::vector<double> x;
        int mode, m;
        std::int32_t status;
    };
    std::vector<Case> cases = {
        {{a}, Linear, 3, kStatusBadLength},           {{}, Linear, 3, kStatusBadLength},
        {{a, b}, Quadratic, 3, kStatusBadLength},     {{}, Periodic, 3, kStatusBadLength},
        {{a, b, c}, Zero, -1, kStatusBadLength},      {{a, b, c}, Quadratic, -4, kStatusBadLength},
        {{a, b, c}, 4, 3, kStatusBadExtensionMode},   {{a, b, c}, 7, 3, kStatusBadExtensionMode},
        {{a, b, c}, -1, 3, kStatusBadExtensionMode},  {{a, b, c}, INT_MIN, 3, kStatusBadExtensionMode},
        {{a, b, c}, INT_MAX, 3, kStatusBadExtensionMode}};
    for (int mode : {Zero, Symmetric, Periodic, TaperedSymmetric, Linear, Quadratic})
        cases.push_back({{a, b, c, c, b, a}, mode, 0, kStatusOk});
    for (const Case& cs : cases) {
        SCOPED_TRACE(::testing::Message() << "mode " << cs.mode << " n " << cs.x.size() << " m " << cs.m);
        const int n = static_cast<int>(cs.x.size());
        std::vector<double> left(4, kSentinel), right(4, kSentinel);
        EXPECT_EQ(ReExtension(cs.x.data(), n, cs.mode, cs.m, left.data(), right.data()), cs.status);
        // The same samples read as complex pairs, where the count allows.
        if (n % 2 == 0) EXPECT_EQ(CxExtension(cs.x.data(), n / 2, cs.mode, cs.m, left.data(), right.data()), cs.status);
        EXPECT_TRUE(left == std::vector<double>(4, kSentinel) && right == left);
    }
    EXPECT_EQ(ReExtension(nullptr, 0, 4, -1, nullptr, nullptr), kStatusBadExtensionMode);
}

}  // namespace
}  // namespace varnel
