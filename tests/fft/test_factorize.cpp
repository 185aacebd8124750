#include <gtest/gtest.h>

#include <vector>

#include "fft/factorize.h"
#include "support/fft_fixtures.h"

namespace varnel::fft {
namespace {

std::vector<int> factorsOf(std::int32_t n) {
    const Factorization f = factorize(n);
    return std::vector<int>(f.factors, f.factors + f.count);
}

struct FactorCase {
    std::int32_t n;
    std::vector<int> factors;
};

class FactorTable : public ::testing::TestWithParam<FactorCase> {};

TEST_P(FactorTable, MatchesPreferenceOrderSortedAscending) {
    EXPECT_EQ(factorsOf(GetParam().n), GetParam().factors);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, FactorTable,
    ::testing::Values(FactorCase{1, {}}, FactorCase{12, {3, 4}}, FactorCase{20, {2, 10}}, FactorCase{48, {3, 16}},
                      FactorCase{96, {3, 32}}, FactorCase{360, {2, 10, 18}}, FactorCase{1000, {10, 10, 10}},
                      FactorCase{46, {2, 23}}, FactorCase{106, {2, 53}}, FactorCase{23, {23}}, FactorCase{47, {47}},
                      FactorCase{53, {53}}, FactorCase{52, {4, 13}}, FactorCase{2 * 53 * 53, {2, 53, 53}},
                      FactorCase{23 * 23 * 47, {23, 23, 47}}, FactorCase{65537, {65537}},
                      FactorCase{3 * 1024, {3, 32, 32}}));

// Powers of two: 2^(e mod 5) first, then radix 32.
TEST(Factorize, PowersOfTwoUseRadix32AfterOneSmallerFactor) {
    for (int e = 1; e <= 20; ++e) {
        std::vector<int> expected;
        if (e % 5 != 0) expected.push_back(1 << (e % 5));
        for (int i = 0; i < e / 5; ++i) expected.push_back(32);
        EXPECT_EQ(factorsOf(1 << e), expected) << "2^" << e;
    }
}

TEST(Factorize, KindsFollowTheRadix) {
    for (std::int32_t n : {2 * 23 * 53, 47 * 1009, 32 * 43 * 29}) {
        const Factorization f = factorize(n);
        std::int64_t product = 1;
        for (int i = 0; i < f.count; ++i) {
            product *= f.factors[i];
            const int p = f.factors[i];
            const int expected = (p == 23 || p == 47) ? DirectStage : (p >= 50 ? RaderStage : KernelStage);
            EXPECT_EQ(f.kinds[i], expected) << n << " factor " << p;
            if (i > 0) EXPECT_LE(f.factors[i - 1], f.factors[i]);
        }
        EXPECT_EQ(product, n);
    }
}

TEST(Factorize, LargestPrimeLengthIsOneRaderStage) {
    const Factorization f = factorize(2147483647);  // 2^31 - 1
    ASSERT_EQ(f.count, 1);
    EXPECT_EQ(f.factors[0], 2147483647);
    EXPECT_EQ(f.kinds[0], RaderStage);
}

}  // namespace
}  // namespace varnel::fft
