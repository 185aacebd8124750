// The reassigned spectrograms against a long-double evaluation of their
// definition, written out per frame without FFTs, folding or the library's
// bin loops:
//
//   X_g(k) = sum over i < L of x[m dt + i] g[i] exp(-2 pi i k i / K), g = h, th, dh,
//
// then every cell's energy |X_h|^2 kept, moved to (m + floor(Re(X_th/X_h)/dt + 1/2),
// k - floor(Im(X_dh/X_h) K/(2 pi) + 1/2) mod K) or dropped.
//
// Quantising to the grid is discontinuous: a cell whose offset lies within
// rounding of a half (or whose energy lies within rounding of the
// threshold) may land elsewhere in double than in long double. The
// reference reports how close the data comes to such a boundary, over the
// cells heavy enough to matter at the comparison tolerance, and the tests
// assert that this margin is wide, so that the fixed random data below is
// known to be free of such cells rather than compared with a loose bound.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>
#include <numbers>
#include <string>
#include <tuple>
#include <vector>

#include "fft/plan_cache.h"
#include "fft/simd/vector_kernels.h"
#include "support/allocation_faults.h"
#include "support/fft_fixtures.h"
#include "support/reference_dft.h"
#include "varnel.h"

namespace varnel {
namespace {

using LongComplex = std::complex<long double>;
constexpr double kSentinel = -12345.25;
constexpr double kTolerance = 1e-12;  // of the largest possible cell energy

struct Signal {
    std::vector<double> re, im;  // im empty: a real signal
    bool real() const { return im.empty(); }
    std::int32_t n() const { return static_cast<std::int32_t>(re.size()); }
    // Cx samples for the complex export, the samples themselves otherwise.
    std::vector<double> samples() const {
        if (real()) return re;
        std::vector<double> cx(2 * re.size());
        for (std::size_t t = 0; t < re.size(); ++t) cx[2 * t] = re[t], cx[2 * t + 1] = im[t];
        return cx;
    }
};

struct Reference {
    std::vector<long double> out;
    long double dropped = 0;
    long double folded = 0;  // energy of a real signal moved above K/2 and folded back
    long double scale = 0;   // bound on any cell energy: max over frames of (sum |h x|)^2
    long double margin = 1;  // closest approach of a heavy cell to a rounding decision
};

Reference reassignedReference(const Signal& x, const std::vector<double>& w, std::int32_t step, std::int32_t k) {
    const std::int64_t length = w.size(), n = x.n(), frames = (n - length) / step + 1;
    const std::int64_t binsOut = x.real() ? k / 2 : k;
    const auto sample = [&](std::int64_t t) { return LongComplex(x.re[t], x.real() ? 0.0 : x.im[t]); };
    std::vector<long double> h(length), th(length), dh(length);
    for (std::int64_t i = 0; i < length; ++i) {
        h[i] = w[i] / std::sqrt(static_cast<long double>(k));
        th[i] = (i - (length - 1) / 2.0L) * h[i];
    }
    const long double d = (h[length - 1] - h[0]) / (length - 1);
    dh[0] = (d + h[1] + h[length - 1]) / 2;
    dh[length - 1] = (d - h[length - 2] - h[0]) / 2;
    for (std::int64_t i = 1; i + 1 < length; ++i) dh[i] = (h[i + 1] - h[i - 1]) / 2;
    long double threshold = 0;
    for (std::int64_t t = 0; t < n; ++t) threshold += std::norm(sample(t));
    threshold = 1e-6L * threshold / n;
    if (!std::isfinite(threshold)) threshold = std::numeric_limits<long double>::quiet_NaN();
    std::vector<LongComplex> roots(k);
    for (std::int64_t r = 0; r < k; ++r) roots[r] = std::polar(1.0L, -2 * std::numbers::pi_v<long double> * r / k);

    Reference ref;
    ref.out.assign(frames * binsOut, 0.0L);
    for (std::int64_t m = 0; m < frames; ++m) {
        long double bound = 0;
        for (std::int64_t i = 0; i < length; ++i) bound += std::abs(sample(m * step + i) * h[i]);
        if (std::isfinite(bound)) ref.scale = std::max(ref.scale, bound * bound);
    }
    const auto note = [&](long double p, long double gap) {
        if (p > 0.1L * kTolerance * ref.scale) ref.margin = std::min(ref.margin, gap);
    };
    for (std::int64_t m = 0; m < frames; ++m) {
        for (std::int64_t bin = 0; bin < binsOut; ++bin) {
            LongComplex xh, xth, xdh;
            for (std::int64_t i = 0; i < length; ++i) {
                const LongComplex v = sample(m * step + i) * roots[(i * bin) % k];
                xh += v * h[i], xth += v * th[i], xdh += v * dh[i];
            }
            const long double p = std::norm(xh);
            if (threshold > 0) note(p, std::abs(p - threshold) / threshold);
            const long double a = (xth * std::conj(xh)).real() / p / step + 0.5L;
            const long double b = (xdh * std::conj(xh)).imag() / p * k / (2 * std::numbers::pi_v<long double>)+0.5L;
            if ((x.real() ? p <= threshold : p < threshold) || !std::isfinite(a) || !std::isfinite(b)) {
                ref.out[m * binsOut + bin] += p;
                continue;
            }
            note(p, std::min(std::abs(a - std::nearbyint(a)), std::abs(b - std::nearbyint(b))));
            const std::int64_t frame = m + static_cast<std::int64_t>(std::floor(a));
            std::int64_t target = ((bin - static_cast<std::int64_t>(std::floor(b))) % k + k) % k;
            const bool folds = x.real() && target > k / 2;
            if (folds) target = k - target;
            const bool kept = frame >= 0 && frame < frames && (!x.real() || target < k / 2);
            if (kept && folds) ref.folded += p;
            (kept ? ref.out[frame * binsOut + target] : ref.dropped) += p;
        }
    }
    return ref;
}

std::int32_t reassigned(const Signal& x, const WindowSpec& spec, double* out) {
    const std::vector<double> samples = x.samples();
    return x.real() ? ReReassignedSTFTSp(samples.data(), x.n(), &spec, out)
                    : CxReassignedSTFTSp(samples.data(), x.n(), &spec, out);
}

std::size_t outSize(const Signal& x, const WindowSpec& spec) {
    return ((x.n() - spec.windowLength) / spec.timeStep + 1) *
           static_cast<std::size_t>(x.real() ? spec.binCount / 2 : spec.binCount);
}

// Random samples in [-1, 1), the first third 1e-4 as loud so that its
// cells fall below the threshold and stay.
Signal randomSignal(std::int32_t n, bool real, std::uint32_t seed) {
    Signal x{testing::randomReals(n, seed), real ? std::vector<double>{} : testing::randomReals(n, seed + 1)};
    for (std::int32_t t = 0; t < n / 3; ++t) {
        x.re[t] *= 1e-4;
        if (!real) x.im[t] *= 1e-4;
    }
    return x;
}

void expectMatches(const std::vector<double>& got, const Reference& ref) {
    ASSERT_GT(ref.margin, 1e-7) << "a heavy cell lies within rounding of a decision; choose other data";
    for (std::size_t i = 0; i < ref.out.size(); ++i) {
        const double want = static_cast<double>(ref.out[i]);
        if (!std::isfinite(want)) {
            ASSERT_FALSE(std::isfinite(got[i])) << "element " << i;
            continue;
        }
        ASSERT_NEAR(got[i], want, kTolerance * static_cast<double>(ref.scale)) << "element " << i;
    }
    for (std::size_t i = ref.out.size(); i < got.size(); ++i) ASSERT_EQ(got[i], kSentinel) << "element " << i;
}

struct Grid {
    const char* name;
    std::int32_t n, length, step, k;
};

class ReassignedGrids : public testing::PlanCacheTestWithParam<std::tuple<Grid, bool>> {
protected:
    void TearDown() override {
        fft::setVectorKernelsEnabled(true);
        PlanCacheTest::TearDown();
    }
};

// Against the reference, with the energy balance against the plain
// spectrogram (|X_h|^2 is its |X|^2/K): what is not in the output is
// exactly what the reference dropped. The baseline build of the FFT
// kernels and of the bin loops is checked as well.
TEST_P(ReassignedGrids, MatchesTheDefinitionAndConservesEnergy) {
    const auto& [g, real] = GetParam();
    const Signal x = randomSignal(g.n, real, 41);
    const std::vector<double> w = testing::randomReals(g.length, 43);
    const WindowSpec spec{w.data(), g.length, g.step, g.k};
    const Reference ref = reassignedReference(x, w, g.step, g.k);
    std::vector<double> out(outSize(x, spec) + 8, kSentinel);
    fft::setVectorKernelsEnabled(false);
    ASSERT_EQ(reassigned(x, spec, out.data()), kStatusOk);
    expectMatches(out, ref);
    fft::setVectorKernelsEnabled(true);
    std::fill(out.begin(), out.end(), kSentinel);
    ASSERT_EQ(reassigned(x, spec, out.data()), kStatusOk);
    expectMatches(out, ref);

    if (g.n > g.length) {
        std::vector<double> plain(outSize(x, spec));
        const std::vector<double> samples = x.samples();
        ASSERT_EQ((real ? ReSTFTsp : CxSTFTsp)(samples.data(), g.n, &spec, plain.data()), kStatusOk);
        long double plainTotal = 0, total = 0;
        for (std::size_t i = 0; i < plain.size(); ++i) plainTotal += plain[i], total += out[i];
        EXPECT_NEAR(static_cast<double>(total + ref.dropped), static_cast<double>(plainTotal),
                    kTolerance * static_cast<double>(ref.scale) * plain.size());
    }
}

INSTANTIATE_TEST_SUITE_P(Grids, ReassignedGrids,
                         ::testing::Combine(::testing::Values(Grid{"WindowShorterThanBins", 300, 24, 5, 32},
                                                              Grid{"WindowWrapsOntoBins", 400, 100, 7, 32},
                                                              Grid{"OddWindowLength", 257, 45, 3, 64},
                                                              Grid{"OneFrame", 64, 64, 4, 64},
                                                              Grid{"TwoSampleWindowTwoBins", 40, 2, 1, 2},
                                                              Grid{"LongerGrid", 2000, 256, 64, 256}),
                                            ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) ? "_Real" : "_Complex");
                         });

class Reassigned : public testing::PlanCacheTest {};

// A real cosine just below the Nyquist frequency: cells near K/2 are moved
// past it and fold back, or land on it and are dropped.
TEST_F(Reassigned, EnergyPastNyquistFoldsBack) {
    const std::int32_t n = 500, length = 40, step = 10, k = 32;
    const std::vector<double> w = testing::randomReals(length, 91);
    const WindowSpec spec{w.data(), length, step, k};
    Signal x{testing::randomReals(n, 93), {}};
    for (std::int32_t t = 0; t < n; ++t)
        x.re[t] = std::cos(2 * std::numbers::pi * (k / 2 - 0.3) * t / k) + 0.01 * x.re[t];
    const Reference ref = reassignedReference(x, w, step, k);
    std::vector<double> out(outSize(x, spec) + 8, kSentinel);
    ASSERT_EQ(ReReassignedSTFTSp(x.re.data(), n, &spec, out.data()), kStatusOk);
    expectMatches(out, ref);
    // Both rules must have moved enough energy for the comparison to see.
    EXPECT_GT(ref.folded, 1e6 * kTolerance * ref.scale);
    EXPECT_GT(ref.dropped, 1e6 * kTolerance * ref.scale);
}

// A non-finite sample: the frames that hold it keep non-finite cells in
// place, the threshold is void so every other cell is reassigned, which
// moves the quiet cells that would otherwise stay.
TEST_F(Reassigned, NonFiniteSampleLeavesItsFramesAndReassignsEveryCell) {
    const std::int32_t n = 600, length = 48, step = 8, k = 64, bad = 500;
    const std::vector<double> w = testing::randomReals(length, 51);
    const WindowSpec spec{w.data(), length, step, k};
    for (const bool real : {true, false}) {
        for (const double value : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
            SCOPED_TRACE(::testing::Message() << (real ? "real " : "complex ") << value);
            Signal x = randomSignal(n, real, 53);
            std::vector<double> finite(outSize(x, spec)), out(outSize(x, spec) + 8, kSentinel);
            ASSERT_EQ(reassigned(x, spec, finite.data()), kStatusOk);
            x.re[bad] = value;
            const Reference ref = reassignedReference(x, w, step, k);
            ASSERT_EQ(reassigned(x, spec, out.data()), kStatusOk);
            expectMatches(out, ref);
            const std::size_t row = real ? k / 2 : k;
            for (std::int64_t m = 0; m * step <= n - length; ++m) {
                const bool holds = m * step <= bad && bad < m * step + length;
                for (std::size_t b = 0; b < row; ++b) ASSERT_EQ(std::isfinite(out[m * row + b]), !holds);
            }
            // Frame 0 lies in the quiet third: its cells no longer stay.
            EXPECT_NE(std::vector<double>(out.begin(), out.begin() + row),
                      std::vector<double>(finite.begin(), finite.begin() + row));
        }
    }
}

// Scaling by a power of two is exact all the way through, threshold
// included, so the output scales exactly by its square.
TEST_F(Reassigned, ScalingTheSignalScalesTheOutputBySquare) {
    const std::vector<double> w = testing::randomReals(40, 61);
    const WindowSpec spec{w.data(), 40, 6, 32};
    for (const bool real : {true, false}) {
        const Signal x = randomSignal(300, real, 63);
        std::vector<double> out(outSize(x, spec));
        ASSERT_EQ(reassigned(x, spec, out.data()), kStatusOk);
        for (const double a : {0x1p-300, 0x1p-20, 0x1p40}) {
            Signal scaled = x;
            for (double& v : scaled.re) v *= a;
            for (double& v : scaled.im) v *= a;
            std::vector<double> got(out.size());
            ASSERT_EQ(reassigned(scaled, spec, got.data()), kStatusOk);
            for (std::size_t i = 0; i < out.size(); ++i) ASSERT_EQ(got[i], out[i] * a * a) << a << " element " << i;
        }
    }
}

TEST_F(Reassigned, ZeroSignalGivesZeros) {
    const std::vector<double> w = testing::randomReals(30, 71);
    const WindowSpec spec{w.data(), 30, 5, 16};
    for (const bool real : {true, false}) {
        const Signal x{std::vector<double>(200, 0.0), real ? std::vector<double>{} : std::vector<double>(200, 0.0)};
        std::vector<double> out(outSize(x, spec), kSentinel);
        ASSERT_EQ(reassigned(x, spec, out.data()), kStatusOk);
        for (const double v : out) ASSERT_EQ(v, 0.0);
    }
}

// A complex tone at the centre of bin k0 under a symmetric window: X_th and
// X_dh vanish in its own column, so every cell there keeps its place, and
// no energy changes frame.
TEST_F(Reassigned, ToneAtABinCentreKeepsItsColumn) {
    const std::int32_t n = 640, length = 63, step = 16, k = 64, k0 = 10;
    std::vector<double> w(length), tone(2 * n);
    for (std::int32_t j = 0; j < length; ++j) w[j] = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * j / (length - 1));
    for (std::int32_t t = 0; t < n; ++t) {
        tone[2 * t] = std::cos(2 * std::numbers::pi * k0 * t / k);
        tone[2 * t + 1] = std::sin(2 * std::numbers::pi * k0 * t / k);
    }
    const WindowSpec spec{w.data(), length, step, k};
    const std::size_t frames = (n - length) / step + 1;
    std::vector<double> out(frames * k), plain(frames * k);
    ASSERT_EQ(CxReassignedSTFTSp(tone.data(), n, &spec, out.data()), kStatusOk);
    ASSERT_EQ(CxSTFTsp(tone.data(), n, &spec, plain.data()), kStatusOk);
    for (std::size_t m = 0; m < frames; ++m) {
        double rowOut = 0, rowPlain = 0;
        for (std::int32_t b = 0; b < k; ++b) rowOut += out[m * k + b], rowPlain += plain[m * k + b];
        EXPECT_NEAR(rowOut, rowPlain, 1e-12 * rowPlain) << "frame " << m;
        EXPECT_GE(out[m * k + k0], plain[m * k + k0] * (1 - 1e-12)) << "frame " << m;
        EXPECT_GT(out[m * k + k0], 0.99 * rowPlain) << "frame " << m;
    }
}

struct BadArguments {
    const char* name;
    std::int32_t n, length, step, k;
    bool nullSpec, nullWindow, nullSignal, nullOut;
    std::int32_t status;
};

class ReassignedArguments : public testing::PlanCacheTestWithParam<BadArguments> {};

TEST_P(ReassignedArguments, RejectedInOrderWithNothingWritten) {
    const BadArguments& a = GetParam();
    const std::vector<double> x(2 * 64, 0.5), w(64, 1.0);
    const WindowSpec spec{a.nullWindow ? nullptr : w.data(), a.length, a.step, a.k};
    for (auto* call : {ReReassignedSTFTSp, CxReassignedSTFTSp}) {
        std::vector<double> out(2048, kSentinel);
        EXPECT_EQ(call(a.nullSignal ? nullptr : x.data(), a.n, a.nullSpec ? nullptr : &spec,
                       a.nullOut ? nullptr : out.data()),
                  a.status);
        for (const double v : out) ASSERT_EQ(v, kSentinel);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReassignedArguments,
    ::testing::Values(
        BadArguments{"MissingSpecFirst", 2, 8, 0, 3, true, true, true, true, kStatusBadWindowSpec},
        BadArguments{"SignalShorterThanWindow", 7, 8, 1, 8, false, false, false, false, kStatusBadLength},
        BadArguments{"LengthBeforeGrid", 7, 8, 0, 3, false, true, false, false, kStatusBadLength},
        BadArguments{"BothLengthsNegative", -5, -3, 1, 8, false, false, false, false, kStatusBadLength},
        BadArguments{"ZeroStep", 20, 8, 0, 8, false, false, false, false, kStatusBadWindowSpec},
        BadArguments{"NegativeStep", 20, 8, -4, 8, false, false, false, false, kStatusBadWindowSpec},
        BadArguments{"ZeroBins", 20, 8, 1, 0, false, false, false, false, kStatusBadWindowSpec},
        BadArguments{"MostNegativeBins", 20, 8, 1, INT32_MIN, false, false, false, false, kStatusBadWindowSpec},
        BadArguments{"TwelveBins", 20, 8, 1, 12, false, false, false, false, kStatusBadWindowSpec},
        BadArguments{"GridBeforeMissingSignal", 20, 8, 0, 8, false, false, true, false, kStatusBadWindowSpec},
        BadArguments{"OneSampleWindow", 20, 1, 1, 8, false, false, false, false, kStatusBadWindowSpec},
        BadArguments{"EmptyWindow", 20, 0, 1, 8, false, false, false, false, kStatusBadWindowSpec},
        BadArguments{"NegativeWindowLength", 20, -3, 1, 8, false, false, false, false, kStatusBadWindowSpec},
        BadArguments{"MissingWindow", 20, 8, 1, 8, false, true, false, false, kStatusBadWindowSpec},
        BadArguments{"WindowBeforeMissingOut", 20, 1, 1, 8, false, false, false, true, kStatusBadWindowSpec},
        BadArguments{"MissingSignal", 20, 8, 1, 8, false, false, true, false, kStatusBadLength},
        BadArguments{"MissingOut", 20, 8, 1, 8, false, false, false, true, kStatusBadLength}),
    [](const auto& info) { return std::string(info.param.name); });

// Every allocation failing in turn: -20001, nothing written, nothing
// leaked, no plan left in the cache.
TEST_F(Reassigned, EachAllocationFailureIsReportedWithNothingWritten) {
    const std::vector<double> x = testing::randomReals(2 * 200, 81), w = testing::randomReals(40, 82);
    const WindowSpec spec{w.data(), 40, 7, 16};
    for (auto* call : {ReReassignedSTFTSp, CxReassignedSTFTSp}) {
        std::vector<double> out(((200 - 40) / 7 + 1) * 16);
        const std::int64_t total = testing::sweepAllocationFaults([&](bool expectFailure) {
            std::fill(out.begin(), out.end(), kSentinel);
            EXPECT_EQ(call(x.data(), 200, &spec, out.data()), expectFailure ? kStatusNoMemory : kStatusOk);
            if (expectFailure) {
                for (const double v : out) ASSERT_EQ(v, kSentinel);
            }
            EXPECT_EQ(fft::planCacheSize(), 0);
        });
        EXPECT_GE(total, 2);
    }
}

}  // namespace
}  // namespace varnel
