// The STFT and the Gabor transform and expansion (one- and two-dimensional
// and block-wise) against their definitions written out as sums in long
// double, independent of the FFT, the folding and the wrap-around loops;
// the dual window's corner cases.
//
// The STFT straight from the signal (no folding or rotation, so aliasing,
// zero fill and the phase reference are checked against the formula):
//   X_i[k] = sum over j < L of w[j] x[iD + j] exp(-2 pi i k (iD + j + s0) / M)
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>
#include <numeric>
#include <string>
#include <tuple>
#include <vector>

#include "frame/vector_paths.h"
#include "linear/dual_window.h"
#include "support/fft_fixtures.h"
#include "support/reference_dft.h"
#include "varnel.h"

namespace varnel::testing::gabor {
namespace {

using LongComplex = std::complex<long double>;

// Written into outputs before a call that must not write them.
inline constexpr double kSentinel = -31415.9265;

struct LatticeCase {
    std::int32_t L;
    std::int32_t dM;
    std::int32_t N;
};

inline WindowSpec makeSpec(const std::vector<double>& window, std::int32_t dM, std::int32_t N) {
    return WindowSpec{window.data(), static_cast<std::int32_t>(window.size()), dM, N};
}

// exp(-2 pi i m / N) with m reduced exactly first.
inline LongComplex unitRoot(std::int64_t m, std::int64_t N) {
    const long double pi = 3.141592653589793238462643383279502884L;
    const long double angle = -2.0L * pi * static_cast<long double>(((m % N) + N) % N) / N;
    return {std::cos(angle), std::sin(angle)};
}

// Frame k of F: coefficient b = sum_j g[j] x~(k*dM - h + j) exp(-2 pi i b (k*dM + j + shift)/N),
// x~ the samples zero-padded to P and repeated with period P.
inline std::vector<LongComplex> directFrames(const std::vector<LongComplex>& x, const std::vector<double>& g,
                                             std::int32_t dM, std::int32_t N, std::int64_t F, std::int64_t h,
                                             std::int64_t P, std::int64_t shift = 0) {
    const std::int64_t n = static_cast<std::int64_t>(x.size());
    std::vector<LongComplex> out(static_cast<std::size_t>(F * N)), roots(N);
    for (std::int32_t r = 0; r < N; ++r) roots[r] = unitRoot(r, N);
    for (std::int64_t k = 0; k < F; ++k)
        for (std::int64_t b = 0; b < N; ++b)
            for (std::int64_t j = 0; j < static_cast<std::int64_t>(g.size()); ++j) {
                const std::int64_t t = (((k * dM - h + j) % P) + P) % P;
                const std::int64_t phase = ((b * (k * dM + j + shift)) % N + N) % N;
                if (t < n) out[k * N + b] += static_cast<long double>(g[j]) * x[t] * roots[phase];
            }
    return out;
}

// The periodic transform: P = ceil(n/dM)*dM, window centred (h = L/2).
inline std::vector<LongComplex> directDgt(const std::vector<LongComplex>& x, const std::vector<double>& g,
                                          std::int32_t dM, std::int32_t N) {
    const std::int64_t P = (static_cast<std::int64_t>(x.size()) + dM - 1) / dM * dM;
    return directFrames(x, g, dM, N, P / dM, static_cast<std::int64_t>(g.size()) / 2, P);
}

// Frames over a plain block without extension: frame k reads block[k*dM + j],
// phase referred to the block's first sample.
inline std::vector<LongComplex> directBlockFrames(const std::vector<double>& block, const std::vector<double>& g,
                                                  std::int32_t dM, std::int32_t N, std::int64_t frames) {
    return directFrames({block.begin(), block.end()}, g, dM, N, frames, 0, static_cast<std::int64_t>(block.size()));
}

// Full spectra from frames in the Hc layout (read independently of the
// library's conversions).
inline std::vector<LongComplex> halfComplexFrames(const double* hc, std::int64_t frames, std::int32_t N) {
    std::vector<LongComplex> out(static_cast<std::size_t>(frames * N));
    for (std::int64_t i = 0; i < frames * N; ++i) out[i] = hcBin(hc + i / N * N, N, i % N);
    return out;
}

// Value i at re[i * stride], im[i * stride].
inline std::vector<LongComplex> pairs(const double* re, const double* im, std::int64_t count, std::int64_t stride) {
    std::vector<LongComplex> out(static_cast<std::size_t>(count));
    for (std::int64_t i = 0; i < count; ++i) out[i] = {re[i * stride], im[i * stride]};
    return out;
}

inline std::vector<LongComplex> realValues(const std::vector<double>& x) {
    return std::vector<LongComplex>(x.begin(), x.end());
}

inline std::vector<LongComplex> complexValues(const std::vector<double>& re, const std::vector<double>& im) {
    std::vector<LongComplex> out(re.size());
    for (std::size_t i = 0; i < re.size(); ++i) out[i] = {re[i], im[i]};
    return out;
}

// A smooth, well-conditioned synthesis window and its dual for the lattice.
struct WindowPair {
    std::vector<double> window;
    std::vector<double> dual;
};

inline WindowPair gaussianPair(const LatticeCase& c, std::int32_t mode) {
    WindowPair pair{std::vector<double>(c.L), std::vector<double>(c.L)};
    const double spread = c.L / 6.0;
    EXPECT_EQ(Gaussian(c.L, (c.L - 1) / 2.0, spread * spread, pair.window.data()), kStatusOk);
    EXPECT_EQ(FastDual(pair.window.data(), c.L, c.dM, c.N, mode, pair.dual.data()), kStatusOk);
    return pair;
}

inline bool allEqual(const std::vector<double>& a, double value) {
    for (double v : a)
        if (v != value) return false;
    return true;
}

inline std::vector<double> interleave(const std::vector<double>& re, const std::vector<double>& im) {
    std::vector<double> out(2 * re.size());
    for (std::size_t i = 0; i < re.size(); ++i) out[2 * i] = re[i], out[2 * i + 1] = im[i];
    return out;
}

// The unwrapped overlap-add of the expansion: position u of the
// accumulator receives dM * g[u - k*dM] * y_k[u mod N] from every frame k
// whose window covers it, y_k the inverse DFT (with 1/N) of frame k; u = 0
// is window sample g[0] of frame 0.
inline std::vector<LongComplex> overlapAdd(const std::vector<LongComplex>& frames, const std::vector<double>& g,
                                           std::int32_t dM, std::int32_t N) {
    const std::int64_t F = static_cast<std::int64_t>(frames.size()) / N;
    const std::int64_t L = static_cast<std::int64_t>(g.size());
    std::vector<LongComplex> y(frames.size()), a(static_cast<std::size_t>(F * dM + L));
    for (std::int64_t k = 0; k < F; ++k)
        for (std::int64_t m = 0; m < N; ++m)
            for (std::int64_t b = 0; b < N; ++b) y[k * N + m] += frames[k * N + b] * unitRoot(-b * m, N) / (1.0L * N);
    for (std::int64_t k = 0; k < F; ++k)
        for (std::int64_t j = 0; j < L; ++j)
            a[k * dM + j] += static_cast<long double>(dM) * static_cast<long double>(g[j]) * y[k * N + (k * dM + j) % N];
    return a;
}

// The periodic expansion for P = F*dM >= L - L/2: sample t gathers every
// accumulator position u = t + h (mod P).
inline std::vector<LongComplex> periodicExpansion(const std::vector<LongComplex>& frames, const std::vector<double>& g,
                                                  std::int32_t dM, std::int32_t N) {
    const std::vector<LongComplex> a = overlapAdd(frames, g, dM, N);
    const std::int64_t P = static_cast<std::int64_t>(frames.size()) / N * dM;
    const std::int64_t h = static_cast<std::int64_t>(g.size()) / 2;
    std::vector<LongComplex> out(static_cast<std::size_t>(P));
    for (std::int64_t u = 0; u < static_cast<std::int64_t>(a.size()); ++u) out[((u - h) % P + P) % P] += a[u];
    return out;
}

// Relative RMS error against the long-double sums; the transforms and
// expansions add at most L products per value, so 1e-13 leaves ample room.
constexpr double kTolerance = 1e-13;

struct Grid {
    const char* name;
    std::int32_t m, length, step, n, shift;
    std::int64_t frames() const { return (std::int64_t{n} - length) / step + 1; }
};

std::int64_t positiveModulo(std::int64_t a, std::int64_t m) { return ((a % m) + m) % m; }

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
    std::vector<LongComplex> bins(const double* outRe, const double* outIm, std::int64_t stride) const {
        return pairs(outRe, outIm, binsTotal(), stride);
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
        ASSERT_EQ(cx ? CxSTFTsp(signal(interleaved), g.n, &spec, out.data())
                     : ReSTFTsp(signal(re), g.n, &spec, out.data()),
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

// The cases that need no parameters.
class Transforms : public PlanCacheTest {};

// Interleaved output too large for the caches is written with streaming
// stores where the array's alignment allows them (from an aligned start)
// and with plain ones where it does not (one double further): every bin
// is the one the split layout gets, and nothing past the end is written.
TEST_F(Transforms, LargeInterleavedStftOutputHoldsTheSplitBins) {
    constexpr std::int32_t n = 1 << 19, m = 256, step = 64;
    const std::int64_t total = std::int64_t{(n - m) / step + 1} * m;
    const std::vector<double> x = interleave(randomReals(n, 31), randomReals(n, 32)), w = randomReals(m, 33);
    const WindowSpec spec{w.data(), m, step, m};
    std::vector<double> re(total), im(total), cx(2 * total + 2);
    for (const bool avx2 : {true, false}) {
        setAvx2PathsEnabled(avx2);
        ASSERT_EQ(CxSTFTEx(x.data(), x.data() + 1, 2, n, &spec, re.data(), im.data(), 1), kStatusOk);
        for (const std::int64_t offset : {0, 1}) {
            std::fill(cx.begin(), cx.end(), kSentinel);
            ASSERT_EQ(CxSTFT(x.data(), n, &spec, cx.data() + offset), kStatusOk);
            for (std::int64_t k = 0; k < total; ++k) {
                ASSERT_EQ(cx[offset + 2 * k], re[k]) << k;
                ASSERT_EQ(cx[offset + 2 * k + 1], im[k]) << k;
            }
            EXPECT_EQ(cx[offset == 0 ? 2 * total : 0], kSentinel);
            EXPECT_EQ(cx[2 * total + 1], kSentinel);
        }
    }
    setAvx2PathsEnabled(true);
}

// A signal cut into blocks overlapping by L - D samples, each block passing
// on the shift the previous one returned, gives the frames of one call over
// the whole signal bit for bit; the final shifts agree modulo M.
TEST_F(Transforms, StftReturnedShiftContinuesThePhaseReference) {
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
// lattice L = dM = N = 1. Windows of 6N to 12N over periods that N
// divides take the factorised route: one as long as the period, one in a
// padded period, one wrapping around a period of 5N twice.
const TransformCase kTransformCases[] = {
    {10, {8, 4, 8}},    {3, {8, 4, 8}},    {8, {8, 4, 8}},       {20, {16, 4, 8}}, {37, {32, 8, 16}},
    {64, {64, 16, 32}}, {100, {24, 4, 8}}, {45, {32, 2, 8}},     {2, {1, 1, 1}},   {7, {1, 1, 1}},
    {33, {2, 1, 2}},    {50, {4, 2, 4}},   {129, {128, 16, 16}}, {96, {96, 8, 16}}, {77, {64, 4, 8}},
    {40, {96, 4, 8}},
};

class DgtAgainstFormula : public PlanCacheTestWithParam<TransformCase> {};

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
    EXPECT_LT(relativeRmsError(want, pairs(out.data(), out.data() + 1, count, 2)), kTolerance);
    EXPECT_EQ(out.back(), kSentinel);

    for (const std::int32_t outStride : {1, 2, 3}) {
        SCOPED_TRACE(::testing::Message() << "outStride " << outStride);
        std::vector<double> outRe(count * outStride, kSentinel), outIm(count * outStride, kSentinel);
        const auto collect = [&] { return pairs(outRe.data(), outIm.data(), count, outStride); };
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
// frame's first half wraps onto its second) to many windows; N = 256 runs
// frame transforms of more than one pass. The last two take the
// factorised route, with windows of 6N up to a period long.
const ExpansionCase kExpansionCases[] = {
    {1, {8, 4, 4}},    {2, {8, 4, 8}}, {5, {16, 4, 8}}, {3, {32, 8, 16}},   {9, {64, 16, 32}},
    {7, {2, 1, 2}},    {4, {1, 1, 1}}, {10, {32, 2, 4}}, {3, {256, 64, 256}}, {12, {96, 8, 16}},
    {14, {48, 4, 8}},  {16, {128, 8, 32}},
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
    EXPECT_LT(relativeRmsError(want, pairs(out.data(), out.data() + 1, P, 2)), kTolerance);
    EXPECT_EQ(out[2 * P], kSentinel);
    EXPECT_EQ(interleaved, interleave(re, im)) << "coefficients modified";

    for (const std::int32_t stride : {1, 2, 3}) {
        SCOPED_TRACE(::testing::Message() << "strides " << stride);
        std::vector<double> inRe(count * stride, 0.0), inIm(count * stride, 0.0);
        for (std::int64_t i = 0; i < count; ++i) inRe[i * stride] = re[i], inIm[i * stride] = im[i];
        std::vector<double> outRe(P * stride, kSentinel), outIm(P * stride, kSentinel);
        ASSERT_EQ(CxDGEEx(inRe.data(), inIm.data(), stride, F, c.N, &spec, outRe.data(), outIm.data(), stride, P),
                  kStatusOk);
        EXPECT_LT(relativeRmsError(want, pairs(outRe.data(), outIm.data(), P, stride)), kTolerance);
        if (stride > 1) EXPECT_EQ(outRe[1], kSentinel);
    }
}

INSTANTIATE_TEST_SUITE_P(Lattices, ExpansionAgainstFormula, ::testing::ValuesIn(kExpansionCases));

// Beyond the period the output is zero in every layout; a shorter output
// receives the period's first samples only.
TEST_F(Transforms, ExpansionOutputLengthTruncatesOrPadsWithZeros) {
    const std::vector<double> g = randomReals(16, 51);
    const WindowSpec spec = makeSpec(g, 4, 8);
    const std::vector<double> coef = randomReals(2 * 3 * 8, 52);  // F = 3, P = 12
    std::vector<double> full(12), longer(20, kSentinel), shorter(21, kSentinel);
    ASSERT_EQ(ReDGE(coef.data(), 3, 8, &spec, full.data(), 12), kStatusOk);
    ASSERT_EQ(ReDGE(coef.data(), 3, 8, &spec, longer.data(), 20), kStatusOk);
    ASSERT_EQ(ReDGE(coef.data(), 3, 8, &spec, shorter.data(), 5), kStatusOk);
    for (int t = 0; t < 20; ++t) EXPECT_EQ(longer[t], t < 12 ? full[t] : 0.0);
    for (int t = 0; t < 21; ++t) EXPECT_EQ(shorter[t], t < 5 ? full[t] : kSentinel);

    std::vector<double> cx(40, kSentinel), re(20, kSentinel), im(20, kSentinel), strided(60, kSentinel),
        cxShorter(11, kSentinel);
    ASSERT_EQ(CxDGE(coef.data(), 3, 8, &spec, cx.data(), 20), kStatusOk);
    ASSERT_EQ(CxDGEEx(coef.data(), coef.data() + 1, 2, 3, 8, &spec, re.data(), im.data(), 1, 20), kStatusOk);
    ASSERT_EQ(CxDGEEx(coef.data(), coef.data() + 1, 2, 3, 8, &spec, strided.data(), strided.data() + 1, 3, 20),
              kStatusOk);
    for (int t = 12; t < 20; ++t)
        for (const double v : {cx[2 * t], cx[2 * t + 1], re[t], im[t], strided[3 * t], strided[3 * t + 1]})
            EXPECT_EQ(v, 0.0) << "t " << t;
    for (int t = 0; t < 20; ++t) EXPECT_EQ(strided[3 * t + 2], kSentinel);
    for (int t = 0; t < 12; ++t) EXPECT_TRUE(cx[2 * t] == re[t] && cx[2 * t + 1] == im[t]) << "t " << t;
    ASSERT_EQ(CxDGE(coef.data(), 3, 8, &spec, cxShorter.data(), 5), kStatusOk);
    for (int i = 0; i < 11; ++i) EXPECT_EQ(cxShorter[i], i < 10 ? cx[i] : kSentinel) << i;
}

std::int32_t framesFor(std::int32_t n, std::int32_t dM) { return (n + dM - 1) / dM; }

// image[r][c] = u[r] v[c] has coefficients U[k] V[l]: U the full spectra
// of the real transform of u, V the complex transform of v. The second
// image's windows are long enough for both dimensions to factorise.
TEST_F(Transforms, OuterProductImageHasFactorisedCoefficients) {
    for (const auto& [first, second, nRows, nCols] :
         {std::tuple{LatticeCase{16, 4, 8}, LatticeCase{8, 2, 4}, 13, 22},
          std::tuple{LatticeCase{32, 2, 4}, LatticeCase{16, 2, 4}, 31, 23}}) {
        const std::vector<double> g1 = randomReals(first.L, 71), g2 = randomReals(second.L, 72);
        const WindowSpec spec1 = makeSpec(g1, first.dM, first.N), spec2 = makeSpec(g2, second.dM, second.N);
        const std::vector<double> u = randomReals(nRows, 73), v = randomReals(nCols, 74);
        std::vector<double> image(nRows * nCols);
        for (std::int32_t r = 0; r < nRows; ++r) {
            for (std::int32_t c = 0; c < nCols; ++c) image[r * nCols + c] = u[r] * v[c];
        }
        const std::vector<LongComplex> U = directDgt(realValues(u), g1, first.dM, first.N),
                                       V = directDgt(realValues(v), g2, second.dM, second.N);
        const std::int64_t depth = std::int64_t{framesFor(nRows, first.dM)} * first.N,
                           width = std::int64_t{framesFor(nCols, second.dM)} * second.N;
        ASSERT_EQ(static_cast<std::int64_t>(U.size()), depth);
        std::vector<double> out(2 * depth * width + 1, kSentinel);
        ASSERT_EQ(DGT2d(image.data(), nRows, nCols, &spec1, &spec2, out.data()), kStatusOk);
        EXPECT_EQ(out.back(), kSentinel);
        std::vector<LongComplex> want(depth * width);
        for (std::int64_t k = 0; k < depth; ++k) {
            for (std::int64_t l = 0; l < width; ++l) want[k * width + l] = U[k] * V[l];
        }
        EXPECT_LT(relativeRmsError(want, pairs(out.data(), out.data() + 1, depth * width, 2)), kTolerance)
            << nRows << " x " << nCols;
    }
}

// Any coefficients, not only a real image's: the image is the real part
// of the complex expansion along the rows, then down the columns, zeros
// past either period. Odd column counts cross the column blocks; the
// second case's windows are long enough for both dimensions to factorise;
// a first dimension of 1 or 2 bins pairs each bin with itself, the last
// one into an image of a single row.
TEST_F(Transforms, ExpansionOfAnyCoefficientsIsTheRealPartOfTheComplexOne) {
    for (const auto& [F1, first, F2, second, nRows, nCols] :
         {std::tuple{5, LatticeCase{16, 4, 8}, 3, LatticeCase{8, 4, 8}, 20, 13},
          std::tuple{8, LatticeCase{16, 2, 4}, 12, LatticeCase{24, 2, 4}, 17, 23},
          std::tuple{6, LatticeCase{4, 2, 2}, 4, LatticeCase{16, 4, 16}, 14, 16},
          std::tuple{4, LatticeCase{1, 1, 1}, 2, LatticeCase{8, 4, 8}, 1, 9}}) {
        const std::vector<double> g1 = randomReals(first.L, 81), g2 = randomReals(second.L, 82);
        const WindowSpec spec1 = makeSpec(g1, first.dM, first.N), spec2 = makeSpec(g2, second.dM, second.N);
        const std::int64_t depth = std::int64_t{F1} * first.N, width = std::int64_t{F2} * second.N;
        const std::vector<double> coef = randomReals(2 * depth * width, 83);
        std::vector<std::vector<LongComplex>> rows(depth);  // rows[k][c]: row expansion k at column c
        for (std::int64_t k = 0; k < depth; ++k) {
            const double* block = coef.data() + 2 * k * width;
            rows[k] = periodicExpansion(pairs(block, block + 1, width, 2), g2, second.dM, second.N);
        }
        std::vector<double> image(nRows * nCols + 1, kSentinel);
        ASSERT_EQ(DGE2d(coef.data(), F1, first.N, F2, second.N, &spec1, &spec2, image.data(), nRows, nCols),
                  kStatusOk);
        EXPECT_EQ(image.back(), kSentinel);
        std::vector<LongComplex> want, got;
        for (std::int32_t c = 0; c < nCols; ++c) {
            std::vector<LongComplex> column(depth);
            for (std::int64_t k = 0; k < depth; ++k) column[k] = c < F2 * second.dM ? rows[k][c] : 0.0L;
            const std::vector<LongComplex> samples = periodicExpansion(column, g1, first.dM, first.N);
            for (std::int32_t r = 0; r < nRows; ++r) {
                want.emplace_back(r < F1 * first.dM ? samples[r].real() : 0.0L);
                got.emplace_back(image[r * nCols + c]);
            }
        }
        EXPECT_LT(relativeRmsError(want, got), kTolerance) << F1 << " frames of " << first.N;
    }
}

// The block-wise transform and expansion: each call against the
// written-out sums, and a stream of blocks rebuilt by the expansion.
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
// time step. What is left is kept from the first frame not made, also when
// a caller's history is longer than a window.
TEST_F(Transforms, FramesAreTheWrittenOutSumOverHistoryAndBlocks) {
    struct Case {
        LatticeCase c;
        std::int32_t kept;
        std::vector<std::int32_t> blocks;
        std::vector<std::int64_t> frames;
    };
    for (const Case& cs : {Case{{16, 4, 8}, 5, {37}, {7}}, Case{{16, 4, 8}, 0, {9, 7}, {0, 1}},
                           Case{{4, 1, 4}, 0, {3, 1}, {0, 1}}, Case{{8, 8, 8}, 0, {5, 3}, {0, 1}},
                           Case{{16, 4, 8}, 42, {1}, {7}}}) {
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
TEST_F(Transforms, StreamingExpansionOfEachCallRebuildsTheDelayedSignal) {
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


// One block against the unwrapped overlap-add: out[t] = A[t] + state[t],
// the new state the L - dM accumulator values after the block.
TEST_F(Transforms, BlockIsTheUnwrappedOverlapAddPlusTheCarriedState) {
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

// The periodic dual with dM dividing N comes from the window's spectra;
// the residues' decompositions solve the same least-norm systems directly.
// Gaussians as wide as the bins, random and half-zero windows (whose
// systems lose rank), one to 16 blocks per residue, correlation lengths 1,
// 3, 5, 45 and powers of two.
TEST(FastDual, FactorisedPeriodicDualIsTheDecompositionsLeastNormSolution) {
    struct Lattice {
        std::int32_t L, dM, N;
    };
    for (const Lattice c : {Lattice{8, 8, 8}, Lattice{16, 4, 8}, Lattice{24, 2, 8}, Lattice{40, 8, 8},
                            Lattice{720, 4, 16}, Lattice{256, 4, 64}, Lattice{1024, 128, 128}, Lattice{2048, 16, 64}}) {
        std::vector<double> gaussian(c.L), random = randomReals(c.L, 7), halfZero = randomReals(c.L, 8);
        ASSERT_EQ(Gaussian(c.L, c.L / 2.0, c.N * c.N / 16.0, gaussian.data()), kStatusOk);
        std::fill(halfZero.begin() + c.L / 2, halfZero.end(), 0.0);
        for (const std::vector<double>& window : {gaussian, random, halfZero}) {
            std::vector<double> fast(c.L), direct(c.L);
            ASSERT_EQ(varnel::gabor::factorisedPeriodicDual(window.data(), c.L, c.dM, c.N, fast.data()), kStatusOk);
            ASSERT_EQ(varnel::gabor::residueSystemDual(window.data(), c.L, c.dM, c.N, 0, direct.data()), kStatusOk);
            EXPECT_LE(maxAbsDifference(fast, direct), 1e-12 * maxAbs(direct)) << c.L << " " << c.dM << " " << c.N;
        }
    }
}

}  // namespace
}  // namespace varnel::testing::gabor
