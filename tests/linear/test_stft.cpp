// The STFT family against the textbook definition in long double, straight
// from the signal (no folding or rotation, so aliasing, zero fill and the
// phase reference are checked against the formula):
//   X_i[k] = sum over j < L of w[j] x[iD + j] exp(-2 pi i k (iD + j + s0) / M)
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <complex>
#include <cstdint>
#include <functional>
#include <numbers>
#include <string>
#include <tuple>
#include <vector>

#include "frame/vector_paths.h"
#include "support/fft_fixtures.h"
#include "support/reference_dft.h"
#include "varnel.h"

namespace varnel {
namespace {

using testing::LongComplex;
using Frames = std::vector<std::vector<LongComplex>>;

constexpr double kSentinel = -12345.25;

struct Grid {
    const char* name;
    std::int32_t m, length, step, n, shift;
    std::int64_t frames() const { return (std::int64_t{n} - length) / step + 1; }
};

std::int64_t positiveModulo(std::int64_t a, std::int64_t m) { return ((a % m) + m) % m; }

Frames referenceStft(const std::vector<double>& re, const std::vector<double>& im, const std::vector<double>& w,
                     const Grid& g, std::int32_t shift) {
    std::vector<LongComplex> roots(g.m);
    for (std::int32_t r = 0; r < g.m; ++r) {
        const long double angle = -2.0L * std::numbers::pi_v<long double> * r / g.m;
        roots[r] = {std::cos(angle), std::sin(angle)};
    }
    Frames frames(g.frames(), std::vector<LongComplex>(g.m));
    for (std::int64_t i = 0; i < g.frames(); ++i) {
        for (std::int32_t j = 0; j < g.length; ++j) {
            const std::int64_t t = i * g.step + j;
            const LongComplex sample = LongComplex(re[t], im[t]) * static_cast<long double>(w[j]);
            const std::int64_t phase = positiveModulo(t + shift, g.m);
            for (std::int32_t k = 0; k < g.m; ++k) frames[i][k] += sample * roots[(phase * k) % g.m];
        }
    }
    return frames;
}

// Bound on |X_i[k]| for each frame: the sum of |w[j] x[t]|.
std::vector<double> frameScales(const std::vector<double>& re, const std::vector<double>& im,
                                const std::vector<double>& w, const Grid& g) {
    std::vector<double> scales(g.frames(), 0.0);
    for (std::int64_t i = 0; i < g.frames(); ++i)
        for (std::int32_t j = 0; j < g.length; ++j)
            scales[i] += std::abs(w[j]) * std::hypot(re[i * g.step + j], im[i * g.step + j]);
    return scales;
}

// Relative to the frame's scale: a few ulps per FFT stage.
constexpr double kTolerance = 1e-13;

void expectFrames(const Frames& want, const std::vector<double>& scales,
                  const std::function<std::complex<double>(std::int64_t, std::int32_t)>& got) {
    for (std::size_t i = 0; i < want.size(); ++i)
        for (std::size_t k = 0; k < want[i].size(); ++k) {
            const std::complex<double> bin = got(i, k);
            const double error = std::hypot(bin.real() - static_cast<double>(want[i][k].real()),
                                            bin.imag() - static_cast<double>(want[i][k].imag()));
            ASSERT_LE(error, kTolerance * scales[i]) << "frame " << i << " bin " << k;
        }
}

void expectUntouchedFrom(const std::vector<double>& v, std::size_t from) {
    for (std::size_t r = from; r < v.size(); ++r) ASSERT_EQ(v[r], kSentinel) << "element " << r << " written";
}

// Each grid runs twice: with the vector kernels this processor has, and
// with the baseline build of every loop (FFT kernels and frame loops).
class StftFrames : public testing::PlanCacheTestWithParam<std::tuple<Grid, bool>> {
protected:
    void SetUp() override {
        PlanCacheTest::SetUp();
        setAvx2PathsEnabled(std::get<1>(GetParam()));
        const Grid& g = grid();
        re = testing::randomReals(g.n, 11);
        im = testing::randomReals(g.n, 12);
        zeros.assign(g.n, 0.0);
        window = testing::randomReals(std::max(g.length, 0), 13);
        spec = WindowSpec{g.length > 0 ? window.data() : nullptr, g.length, g.step, g.m};
        interleaved.resize(2 * static_cast<std::size_t>(g.n));
        for (std::int32_t t = 0; t < g.n; ++t) interleaved[2 * t] = re[t], interleaved[2 * t + 1] = im[t];
        realScales = frameScales(re, zeros, window, g);
        complexScales = frameScales(re, im, window, g);
    }
    void TearDown() override {
        setAvx2PathsEnabled(true);
        PlanCacheTest::TearDown();
    }
    const Grid& grid() const { return std::get<0>(GetParam()); }
    // A window of no samples reads no signal: such frames get no signal at all.
    const double* signal(const std::vector<double>& x) const { return grid().length > 0 ? x.data() : nullptr; }
    std::size_t binsTotal() const { return grid().frames() * grid().m; }

    std::vector<double> re, im, zeros, window, interleaved, realScales, complexScales;
    WindowSpec spec{};
};

TEST_P(StftFrames, RealTransformMatchesTheDefinition) {
    const Grid& g = grid();
    const Frames want = referenceStft(re, zeros, window, g, g.shift);
    std::vector<double> out(binsTotal() + 8, kSentinel);
    std::int32_t shift = g.shift;
    ASSERT_EQ(ReSTFTWithShift(signal(re), g.n, &spec, &shift, out.data()), kStatusOk);
    const auto bin = [&](std::int64_t i, std::int32_t k) {
        return std::complex<double>(testing::hcBin(&out[i * g.m], g.m, k));
    };
    expectFrames(want, realScales, bin);
    expectUntouchedFrom(out, binsTotal());
    EXPECT_EQ(shift, positiveModulo(g.shift, g.m) + g.frames() * g.step);

    const Frames unshifted = referenceStft(re, zeros, window, g, 0);
    ASSERT_EQ(ReSTFT(signal(re), g.n, &spec, out.data()), kStatusOk);
    expectFrames(unshifted, realScales, bin);
}

TEST_P(StftFrames, ComplexTransformMatchesTheDefinitionInEveryLayout) {
    const Grid& g = grid();
    const std::size_t total = binsTotal();
    const Frames want = referenceStft(re, im, window, g, g.shift), unshifted = referenceStft(re, im, window, g, 0);
    // Bin r of the output at outRe[stride * r], outIm[stride * r].
    const auto expectAt = [&](const Frames& w, const double* outRe, const double* outIm, std::int64_t stride) {
        expectFrames(w, complexScales, [&](std::int64_t i, std::int32_t k) {
            return std::complex<double>(outRe[stride * (i * g.m + k)], outIm[stride * (i * g.m + k)]);
        });
    };

    // Split input and output at unit strides.
    std::vector<double> outRe(total + 4, kSentinel), outIm(total + 4, kSentinel);
    std::int32_t shift = g.shift;
    ASSERT_EQ(CxSTFTExWithShift(signal(re), signal(im), 1, g.n, &spec, &shift, outRe.data(), outIm.data(), 1),
              kStatusOk);
    expectAt(want, outRe.data(), outIm.data(), 1);
    expectUntouchedFrom(outRe, total);
    expectUntouchedFrom(outIm, total);
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
    expectAt(want, out3.data(), out3.data() + 1, 3);
    for (std::size_t r = 2; r < out3.size(); r += 3) ASSERT_EQ(out3[r], kSentinel);

    // Without a shift: interleaved in and out, and interleaved in, split out.
    std::vector<double> cx(2 * total + 4, kSentinel);
    const double* xi = signal(interleaved);
    ASSERT_EQ(CxSTFT(xi, g.n, &spec, cx.data()), kStatusOk);
    expectAt(unshifted, cx.data(), cx.data() + 1, 2);
    expectUntouchedFrom(cx, 2 * total);
    ASSERT_EQ(CxSTFTEx(xi, xi ? xi + 1 : nullptr, 2, g.n, &spec, outRe.data(), outIm.data(), 1), kStatusOk);
    expectAt(unshifted, outRe.data(), outIm.data(), 1);
}

// |X|^2 / M does not depend on the phase reference, so the shifted
// reference serves the unshifted spectrograms too.
TEST_P(StftFrames, SpectrogramsAreScaledSquaredMagnitudesInTheirRowLayout) {
    const Grid& g = grid();
    const auto power = [&](const LongComplex& z) { return static_cast<double>(std::norm(z) / g.m); };

    // Real rows of M/2 bins from floor(i*M/2); frames written in order, so
    // with M = 1 the later of two frames sharing an element stays.
    const Frames realFrames = referenceStft(re, zeros, window, g, g.shift);
    const std::size_t rowsEnd = ((g.frames() - 1) * g.m) / 2 + std::max(g.m / 2, 1);
    std::vector<double> want(rowsEnd), bound(rowsEnd);
    for (std::int64_t i = 0; i < g.frames(); ++i)
        for (std::int32_t k = 0; k < std::max(g.m / 2, 1); ++k) {
            want[(i * g.m) / 2 + k] = power(realFrames[i][k]);
            bound[(i * g.m) / 2 + k] = 4 * kTolerance * realScales[i] * realScales[i] / g.m + 1e-300;
        }
    std::vector<double> out(rowsEnd + 8, kSentinel);
    ASSERT_EQ(ReSTFTsp(signal(re), g.n, &spec, out.data()), kStatusOk);
    for (std::size_t r = 0; r < rowsEnd; ++r) ASSERT_NEAR(out[r], want[r], bound[r]) << "element " << r;
    expectUntouchedFrom(out, rowsEnd);

    const Frames complexFrames = referenceStft(re, im, window, g, g.shift);
    out.assign(binsTotal() + 8, kSentinel);
    ASSERT_EQ(CxSTFTsp(signal(interleaved), g.n, &spec, out.data()), kStatusOk);
    for (std::int64_t i = 0; i < g.frames(); ++i)
        for (std::int32_t k = 0; k < g.m; ++k)
            ASSERT_NEAR(out[i * g.m + k], power(complexFrames[i][k]),
                        4 * kTolerance * complexScales[i] * complexScales[i] / g.m + 1e-300)
                << "frame " << i << " bin " << k;
    expectUntouchedFrom(out, binsTotal());
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

class StftBlocks : public testing::PlanCacheTest {};

// A signal cut into blocks overlapping by L - D samples, each block passing
// on the shift the previous one returned, gives the frames of one call over
// the whole signal bit for bit; the final shifts agree modulo M.
TEST_F(StftBlocks, ReturnedShiftContinuesThePhaseReference) {
    const std::int32_t m = 16, length = 40, step = 6, n = 200, firstLength = 100;
    const std::vector<double> re = testing::randomReals(n, 21), im = testing::randomReals(n, 22);
    const std::vector<double> window = testing::randomReals(length, 23);
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
}  // namespace varnel
