// The STFT family against the textbook definition in long double, straight
// from the signal (no folding or rotation, so aliasing, zero fill and the
// phase reference are checked against the formula):
//   X_i[k] = sum over j < L of w[j] x[iD + j] exp(-2 pi i k (iD + j + s0) / M)
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "frame/vector_paths.h"
#include "test_dgt_support.h"

namespace varnel::testing::gabor {
namespace {

struct Grid {
    const char* name;
    std::int32_t m, length, step, n, shift;
    std::int64_t frames() const { return (std::int64_t{n} - length) / step + 1; }
};

std::int64_t positiveModulo(std::int64_t a, std::int64_t m) { return ((a % m) + m) % m; }

// Relative RMS error against the long-double sum: a few ulps per FFT stage.
constexpr double kTolerance = 1e-13;

// Each grid runs twice: with the vector kernels this processor has, and
// with the baseline build of every loop (FFT kernels and frame loops).
class StftFrames : public PlanCacheTestWithParam<std::tuple<Grid, bool>> {
protected:
    void SetUp() override {
        PlanCacheTest::SetUp();
        setAvx2PathsEnabled(std::get<1>(GetParam()));
        const Grid& g = grid();
        re = randomReals(g.n, 11);
        im = randomReals(g.n, 12);
        window = randomReals(std::max(g.length, 0), 13);
        spec = WindowSpec{g.length > 0 ? window.data() : nullptr, g.length, g.step, g.m};
        interleaved = interleave(re, im);
    }
    void TearDown() override {
        setAvx2PathsEnabled(true);
        PlanCacheTest::TearDown();
    }
    const Grid& grid() const { return std::get<0>(GetParam()); }
    // A window of no samples reads no signal: such frames get no signal at all.
    const double* signal(const std::vector<double>& x) const { return grid().length > 0 ? x.data() : nullptr; }
    std::int64_t binsTotal() const { return grid().frames() * grid().m; }
    std::vector<LongComplex> reference(const std::vector<LongComplex>& x, std::int32_t shift) const {
        const Grid& g = grid();
        return directFrames(x, window, g.step, g.m, g.frames(), 0, g.n, shift);
    }
    // Bin r of the output at outRe[stride * r], outIm[stride * r].
    std::vector<LongComplex> bins(const double* outRe, const double* outIm, std::int64_t stride) const {
        std::vector<LongComplex> got(binsTotal());
        for (std::int64_t r = 0; r < binsTotal(); ++r) got[r] = {outRe[stride * r], outIm[stride * r]};
        return got;
    }

    std::vector<double> re, im, window, interleaved;
    WindowSpec spec{};
};

TEST_P(StftFrames, RealTransformMatchesTheDefinition) {
    const Grid& g = grid();
    std::vector<double> out(binsTotal() + 8, kSentinel);
    std::int32_t shift = g.shift;
    ASSERT_EQ(ReSTFTWithShift(signal(re), g.n, &spec, &shift, out.data()), kStatusOk);
    EXPECT_LT(relativeRmsError(reference(realValues(re), g.shift), halfComplexFrames(out.data(), g.frames(), g.m)),
              kTolerance);
    EXPECT_TRUE(allEqual({out.begin() + binsTotal(), out.end()}, kSentinel));
    EXPECT_EQ(shift, positiveModulo(g.shift, g.m) + g.frames() * g.step);

    ASSERT_EQ(ReSTFT(signal(re), g.n, &spec, out.data()), kStatusOk);
    EXPECT_LT(relativeRmsError(reference(realValues(re), 0), halfComplexFrames(out.data(), g.frames(), g.m)),
              kTolerance);
}

TEST_P(StftFrames, ComplexTransformMatchesTheDefinitionInEveryLayout) {
    const Grid& g = grid();
    const std::int64_t total = binsTotal();
    const std::vector<LongComplex> want = reference(complexValues(re, im), g.shift);
    const std::vector<LongComplex> unshifted = reference(complexValues(re, im), 0);

    // Split input and output at unit strides.
    std::vector<double> outRe(total + 4, kSentinel), outIm(total + 4, kSentinel);
    std::int32_t shift = g.shift;
    ASSERT_EQ(CxSTFTExWithShift(signal(re), signal(im), 1, g.n, &spec, &shift, outRe.data(), outIm.data(), 1),
              kStatusOk);
    EXPECT_LT(relativeRmsError(want, bins(outRe.data(), outIm.data(), 1)), kTolerance);
    EXPECT_TRUE(allEqual({outRe.begin() + total, outRe.end()}, kSentinel));
    EXPECT_TRUE(allEqual({outIm.begin() + total, outIm.end()}, kSentinel));
    EXPECT_EQ(shift, positiveModulo(g.shift, g.m) + g.frames() * g.step);

    // Samples and bins three doubles apart, re and im in one array: the
    // third double of every triple is not ours.
    std::vector<double> x3(3 * static_cast<std::size_t>(g.n), 0.0), out3(3 * total, kSentinel);
    for (std::int32_t t = 0; t < g.n; ++t) x3[3 * t] = re[t], x3[3 * t + 1] = im[t];
    shift = g.shift;
    const double* x3Re = signal(x3);
    ASSERT_EQ(CxSTFTExWithShift(x3Re, x3Re ? x3Re + 1 : nullptr, 3, g.n, &spec, &shift, out3.data(),
                                out3.data() + 1, 3),
              kStatusOk);
    EXPECT_LT(relativeRmsError(want, bins(out3.data(), out3.data() + 1, 3)), kTolerance);
    for (std::size_t r = 2; r < out3.size(); r += 3) ASSERT_EQ(out3[r], kSentinel);

    // Without a shift: interleaved in and out, and interleaved in, split out.
    std::vector<double> cx(2 * total + 4, kSentinel);
    const double* xi = signal(interleaved);
    ASSERT_EQ(CxSTFT(xi, g.n, &spec, cx.data()), kStatusOk);
    EXPECT_LT(relativeRmsError(unshifted, bins(cx.data(), cx.data() + 1, 2)), kTolerance);
    EXPECT_TRUE(allEqual({cx.begin() + 2 * total, cx.end()}, kSentinel));
    ASSERT_EQ(CxSTFTEx(xi, xi ? xi + 1 : nullptr, 2, g.n, &spec, outRe.data(), outIm.data(), 1), kStatusOk);
    EXPECT_LT(relativeRmsError(unshifted, bins(outRe.data(), outIm.data(), 1)), kTolerance);
}

// |X|^2 / M does not depend on the phase reference, so the unshifted
// reference serves the spectrograms. Real rows of M/2 bins start at
// floor(i*M/2); frames are written in order, so with M = 1 the later of
// two frames sharing an element stays.
TEST_P(StftFrames, SpectrogramsAreScaledSquaredMagnitudesInTheirRowLayout) {
    const Grid& g = grid();
    const std::int32_t rowBins = std::max(g.m / 2, 1);
    const std::int64_t rowsEnd = ((g.frames() - 1) * g.m) / 2 + rowBins;
    for (const bool cx : {false, true}) {
        SCOPED_TRACE(cx ? "complex" : "real");
        const std::vector<LongComplex> frames = reference(cx ? complexValues(re, im) : realValues(re), 0);
        const std::int64_t cells = cx ? binsTotal() : rowsEnd;
        std::vector<double> want(cells), out(cells + 8, kSentinel);
        for (std::int64_t i = 0; i < g.frames(); ++i)
            for (std::int32_t k = 0; k < (cx ? g.m : rowBins); ++k)
                want[cx ? i * g.m + k : (i * g.m) / 2 + k] = static_cast<double>(std::norm(frames[i * g.m + k]) / g.m);
        ASSERT_EQ(cx ? CxSTFTsp(signal(interleaved), g.n, &spec, out.data()) : ReSTFTsp(signal(re), g.n, &spec, out.data()),
                  kStatusOk);
        EXPECT_LE(maxAbsDifference({out.begin(), out.begin() + cells}, want), 4 * kTolerance * maxAbs(want));
        EXPECT_TRUE(allEqual({out.begin() + cells, out.end()}, kSentinel));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Grids, StftFrames,
    ::testing::Combine(::testing::Values(Grid{"RectangularSpanNoAliasing", 16, 16, 16, 64, 0},
                                         Grid{"AliasingWindowNotAMultiple", 8, 21, 5, 70, 2},
                                         Grid{"AliasingTwoPeriods", 16, 32, 7, 90, 0},
                                         Grid{"ShortWindowZeroFilled", 32, 11, 4, 60, 5},
                                         Grid{"NegativeShift", 8, 8, 3, 40, -1}, Grid{"ShiftAboveM", 8, 12, 3, 40, 11},
                                         Grid{"MostNegativeShift", 16, 20, 6, 80, INT32_MIN},
                                         Grid{"LargestShift", 16, 10, 4, 50, INT32_MAX},
                                         Grid{"SingleBin", 1, 5, 2, 20, 3}, Grid{"SingleBinOddFrameCount", 1, 3, 1, 7, 0},
                                         Grid{"TwoBins", 2, 3, 1, 9, -3}, Grid{"NyquistDroppedFromRows", 8, 8, 2, 20, 0},
                                         Grid{"StepLongerThanM", 8, 8, 19, 100, 1},
                                         Grid{"TwoFramesWhenNIsLPlusOne", 8, 8, 1, 9, 0},
                                         Grid{"StepThreeLeavesLastSampleUnread", 8, 6, 3, 16, 0},
                                         Grid{"EmptyWindow", 8, 0, 3, 10, 1}, Grid{"NegativeWindowLength", 4, -5, 2, 3, 0},
                                         Grid{"LongerFrames", 512, 700, 250, 1450, 77}),
                       ::testing::Bool()),
    [](const ::testing::TestParamInfo<std::tuple<Grid, bool>>& info) {
        return std::string(std::get<0>(info.param).name) + (std::get<1>(info.param) ? "" : "_Baseline");
    });

class StftBlocks : public PlanCacheTest {};

// A signal cut into blocks overlapping by L - D samples, each block passing
// on the shift the previous one returned, gives the frames of one call over
// the whole signal bit for bit; the final shifts agree modulo M.
TEST_F(StftBlocks, ReturnedShiftContinuesThePhaseReference) {
    const std::int32_t m = 16, length = 40, step = 6, n = 200, firstLength = 100;
    const std::vector<double> re = randomReals(n, 21), im = randomReals(n, 22);
    const std::vector<double> window = randomReals(length, 23);
    const WindowSpec spec{window.data(), length, step, m};
    const std::int64_t half = ((n - length) / step + 1) * m, firstFrames = (firstLength - length) / step + 1;
    const std::int32_t start = static_cast<std::int32_t>(firstFrames * step);
    for (const bool cx : {false, true}) {
        SCOPED_TRACE(cx ? "complex" : "real");
        const auto run = [&](std::int32_t from, std::int32_t count, std::int32_t* shift, double* out) {
            return cx ? CxSTFTExWithShift(&re[from], &im[from], 1, count, &spec, shift, out, out + half, 1)
                      : ReSTFTWithShift(&re[from], count, &spec, shift, out);
        };
        std::vector<double> whole(2 * half), blocks(2 * half);
        std::int32_t wholeShift = cx ? 1000 : -5, blockShift = wholeShift;
        ASSERT_EQ(run(0, n, &wholeShift, whole.data()), kStatusOk);
        ASSERT_EQ(run(0, firstLength, &blockShift, blocks.data()), kStatusOk);
        ASSERT_EQ(run(start, n - start, &blockShift, blocks.data() + firstFrames * m), kStatusOk);
        EXPECT_EQ(blocks, whole);
        EXPECT_EQ(blockShift % m, wholeShift % m);
    }
}

}  // namespace
}  // namespace varnel::testing::gabor
