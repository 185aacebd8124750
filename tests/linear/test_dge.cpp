#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>
#include <vector>

#include "test_dgt_support.h"

namespace varnel::testing::gabor {
namespace {

struct ExpansionCase {
    std::int32_t F;
    LatticeCase lattice;
};

std::ostream& operator<<(std::ostream& os, const ExpansionCase& c) {
    return os << "F=" << c.F << " L=" << c.lattice.L << " dM=" << c.lattice.dM << " N=" << c.lattice.N;
}

// F*dM from just half a window (F = 1, L = 8, dM = 4, N = 4: the single
// frame's first half wraps onto its second) to many windows.
const ExpansionCase kExpansionCases[] = {
    {1, {8, 4, 4}},    {2, {8, 4, 8}}, {5, {16, 4, 8}}, {3, {32, 8, 16}},
    {9, {64, 16, 32}}, {7, {2, 1, 2}}, {4, {1, 1, 1}},  {10, {32, 2, 4}},
};

class ExpansionAgainstFormula : public PlanCacheTestWithParam<ExpansionCase> {};

constexpr double kTolerance = 1e-13;

// The real expansion, and the complex one in every layout; the
// coefficients are left as they were.
TEST_P(ExpansionAgainstFormula, ExpansionsAreTheWrappedOverlapAdd) {
    const auto [F, c] = GetParam();
    const std::vector<double> g = randomReals(c.L, 43);
    const WindowSpec spec = makeSpec(g, c.dM, c.N);
    const std::int64_t count = std::int64_t{F} * c.N;
    const std::int32_t P = F * c.dM;
    const std::vector<double> re = randomReals(count, 44), im = randomReals(count, 45), interleaved = interleave(re, im);
    const std::vector<LongComplex> want = periodicExpansion(complexValues(re, im), g, c.dM, c.N);
    std::vector<double> out(2 * P + 1, kSentinel);
    ASSERT_EQ(ReDGE(re.data(), F, c.N, &spec, out.data(), P), kStatusOk);
    EXPECT_EQ(out[P], kSentinel);
    EXPECT_LT(relativeRmsError(periodicExpansion(halfComplexFrames(re.data(), F, c.N), g, c.dM, c.N),
                               realValues({out.begin(), out.begin() + P})),
              kTolerance);
    ASSERT_EQ(CxDGE(interleaved.data(), F, c.N, &spec, out.data(), P), kStatusOk);
    EXPECT_LT(relativeRmsError(want, interleavedValues(out.data(), P)), kTolerance);
    EXPECT_EQ(out[2 * P], kSentinel);
    EXPECT_EQ(interleaved, interleave(re, im)) << "coefficients modified";

    for (const std::int32_t stride : {1, 2, 3}) {
        SCOPED_TRACE(::testing::Message() << "strides " << stride);
        std::vector<double> inRe(count * stride, 0.0), inIm(count * stride, 0.0);
        for (std::int64_t i = 0; i < count; ++i) inRe[i * stride] = re[i], inIm[i * stride] = im[i];
        std::vector<double> outRe(P * stride, kSentinel), outIm(P * stride, kSentinel);
        ASSERT_EQ(CxDGEEx(inRe.data(), inIm.data(), stride, F, c.N, &spec, outRe.data(), outIm.data(), stride, P),
                  kStatusOk);
        std::vector<LongComplex> got(P);
        for (std::int32_t t = 0; t < P; ++t) got[t] = {outRe[t * stride], outIm[t * stride]};
        EXPECT_LT(relativeRmsError(want, got), kTolerance);
        if (stride > 1) EXPECT_EQ(outRe[1], kSentinel);
    }
}

INSTANTIATE_TEST_SUITE_P(Lattices, ExpansionAgainstFormula, ::testing::ValuesIn(kExpansionCases));

class DgeCases : public PlanCacheTest {};

// Beyond the period the output is zero in every layout; a shorter output
// receives the period's first samples only.
TEST_F(DgeCases, OutputLengthTruncatesOrPadsWithZeros) {
    const std::vector<double> g = randomReals(16, 51);
    const WindowSpec spec = makeSpec(g, 4, 8);
    const std::vector<double> coef = randomReals(2 * 3 * 8, 52);  // F = 3, P = 12
    std::vector<double> full(12), longer(20, kSentinel), shorter(21, kSentinel);
    ASSERT_EQ(ReDGE(coef.data(), 3, 8, &spec, full.data(), 12), kStatusOk);
    ASSERT_EQ(ReDGE(coef.data(), 3, 8, &spec, longer.data(), 20), kStatusOk);
    ASSERT_EQ(ReDGE(coef.data(), 3, 8, &spec, shorter.data(), 5), kStatusOk);
    for (int t = 0; t < 20; ++t) EXPECT_EQ(longer[t], t < 12 ? full[t] : 0.0);
    for (int t = 0; t < 21; ++t) EXPECT_EQ(shorter[t], t < 5 ? full[t] : kSentinel);

    std::vector<double> cx(40, kSentinel), re(20, kSentinel), im(20, kSentinel), strided(60, kSentinel);
    ASSERT_EQ(CxDGE(coef.data(), 3, 8, &spec, cx.data(), 20), kStatusOk);
    ASSERT_EQ(CxDGEEx(coef.data(), coef.data() + 1, 2, 3, 8, &spec, re.data(), im.data(), 1, 20), kStatusOk);
    ASSERT_EQ(CxDGEEx(coef.data(), coef.data() + 1, 2, 3, 8, &spec, strided.data(), strided.data() + 1, 3, 20),
              kStatusOk);
    for (int t = 12; t < 20; ++t)
        for (const double v : {cx[2 * t], cx[2 * t + 1], re[t], im[t], strided[3 * t], strided[3 * t + 1]})
            EXPECT_EQ(v, 0.0) << "t " << t;
    for (int t = 0; t < 20; ++t) EXPECT_EQ(strided[3 * t + 2], kSentinel);
    for (int t = 0; t < 12; ++t) EXPECT_TRUE(cx[2 * t] == re[t] && cx[2 * t + 1] == im[t]) << "t " << t;
}

}  // namespace
}  // namespace varnel::testing::gabor
