// The Gabor transform and expansion, one- and two-dimensional and
// block-wise, against the sums written out in test_dgt_support.h; the dual
// window's corner cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>
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

// The block-wise transform and expansion: each call against the
// written-out sums, and a stream of blocks rebuilt by the expansion.
class DgtStream : public PlanCacheTest {};

struct Stream {
    std::vector<double> coef;  // all frames, in order
    std::vector<std::int64_t> framesPerCall;
    std::vector<double> history;
    std::int32_t historyLength;
};

// Feeds x block by block, checking that no call writes past its frames.
Stream streamTransform(const std::vector<double>& x, const std::vector<std::int32_t>& blocks, const WindowSpec& spec,
                       const std::vector<double>& initialHistory) {
    const std::int32_t L = spec.windowLength, dM = spec.timeStep, N = spec.binCount;
    Stream s{{}, {}, initialHistory, static_cast<std::int32_t>(initialHistory.size())};
    s.history.resize(std::max<std::size_t>(initialHistory.size(), L - 1), kSentinel);
    std::size_t start = 0;
    for (const std::int32_t n : blocks) {
        const std::int64_t total = s.historyLength + n;
        const std::int64_t frames = total < L ? 0 : (total - L) / dM + 1;
        std::vector<double> out(static_cast<std::size_t>((total / dM + 1) * N), kSentinel);
        EXPECT_EQ(ReDGTWithIC(x.data() + start, n, s.history.data(), &s.historyLength, &spec, out.data()), kStatusOk);
        EXPECT_EQ(s.historyLength, total - frames * dM);
        EXPECT_LT(s.historyLength, L);
        EXPECT_EQ(out[frames * N], kSentinel) << "more frames than fit";
        s.coef.insert(s.coef.end(), out.begin(), out.begin() + frames * N);
        s.framesPerCall.push_back(frames);
        start += n;
    }
    return s;
}

// Frames over the kept history followed by the blocks, against the
// written-out sum; blocks too short for a window are kept whole, and the
// call that completes exactly one window transforms it, also with a unit
// time step. What is left is kept from the first frame not made.
TEST_F(DgtStream, FramesAreTheWrittenOutSumOverHistoryAndBlocks) {
    struct Case {
        LatticeCase c;
        std::int32_t kept;
        std::vector<std::int32_t> blocks;
        std::vector<std::int64_t> frames;
    };
    for (const Case& cs : {Case{{16, 4, 8}, 5, {37}, {7}}, Case{{16, 4, 8}, 0, {9, 7}, {0, 1}},
                           Case{{4, 1, 4}, 0, {3, 1}, {0, 1}}, Case{{8, 8, 8}, 0, {5, 3}, {0, 1}}}) {
        const LatticeCase c = cs.c;
        SCOPED_TRACE(::testing::Message() << "L=" << c.L << " dM=" << c.dM << " kept " << cs.kept);
        const std::vector<double> g = randomReals(c.L, 1), kept = randomReals(cs.kept, 2);
        std::vector<double> combined = kept, x = randomReals(std::accumulate(cs.blocks.begin(), cs.blocks.end(), 0), 3);
        combined.insert(combined.end(), x.begin(), x.end());
        const Stream s = streamTransform(x, cs.blocks, makeSpec(g, c.dM, c.N), kept);
        ASSERT_EQ(s.framesPerCall, cs.frames);
        const std::int64_t F = std::accumulate(cs.frames.begin(), cs.frames.end(), std::int64_t{0});
        EXPECT_LT(relativeRmsError(directBlockFrames(combined, g, c.dM, c.N, F), halfComplexFrames(s.coef.data(), F, c.N)),
                  1e-13);
        ASSERT_EQ(s.historyLength, static_cast<std::int64_t>(combined.size()) - F * c.dM);
        for (std::int32_t i = 0; i < s.historyLength; ++i) EXPECT_EQ(s.history[i], combined[F * c.dM + i]);
    }
}

// Each call's frames handed to the streaming expansion as one block: with
// an aperiodic dual, the output is the input delayed by L - dM samples.
TEST_F(DgtStream, StreamingExpansionOfEachCallRebuildsTheDelayedSignal) {
    const LatticeCase c{16, 4, 8};
    const WindowPair pair = gaussianPair(c, 1);
    const WindowSpec analysis = makeSpec(pair.dual, c.dM, c.N), synthesis = makeSpec(pair.window, c.dM, c.N);
    const std::vector<std::int32_t> blocks = {13, 3, 40, 8, 21, 64, 7, 36};
    const std::vector<double> x = randomReals(192, 10);
    const Stream s = streamTransform(x, blocks, analysis, std::vector<double>(c.L - c.dM, 0.0));

    std::vector<double> rebuilt, state(c.L - c.dM, kSentinel);
    std::int32_t stateLength = 0;
    std::size_t offset = 0;
    for (const std::int64_t frames : s.framesPerCall) {
        if (frames == 0) continue;
        std::vector<double> block(frames * c.dM);
        ASSERT_EQ(ReDGEWithIC(s.coef.data() + offset, static_cast<std::int32_t>(frames), c.N, &synthesis, block.data(),
                              state.data(), &stateLength),
                  kStatusOk);
        rebuilt.insert(rebuilt.end(), block.begin(), block.end());
        offset += frames * c.N;
    }
    ASSERT_EQ(rebuilt.size(), x.size());
    const std::size_t delay = c.L - c.dM;
    double worst = 0.0;
    for (std::size_t t = delay; t < rebuilt.size(); ++t) worst = std::max(worst, std::abs(rebuilt[t] - x[t - delay]));
    EXPECT_LT(worst, 1e-12 * maxAbs(x));
}


class DgeStream : public PlanCacheTest {};

// One block against the unwrapped overlap-add: out[t] = A[t] + state[t],
// the new state the L - dM accumulator values after the block.
TEST_F(DgeStream, BlockIsTheUnwrappedOverlapAddPlusTheCarriedState) {
    for (const auto& [F, c] : {std::pair{5, LatticeCase{16, 4, 8}}, std::pair{2, LatticeCase{32, 8, 16}},
                               std::pair{3, LatticeCase{8, 8, 8}}, std::pair{6, LatticeCase{4, 1, 2}}}) {
        SCOPED_TRACE(::testing::Message() << "F=" << F << " L=" << c.L << " dM=" << c.dM);
        const std::vector<double> g = randomReals(c.L, 61);
        const WindowSpec spec = makeSpec(g, c.dM, c.N);
        const std::vector<double> coef = randomReals(static_cast<std::size_t>(F) * c.N, 62);
        const std::int32_t overlap = c.L - c.dM, P = F * c.dM;
        const std::vector<double> carried = randomReals(overlap, 63);
        std::vector<double> state = carried, out(P + 1, kSentinel);
        state.push_back(kSentinel);
        std::int32_t stateLength = overlap;
        ASSERT_EQ(ReDGEWithIC(coef.data(), F, c.N, &spec, out.data(), state.data(), &stateLength), kStatusOk);
        EXPECT_EQ(stateLength, overlap);
        EXPECT_EQ(out[P], kSentinel);
        EXPECT_EQ(state[overlap], kSentinel);

        std::vector<LongComplex> want = overlapAdd(halfComplexFrames(coef.data(), F, c.N), g, c.dM, c.N);
        for (std::int32_t i = 0; i < overlap; ++i) want[i] += carried[i];
        std::vector<double> got(out.begin(), out.begin() + P);
        got.insert(got.end(), state.begin(), state.begin() + overlap);
        want.resize(got.size());
        EXPECT_LT(relativeRmsError(want, realValues(got)), 1e-13);
    }
}

// The dual window's general values are checked against scipy's
// pseudo-inverse in the package tests; here its corner cases.

// One frame per window: each 1 x 1 system inverts its sample unless the
// sample is not above the tolerance.
TEST(FastDual, OneFramePerWindowInvertsEachSample) {
    const std::vector<double> g = {2.0, -4.0, 1e-11, -4.9e-320, 0.5, 1e-10, -1e-10, 3.0};
    for (int mode : {0, 1}) {
        std::vector<double> dual(8, -7.0);
        ASSERT_EQ(FastDual(g.data(), 8, 8, 8, mode, dual.data()), kStatusOk);
        for (int j = 0; j < 8; ++j)
            EXPECT_DOUBLE_EQ(dual[j], std::fabs(g[j]) > 1e-10 ? 1.0 / (8.0 * g[j]) : 0.0) << "mode " << mode << " j " << j;
    }
}

// A residue whose window samples vanish has the zero matrix, whose
// pseudo-inverse is zero (a subnormal sample counts as zero); a non-finite
// sample makes the decomposition fail to converge, and that residue's dual
// is zero too. Other residues keep their values.
TEST(FastDual, DegenerateResidueGivesZerosAndLeavesTheOthersAlone) {
    std::vector<double> clean(16), cleanDual(16);
    ASSERT_EQ(Gaussian(16, 8.0, 16.0, clean.data()), kStatusOk);
    ASSERT_EQ(FastDual(clean.data(), 16, 4, 8, 0, cleanDual.data()), kStatusOk);
    for (double poison : {0.0, 4.9e-320, std::numeric_limits<double>::quiet_NaN()}) {
        std::vector<double> g = clean;
        for (int c = 0; c < 4; ++c) g[1 + c * 4] = c == 2 ? poison : 0.0;
        std::vector<double> dual(16, -7.0);
        ASSERT_EQ(FastDual(g.data(), 16, 4, 8, 0, dual.data()), kStatusOk);
        for (int j = 0; j < 16; ++j) EXPECT_EQ(dual[j], j % 4 == 1 ? 0.0 : cleanDual[j]) << "j " << j;
    }
}

}  // namespace
}  // namespace varnel::testing::gabor
