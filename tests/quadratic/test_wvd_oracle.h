// Textbook evaluation of the Wigner-Ville and Cohen-class distributions in
// long double, written from their definitions and not from the library's
// stages: DFTs by direct summation, the analysed sequence from its
// frequency-domain formula, the lag table by a plain loop, the smoothing as
// a circular convolution in time and the lag transform as the two-sided
// sum over lags.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <functional>
#include <numbers>
#include <vector>

#include "support/reference_dft.h"

namespace varnel::testing {

using LC = std::complex<long double>;
using Distribution = std::vector<std::vector<long double>>;  // [slice][bin]

enum class Mode { Complex, Analytic, Real };
inline constexpr Mode kModes[] = {Mode::Complex, Mode::Analytic, Mode::Real};

inline const char* modeName(Mode m) {
    return m == Mode::Complex ? "complex" : m == Mode::Analytic ? "analytic" : "real";
}

struct TestSignal {
    std::vector<double> re, im;  // im empty for a real signal
    Mode mode;
    const double* imOrNull() const { return mode == Mode::Complex ? im.data() : nullptr; }
    std::int32_t analyticFlag() const { return mode == Mode::Analytic ? 1 : 0; }
    std::int32_t n() const { return static_cast<std::int32_t>(re.size()); }
    // Grid of the analysed sequence: half-sample (2) or whole-sample (1).
    std::int32_t up() const { return mode == Mode::Analytic ? 1 : 2; }
    std::int32_t lagLength(std::int32_t nFreq) const { return mode == Mode::Analytic ? nFreq / 2 : nFreq; }
    std::int32_t bins(std::int32_t nFreq) const { return mode == Mode::Complex ? nFreq : nFreq / 2; }
};

inline TestSignal randomSignal(Mode mode, std::int32_t n, std::uint32_t seed) {
    return {randomReals(n, seed), mode == Mode::Complex ? randomReals(n, seed + 1) : std::vector<double>{}, mode};
}

inline std::vector<LC> inverseDft(const std::vector<LC>& spectrum) {
    std::vector<LC> x = referenceDft(spectrum, +1);
    for (LC& v : x) v /= static_cast<long double>(spectrum.size());
    return x;
}

// Analytic signal (sqrt 2 on the positive bins of the zero-padded
// spectrum) or the sequence at twice the rate whose odd samples are the
// band-limited interpolant at n + 1/2 (frequency k taken as k - M above M/2,
// the Nyquist term as -M/2 for a complex signal and dropped for a real one).
inline std::vector<LC> analysedSequence(const TestSignal& s) {
    const std::int32_t n = s.n(), m = powerOfTwoAtLeast(n);
    std::vector<LC> x(m);
    for (std::int32_t i = 0; i < n; ++i) x[i] = {s.re[i], s.mode == Mode::Complex ? s.im[i] : 0.0};
    std::vector<LC> spectrum = referenceDft(x);
    const long double pi = std::numbers::pi_v<long double>;
    for (std::int32_t k = 1; k < m; ++k) {
        const bool nyquist = 2 * k == m;
        if (s.mode == Mode::Analytic) {
            spectrum[k] = 2 * k < m ? spectrum[k] * std::sqrt(2.0L) : nyquist ? LC(spectrum[k].real()) : LC(0);
        } else if (nyquist && s.mode == Mode::Real) {
            spectrum[k] = 0;
        } else {
            const long double frequency = 2 * k <= m ? (nyquist ? -k : k) : k - m;
            spectrum[k] *= std::polar(1.0L, pi * frequency / m);
        }
    }
    const std::vector<LC> shifted = inverseDft(spectrum);
    if (s.mode == Mode::Analytic) return {shifted.begin(), shifted.begin() + n};
    std::vector<LC> z(2 * n);
    for (std::int32_t i = 0; i < n; ++i) {
        z[2 * i] = x[i];
        z[2 * i + 1] = shifted[i];
    }
    return z;
}

// z[p + t] conj z[p - t], 0 outside the sequence.
inline LC lagProduct(const std::vector<LC>& z, std::int64_t p, std::int64_t t) {
    const auto size = static_cast<std::int64_t>(z.size());
    if (p - t < 0 || p + t >= size) return 0;
    return z[p + t] * std::conj(z[p - t]);
}

// W[j][k] = (1/M) sum_{|tau| < M} r_j[tau] exp(-2 pi i k tau / M), r_j[-tau] = conj r_j[tau].
inline Distribution lagTransform(const std::function<LC(std::int32_t, std::int32_t)>& r, std::int32_t slices,
                                 std::int32_t m, std::int32_t bins) {
    Distribution w(slices, std::vector<long double>(bins));
    const long double pi = std::numbers::pi_v<long double>;
    for (std::int32_t j = 0; j < slices; ++j)
        for (std::int32_t k = 0; k < bins; ++k) {
            LC sum = r(j, 0);
            for (std::int32_t tau = 1; tau < m; ++tau) {
                const LC root = std::polar(1.0L, -2 * pi * ((std::int64_t{k} * tau) % m) / m);
                sum += r(j, tau) * root + std::conj(r(j, tau)) * std::conj(root);
            }
            w[j][k] = sum.real() / m;
        }
    return w;
}

inline Distribution wignerOracle(const TestSignal& s, std::int32_t nFreq, std::int32_t timeStep) {
    const std::vector<LC> z = analysedSequence(s);
    const auto r = [&](std::int32_t j, std::int32_t tau) {
        return lagProduct(z, std::int64_t{j} * timeStep * s.up(), tau);
    };
    return lagTransform(r, s.n() / timeStep, s.lagLength(nFreq), s.bins(nFreq));
}

// Each lag row of products at every input sample (zero beyond the signal,
// period K = kernelWidth) convolved circularly with the inverse DFT of its
// kernel row (column c weighs Doppler bin c - K/2; real mode averages +d
// and -d), then sampled every timeStep-th sample.
inline Distribution cohenOracle(const TestSignal& s, const std::vector<double>& kernel, std::int32_t nFreq,
                                std::int32_t kernelWidth, std::int32_t timeStep) {
    const std::vector<LC> z = analysedSequence(s);
    const std::int32_t k = kernelWidth, slices = s.n() / timeStep, lags = s.lagLength(nFreq);
    std::vector<std::vector<LC>> table(lags, std::vector<LC>(slices));
    for (std::int32_t t = 0; t < lags; ++t) {
        std::vector<LC> transfer(k), products(k);
        for (std::int32_t d = 0; d < k; ++d) transfer[d] = kernel[std::int64_t{t} * k + (d + k / 2) % k];
        if (s.mode == Mode::Real) {
            const std::vector<LC> plain = transfer;
            for (std::int32_t d = 0; d < k; ++d) transfer[d] = (plain[d] + plain[(k - d) % k]) / 2.0L;
        }
        const std::vector<LC> impulse = inverseDft(transfer);
        for (std::int32_t i = 0; i < k; ++i) products[i] = lagProduct(z, std::int64_t{i} * s.up(), t);
        for (std::int32_t j = 0; j < slices; ++j)
            for (std::int32_t i = 0; i < k; ++i) table[t][j] += impulse[i] * products[((j * timeStep - i) % k + k) % k];
    }
    return lagTransform([&](std::int32_t j, std::int32_t tau) { return table[tau][j]; }, slices, lags,
                        s.bins(nFreq));
}

inline constexpr double kSentinel = -7777.5;

// T*B values that no distribution produces, to see what was written.
inline std::vector<double> sentinelOutput(const TestSignal& s, std::int32_t nFreq, std::int32_t timeStep) {
    return std::vector<double>(static_cast<std::size_t>(s.n() / timeStep) * s.bins(nFreq), kSentinel);
}

inline bool untouched(const std::vector<double>& out) {
    return std::all_of(out.begin(), out.end(), [](double v) { return v == kSentinel; });
}

// |got - want| <= tolerance * max|want| everywhere, and got has exactly
// the oracle's shape.
inline void expectDistribution(const Distribution& want, const std::vector<double>& got, double tolerance) {
    long double scale = 0;
    for (const auto& slice : want)
        for (long double v : slice) scale = std::max(scale, std::fabs(v));
    const std::size_t bins = want.empty() ? 0 : want[0].size();
    ASSERT_EQ(got.size(), want.size() * bins);
    for (std::size_t j = 0; j < want.size(); ++j)
        for (std::size_t k = 0; k < bins; ++k)
            ASSERT_NEAR(got[j * bins + k], static_cast<double>(want[j][k]), tolerance * static_cast<double>(scale))
                << "slice " << j << " bin " << k;
}

}  // namespace varnel::testing
