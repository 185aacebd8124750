// Oracles and fixtures shared by the Gabor transform and expansion tests:
// the transform and the synthesis written out as sums in long double,
// independent of the FFT, the folding and the wrap-around loops.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <vector>

#include "support/fft_fixtures.h"
#include "support/reference_dft.h"
#include "varnel.h"

namespace varnel::testing::gabor {

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

inline std::vector<LongComplex> interleavedValues(const double* cx, std::int64_t count, std::int64_t stride = 2) {
    std::vector<LongComplex> out(static_cast<std::size_t>(count));
    for (std::int64_t i = 0; i < count; ++i) out[i] = {cx[i * stride], cx[i * stride + 1]};
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

}  // namespace varnel::testing::gabor
