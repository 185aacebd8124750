#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "test_dgt_support.h"

namespace varnel::testing::gabor {
namespace {

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
