#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "frame/scratch.h"
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

// Relative RMS error against the long-double sum; the transforms add at
// most L products per coefficient, so 1e-13 leaves ample room.
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

class DgtCases : public PlanCacheTest {};

TEST_F(DgtCases, UnsupportedComplexLayoutIsRefusedWithoutOutput) {
    const std::vector<double> g = randomReals(8, 8);
    const WindowSpec spec = makeSpec(g, 4, 8);
    const std::vector<double> x = randomReals(40, 9);
    std::vector<double> re(64, kSentinel), im(64, kSentinel);
    const auto run = [&](std::size_t reAt, std::size_t imAt, std::int32_t stride, std::int32_t n, const WindowSpec& s) {
        return CxDGTEx(x.data() + reAt, x.data() + imAt, stride, n, &s, re.data(), im.data(), 1);
    };
    const int layouts[][3] = {{0, 1, 3}, {0, 2, 2}, {1, 0, 2}, {0, 1, 0}};  // re at, im at, stride
    for (const auto& [reAt, imAt, stride] : layouts)
        EXPECT_EQ(run(reAt, imAt, stride, 12, spec), kStatusBadLayout) << reAt << " " << imAt << " " << stride;
    // A bad length or spec is reported before the layout, the layout
    // before the plan is taken (and after the scratch).
    EXPECT_EQ(run(0, 2, 2, 0, spec), kStatusBadLength);
    EXPECT_EQ(run(0, 2, 2, 12, WindowSpec{g.data(), 8, 4, 6}), kStatusBadWindowSpec);
    scratch_testing::failAllocationAt(2);
    EXPECT_EQ(run(0, 2, 2, 12, spec), kStatusBadLayout);
    scratch_testing::failAllocationAt(1);
    EXPECT_EQ(run(0, 2, 2, 12, spec), kStatusNoMemory);
    scratch_testing::failAllocationAt(0);
    EXPECT_TRUE(allEqual(re, kSentinel) && allEqual(im, kSentinel));
}

}  // namespace
}  // namespace varnel::testing::gabor
