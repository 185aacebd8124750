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

// Every rule of the lattice broken once, in either dimension; nothing written.
TEST_F(Gabor2d, TransformValidationWritesNothing) {
    const std::vector<double> w(32, 1.0), image = randomReals(20 * 20, 76);
    const WindowSpec good{w.data(), 8, 4, 8}, bad = kBadSpecs[0].on(w);
    std::vector<double> out(4096, kSentinel);
    const auto transform = [&](std::int32_t nRows, std::int32_t nCols, const WindowSpec* s1, const WindowSpec* s2) {
        return DGT2d(image.data(), nRows, nCols, s1, s2, out.data());
    };
    const std::int32_t sizes[][2] = {{0, 20}, {20, 0}, {-1, 20}, {20, -5}};
    for (const auto& [nRows, nCols] : sizes) {
        EXPECT_EQ(transform(nRows, nCols, &good, &good), kStatusBadLength);
        EXPECT_EQ(transform(nRows, nCols, &bad, nullptr), kStatusBadLength);
    }
    for (const BadSpec& b : kBadSpecs) {
        const WindowSpec spec = b.on(w);
        EXPECT_EQ(transform(20, 20, &spec, &good), kStatusBadWindowSpec) << b.what;
        EXPECT_EQ(transform(20, 20, &good, &spec), kStatusBadWindowSpec) << b.what;
    }
    EXPECT_EQ(transform(20, 20, nullptr, &good), kStatusBadWindowSpec);
    // A column or row of one time step is refused as in one dimension.
    EXPECT_EQ(transform(4, 20, &good, &good), kStatusBadLength);
    EXPECT_EQ(transform(20, 4, &good, &good), kStatusBadLength);
    EXPECT_TRUE(allEqual(out, kSentinel));
    EXPECT_EQ(transform(20, 8, &good, &good), kStatusOk);
}

TEST_F(Gabor2d, ExpansionValidationWritesNothing) {
    const std::vector<double> w(32, 1.0), coef = randomReals(2 * 3 * 8 * 3 * 8, 78);
    const WindowSpec good{w.data(), 8, 4, 8}, bad0 = kBadSpecs[0].on(w), bad1 = kBadSpecs[1].on(w);
    std::vector<double> image(400, kSentinel);
    const auto expand = [&](std::int32_t F1, std::int32_t N1, std::int32_t F2, std::int32_t N2, const WindowSpec* s1,
                            const WindowSpec* s2, std::int32_t nRows, std::int32_t nCols) {
        return DGE2d(coef.data(), F1, N1, F2, N2, s1, s2, image.data(), nRows, nCols);
    };
    const std::int32_t counts[][6] = {{0, 8, 3, 8, 10, 10}, {3, 0, 3, 8, 10, 10}, {3, 8, 0, 8, 10, 10},
                                      {3, 8, 3, 0, 10, 10}, {3, 8, 3, 8, 0, 10},  {3, 8, 3, 8, 10, -1}};
    for (const auto& n : counts) {
        EXPECT_EQ(expand(n[0], n[1], n[2], n[3], &good, &good, n[4], n[5]), kStatusBadLength);
        EXPECT_EQ(expand(n[0], n[1], n[2], n[3], &bad0, &bad1, n[4], n[5]), kStatusBadLength);
    }
    for (const BadSpec& b : kBadSpecs) {
        const WindowSpec spec = b.on(w);
        const std::int32_t bins = b.N > 0 ? b.N : 8;
        EXPECT_EQ(expand(3, bins, 3, 8, &spec, &good, 10, 10), kStatusBadWindowSpec) << b.what;
        EXPECT_EQ(expand(3, 8, 3, bins, &good, &spec, 10, 10), kStatusBadWindowSpec) << b.what;
    }
    EXPECT_EQ(expand(3, 4, 3, 8, &good, &good, 10, 10), kStatusBadWindowSpec);   // N1 differs from spec1
    EXPECT_EQ(expand(3, 8, 3, 16, &good, &good, 10, 10), kStatusBadWindowSpec);  // N2 differs from spec2
    EXPECT_EQ(expand(3, 8, 3, 8, &good, nullptr, 10, 10), kStatusBadWindowSpec);
    EXPECT_TRUE(allEqual(image, kSentinel));
}

}  // namespace
}  // namespace varnel::testing::gabor
