// The Gabor transform and expansion, one- and two-dimensional, against the
// sums written out in test_dgt_support.h.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "test_dgt_support.h"

namespace varnel::testing::gabor {
namespace {

struct TransformCase {
    std::int32_t n;
    LatticeCase lattice;
};

std::ostream& operator<<(std::ostream& os, const TransformCase& c) {
    return os << "n=" << c.n << " L=" << c.lattice.L << " dM=" << c.lattice.dM << " N=" << c.lattice.N;
}

// Signal shorter than, equal to and longer than the window, whole and
// partial time steps (n = 10, dM = 4: frame 0 reads the other end and the
// padding), L = N (no folding) and L = 4N (folding), and the smallest
// lattice L = dM = N = 1.
const TransformCase kTransformCases[] = {
    {10, {8, 4, 8}},    {3, {8, 4, 8}},    {8, {8, 4, 8}},       {20, {16, 4, 8}}, {37, {32, 8, 16}},
    {64, {64, 16, 32}}, {100, {24, 4, 8}}, {45, {32, 2, 8}},     {2, {1, 1, 1}},   {7, {1, 1, 1}},
    {33, {2, 1, 2}},    {50, {4, 2, 4}},   {129, {128, 16, 16}},
};

class DgtAgainstFormula : public PlanCacheTestWithParam<TransformCase> {};

// Relative RMS error against the long-double sums; the transforms and
// expansions add at most L products per value, so 1e-13 leaves ample room.
constexpr double kTolerance = 1e-13;

// The real transform, and every complex input layout at several output
// strides.
TEST_P(DgtAgainstFormula, TransformsAreTheWrittenOutSum) {
    const auto [n, c] = GetParam();
    const std::vector<double> re = randomReals(n, 21), im = randomReals(n, 22), g = randomReals(c.L, 23);
    const WindowSpec spec = makeSpec(g, c.dM, c.N);
    const std::int64_t count = std::int64_t{(n + c.dM - 1) / c.dM} * c.N;
    const std::vector<LongComplex> want = directDgt(complexValues(re, im), g, c.dM, c.N);
    const std::vector<double> interleaved = interleave(re, im);
    std::vector<double> out(2 * count + 1, kSentinel);
    ASSERT_EQ(ReDGT(re.data(), n, &spec, out.data()), kStatusOk);
    EXPECT_LT(relativeRmsError(directDgt(realValues(re), g, c.dM, c.N), halfComplexFrames(out.data(), count / c.N, c.N)),
              kTolerance);
    EXPECT_EQ(out[count], kSentinel) << "wrote past F*N";
    ASSERT_EQ(CxDGT(interleaved.data(), n, &spec, out.data()), kStatusOk);
    EXPECT_LT(relativeRmsError(want, interleavedValues(out.data(), count)), kTolerance);
    EXPECT_EQ(out.back(), kSentinel);

    for (const std::int32_t outStride : {1, 2, 3}) {
        SCOPED_TRACE(::testing::Message() << "outStride " << outStride);
        std::vector<double> outRe(count * outStride, kSentinel), outIm(count * outStride, kSentinel);
        const auto collect = [&] {
            std::vector<LongComplex> got(count);
            for (std::int64_t i = 0; i < count; ++i) got[i] = {outRe[i * outStride], outIm[i * outStride]};
            return got;
        };
        ASSERT_EQ(CxDGTEx(re.data(), im.data(), 1, n, &spec, outRe.data(), outIm.data(), outStride), kStatusOk);
        EXPECT_LT(relativeRmsError(want, collect()), kTolerance) << "split input";
        const double* xi = interleaved.data();
        ASSERT_EQ(CxDGTEx(xi, xi + 1, 2, n, &spec, outRe.data(), outIm.data(), outStride), kStatusOk);
        EXPECT_LT(relativeRmsError(want, collect()), kTolerance) << "interleaved input";
        if (outStride > 1) EXPECT_EQ(outRe[1], kSentinel) << "wrote between strided outputs";
    }
}

INSTANTIATE_TEST_SUITE_P(Lattices, DgtAgainstFormula, ::testing::ValuesIn(kTransformCases));

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

class Gabor2d : public PlanCacheTest {};

std::int32_t framesFor(std::int32_t n, std::int32_t dM) { return (n + dM - 1) / dM; }

// image[r][c] = u[r] v[c] has coefficients U[k] V[l]: U the full spectra
// of the real transform of u, V the complex transform of v.
TEST_F(Gabor2d, OuterProductImageHasFactorisedCoefficients) {
    const std::int32_t nRows = 13, nCols = 22;
    const std::vector<double> g1 = randomReals(16, 71), g2 = randomReals(8, 72);
    const WindowSpec spec1 = makeSpec(g1, 4, 8), spec2 = makeSpec(g2, 2, 4);
    const std::vector<double> u = randomReals(nRows, 73), v = randomReals(nCols, 74);
    std::vector<double> image(nRows * nCols);
    for (std::int32_t r = 0; r < nRows; ++r) {
        for (std::int32_t c = 0; c < nCols; ++c) image[r * nCols + c] = u[r] * v[c];
    }
    const std::vector<LongComplex> U = directDgt(realValues(u), g1, 4, 8), V = directDgt(realValues(v), g2, 2, 4);
    const std::int64_t depth = std::int64_t{framesFor(nRows, 4)} * 8, width = std::int64_t{framesFor(nCols, 2)} * 4;
    ASSERT_EQ(static_cast<std::int64_t>(U.size()), depth);
    std::vector<double> out(2 * depth * width + 1, kSentinel);
    ASSERT_EQ(DGT2d(image.data(), nRows, nCols, &spec1, &spec2, out.data()), kStatusOk);
    EXPECT_EQ(out.back(), kSentinel);
    std::vector<LongComplex> want(depth * width);
    for (std::int64_t k = 0; k < depth; ++k) {
        for (std::int64_t l = 0; l < width; ++l) want[k * width + l] = U[k] * V[l];
    }
    EXPECT_LT(relativeRmsError(want, interleavedValues(out.data(), depth * width)), 1e-13);
}

struct ImageCase {
    std::int32_t nRows, nCols;
    LatticeCase first, second;
};

TEST_F(Gabor2d, TransformThenExpansionWithDualsReturnsTheImage) {
    for (const ImageCase& c : {ImageCase{20, 24, {16, 4, 8}, {8, 4, 8}}, ImageCase{33, 17, {16, 4, 8}, {32, 8, 16}},
                               ImageCase{16, 40, {16, 4, 8}, {16, 4, 8}}}) {
        SCOPED_TRACE(::testing::Message() << c.nRows << " x " << c.nCols);
        const WindowPair p1 = gaussianPair(c.first, 1), p2 = gaussianPair(c.second, 1);
        const WindowSpec analysis1 = makeSpec(p1.dual, c.first.dM, c.first.N);
        const WindowSpec analysis2 = makeSpec(p2.dual, c.second.dM, c.second.N);
        const WindowSpec synthesis1 = makeSpec(p1.window, c.first.dM, c.first.N);
        const WindowSpec synthesis2 = makeSpec(p2.window, c.second.dM, c.second.N);
        const std::int32_t F1 = framesFor(c.nRows, c.first.dM), F2 = framesFor(c.nCols, c.second.dM);
        const std::vector<double> image = randomReals(c.nRows * c.nCols, 75);
        std::vector<double> coef(2 * std::size_t(F1) * c.first.N * F2 * c.second.N);
        std::vector<double> rebuilt(image.size(), kSentinel);
        ASSERT_EQ(DGT2d(image.data(), c.nRows, c.nCols, &analysis1, &analysis2, coef.data()), kStatusOk);
        ASSERT_EQ(DGE2d(coef.data(), F1, c.first.N, F2, c.second.N, &synthesis1, &synthesis2, rebuilt.data(), c.nRows,
                        c.nCols),
                  kStatusOk);
        EXPECT_LT(maxAbsDifference(rebuilt, image), 1e-12 * maxAbs(image));
    }
}

}  // namespace
}  // namespace varnel::testing::gabor
