// The reassigned spectrograms against a long-double evaluation per frame
// (no FFTs, folding or bin loops): X_g(k) = sum over i < L of
// x[m dt + i] g[i] exp(-2 pi i k i / K) for g = h, th, dh, and each cell's
// |X_h|^2 kept, moved or dropped. Rounding to the grid is discontinuous, so
// the reference reports how near its heavy cells come to a rounding or
// threshold decision, and the comparison demands a wide margin.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>
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

using LongComplex = std::complex<long double>;
constexpr double kSentinel = -12345.25;
constexpr double kTolerance = 1e-12;  // of the largest possible cell energy
constexpr long double kPi = std::numbers::pi_v<long double>;

struct Signal {
    std::vector<double> re, im;  // im empty: a real signal
    bool real() const { return im.empty(); }
    std::int32_t n() const { return static_cast<std::int32_t>(re.size()); }
    LongComplex at(std::int64_t t) const { return {re[t], real() ? 0.0 : im[t]}; }
    // What the exports read: the samples, or Cx pairs.
    std::vector<double> samples() const {
        std::vector<double> cx(real() ? re : std::vector<double>(2 * re.size()));
        for (std::size_t t = 0; t < im.size(); ++t) cx[2 * t] = re[t], cx[2 * t + 1] = im[t];
        return cx;
    }
};

struct Reference {
    std::vector<long double> out;
    long double dropped = 0, folded = 0;  // folded: a real signal's energy moved past K/2 and kept
    long double scale = 0;                // bound on any cell energy: max over frames of (sum |h x|)^2
    long double margin = 1;               // closest approach of a heavy cell to a rounding decision
};

Reference reassignedReference(const Signal& x, const std::vector<double>& w, std::int32_t step, std::int32_t k) {
    const std::int64_t length = w.size(), frames = (x.n() - length) / step + 1, binsOut = x.real() ? k / 2 : k;
    std::vector<long double> h(length), th(length), dh(length);
    for (std::int64_t i = 0; i < length; ++i) h[i] = w[i] / std::sqrt(static_cast<long double>(k));
    for (std::int64_t i = 0; i < length; ++i) th[i] = (i - (length - 1) / 2.0L) * h[i];
    for (std::int64_t i = 1; i + 1 < length; ++i) dh[i] = (h[i + 1] - h[i - 1]) / 2;
    const long double d = (h[length - 1] - h[0]) / (length - 1);
    dh[0] = (d + h[1] + h[length - 1]) / 2;
    dh[length - 1] = (d - h[length - 2] - h[0]) / 2;
    long double threshold = 0;
    for (std::int64_t t = 0; t < x.n(); ++t) threshold += std::norm(x.at(t));
    threshold = 1e-6L * threshold / x.n();
    if (!std::isfinite(threshold)) threshold = std::numeric_limits<long double>::quiet_NaN();

    Reference ref;
    ref.out.assign(frames * binsOut, 0.0L);
    for (std::int64_t m = 0; m < frames; ++m) {
        long double bound = 0;
        for (std::int64_t i = 0; i < length; ++i) bound += std::abs(x.at(m * step + i) * h[i]);
        if (std::isfinite(bound)) ref.scale = std::max(ref.scale, bound * bound);
    }
    const auto note = [&](long double p, long double gap) {
        if (p > 0.1L * kTolerance * ref.scale) ref.margin = std::min(ref.margin, gap);
    };
    for (std::int64_t m = 0; m < frames; ++m) {
        for (std::int64_t bin = 0; bin < binsOut; ++bin) {
            LongComplex xh, xth, xdh;
            for (std::int64_t i = 0; i < length; ++i) {
                const LongComplex v = x.at(m * step + i) * std::polar(1.0L, -2 * kPi * ((i * bin) % k) / k);
                xh += v * h[i], xth += v * th[i], xdh += v * dh[i];
            }
            const long double p = std::norm(xh);
            if (threshold > 0) note(p, std::abs(p - threshold) / threshold);
            const long double a = (xth * std::conj(xh)).real() / p / step + 0.5L;
            const long double b = (xdh * std::conj(xh)).imag() / p * k / (2 * kPi) + 0.5L;
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

struct Grid {
    std::int32_t n, length, step, k;
    double gain = 1.0, poison = 0.0;
    bool nearNyquist = false;  // the real part a cosine 0.3 bins below K/2
};

// Random samples in [-1, 1), the first third 1e-4 as loud so that its
// cells fall below the threshold and stay; then the grid's gain, its poison
// in place of sample 5n/6 unless that is 0, and its cosine.
Signal gridSignal(const Grid& g, bool real) {
    Signal x{testing::randomReals(g.n, 41), real ? std::vector<double>{} : testing::randomReals(g.n, 42)};
    for (std::int32_t t = 0; t < g.n; ++t) {
        x.re[t] *= g.gain * (t < g.n / 3 ? 1e-4 : 1.0);
        if (!real) x.im[t] *= g.gain * (t < g.n / 3 ? 1e-4 : 1.0);
        if (g.nearNyquist) x.re[t] = std::cos(2 * kPi * (g.k / 2 - 0.3) * t / g.k) + 0.01 * x.re[t];
    }
    if (g.poison != 0.0) x.re[5 * g.n / 6] = g.poison;
    return x;
}

class ReassignedGrids : public testing::PlanCacheTestWithParam<std::tuple<Grid, bool>> {
protected:
    void TearDown() override {
        setAvx2PathsEnabled(true);
        PlanCacheTest::TearDown();
    }
};

// In both builds of the FFT kernels and bin loops.
TEST_P(ReassignedGrids, MatchesTheDefinition) {
    const auto& [g, real] = GetParam();
    const Signal x = gridSignal(g, real);
    const std::vector<double> w = testing::randomReals(g.length, 43);
    const WindowSpec spec{w.data(), g.length, g.step, g.k};
    const Reference ref = reassignedReference(x, w, g.step, g.k);
    ASSERT_GT(ref.margin, 1e-7) << "a heavy cell lies within rounding of a decision; choose other data";
    for (const bool vectors : {false, true}) {
        setAvx2PathsEnabled(vectors);
        std::vector<double> got(ref.out.size() + 8, kSentinel);
        const auto call = real ? ReReassignedSTFTSp : CxReassignedSTFTSp;
        ASSERT_EQ(call(x.samples().data(), g.n, &spec, got.data()), kStatusOk);
        for (std::size_t i = 0; i < ref.out.size(); ++i) {
            const double want = static_cast<double>(ref.out[i]);
            if (std::isfinite(want))
                ASSERT_NEAR(got[i], want, kTolerance * static_cast<double>(ref.scale)) << i;
            else
                ASSERT_FALSE(std::isfinite(got[i])) << "element " << i;
        }
        for (std::size_t i = ref.out.size(); i < got.size(); ++i) ASSERT_EQ(got[i], kSentinel) << "element " << i;
    }
    if (!g.nearNyquist || !real) return;
    EXPECT_GT(ref.folded, 1e6 * kTolerance * ref.scale);
    EXPECT_GT(ref.dropped, 1e6 * kTolerance * ref.scale);
}

// A window shorter than the bins, one that wraps onto them, an odd
// window length, one frame, a two-sample window on two bins, a longer grid.
// Then gains: a power of two is exact all the way through, threshold
// included, so no absolute floor may show at 2^-300 or 2^40, and the zero
// signal (P = 0, threshold 0) must add nothing anywhere. Last a non-finite
// sample: the frames that hold it keep non-finite cells in place, and the
// threshold is void, so every other cell is reassigned, the quiet ones too.
// And a real cosine just below the Nyquist frequency: cells near K/2 are
// moved past it and fold back, or land on it and are dropped; both rules
// must move enough energy for the comparison to see.
INSTANTIATE_TEST_SUITE_P(
    Grids, ReassignedGrids,
    ::testing::Combine(::testing::Values(Grid{300, 24, 5, 32}, Grid{400, 100, 7, 32}, Grid{257, 45, 3, 64},
                                         Grid{64, 64, 4, 64}, Grid{40, 2, 1, 2}, Grid{2000, 256, 64, 256},
                                         Grid{300, 40, 6, 32, 0x1p-300}, Grid{300, 40, 6, 32, 0x1p40},
                                         Grid{300, 40, 6, 32, 0.0},
                                         Grid{600, 48, 8, 64, 1.0, std::numeric_limits<double>::quiet_NaN()},
                                         Grid{600, 48, 8, 64, 1.0, std::numeric_limits<double>::infinity()},
                                         Grid{500, 40, 10, 32, 1.0, 0.0, true}),
                       ::testing::Bool()));

class Reassigned : public testing::PlanCacheTest {};

// Each row fails one check, or two where their order decides; missing
// names the null pointers: s(pec), w(indow), x (signal), o(ut). Rows: the
// spec first, a signal shorter than the window, length before grid, zero
// and twelve bins, grid before a missing signal, a one-sample window, a
// missing window, window before a missing output.
TEST_F(Reassigned, BadArgumentsAreRejectedInOrder) {
    const struct {
        std::int32_t n, length, step, k;
        std::string missing;
        std::int32_t status;
    } cases[] = {{2, 8, 0, 3, "swxo", kStatusBadWindowSpec}, {7, 8, 1, 8, "", kStatusBadLength},
                 {7, 8, 0, 3, "w", kStatusBadLength},         {20, 8, 1, 0, "", kStatusBadWindowSpec},
                 {20, 8, 1, 12, "", kStatusBadWindowSpec},    {20, 8, 0, 8, "x", kStatusBadWindowSpec},
                 {20, 1, 1, 8, "", kStatusBadWindowSpec},     {20, 8, 1, 8, "w", kStatusBadWindowSpec},
                 {20, 1, 1, 8, "o", kStatusBadWindowSpec}};
    const std::vector<double> x(2 * 64, 0.5), w(64, 1.0);
    std::vector<double> out(2048);
    for (const auto& c : cases) {
        const auto given = [&](char p) { return c.missing.find(p) == std::string::npos; };
        const WindowSpec spec{given('w') ? w.data() : nullptr, c.length, c.step, c.k};
        for (auto* call : {ReReassignedSTFTSp, CxReassignedSTFTSp})
            EXPECT_EQ(call(given('x') ? x.data() : nullptr, c.n, given('s') ? &spec : nullptr,
                           given('o') ? out.data() : nullptr),
                      c.status)
                << &c - cases;
    }
}

}  // namespace
}  // namespace varnel
