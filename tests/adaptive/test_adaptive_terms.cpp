// Adaptive expansions and spectrograms against direct evaluations of the
// chirplet and of its closed-form Wigner distribution (long double, every
// sample and cell, no supports or bands), the argument checks, and terms
// at the edges of what a double can describe.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

#include "support/allocation_faults.h"
#include "support/fft_fixtures.h"
#include "support/reference_dft.h"
#include "varnel.h"

namespace varnel::testing {
namespace {

using Ld = long double;
constexpr Ld kPi = std::numbers::pi_v<long double>;

struct Terms {
    std::vector<AdaptiveTerm> terms;
    std::vector<double> coefs;  // Cx
    std::int32_t count() const { return static_cast<std::int32_t>(terms.size()); }
    std::complex<Ld> coef(std::size_t j) const { return {coefs[2 * j], coefs[2 * j + 1]}; }
};

// Fractional and out-of-range centres, frequencies beyond [0, 2 pi) and
// chirps of both signs.
Terms randomTerms(int count, double tcFrom, double tcTo, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    Terms t;
    for (int j = 0; j < count; ++j) {
        const double alpha = std::pow(10.0, -3.0 + 2.5 * unit(rng));
        t.terms.push_back({alpha, tcFrom + (tcTo - tcFrom) * unit(rng), -8.0 + 16.0 * unit(rng),
                           (unit(rng) - 0.5) * 0.02});
        t.coefs.push_back(unit(rng) - 0.5);
        t.coefs.push_back(unit(rng) - 0.5);
    }
    return t;
}

std::complex<Ld> chirplet(const AdaptiveTerm& term, Ld n) {
    const Ld u = n - term.tc;
    const Ld a = std::pow(term.alpha / kPi, 0.25L) * std::exp(-0.5L * term.alpha * u * u);
    return std::polar(a, u * (term.omega + 0.5L * term.beta * u));
}

// The real waveform of c g on `support` samples from lo: the padded
// chirplet's spectrum, one half kept (by where omega falls), mirrored.
std::vector<Ld> realWaveform(const AdaptiveTerm& term, std::complex<Ld> c, Ld lo, std::int32_t support) {
    std::int32_t m = 1;
    while (m < support) m *= 2;
    std::vector<LongComplex> x(m);
    for (std::int32_t i = 0; i < support; ++i) x[i] = c * chirplet(term, lo + i);
    const std::vector<LongComplex> X = referenceDft(x);
    const Ld f = term.omega / (2 * kPi);
    const bool positive = f - std::floor(f) < 0.5L;
    std::vector<LongComplex> Y(m);
    Y[0] = X[0].real();
    if (m > 1) Y[m / 2] = X[m / 2].real();
    for (std::int32_t k = 1; k < m / 2; ++k) {
        Y[k] = positive ? X[k] : std::conj(X[m - k]);
        Y[m - k] = std::conj(Y[k]);
    }
    const std::vector<LongComplex> y = referenceDft(Y, +1);
    std::vector<Ld> out(support);
    for (std::int32_t i = 0; i < support; ++i) out[i] = y[i].real() / m;
    return out;
}

void expectClose(const std::vector<Ld>& want, const std::vector<double>& got, double tolerance) {
    ASSERT_EQ(want.size(), got.size());
    Ld scale = 0;
    for (Ld v : want) scale = std::max(scale, std::abs(v));
    for (std::size_t i = 0; i < want.size(); ++i)
        ASSERT_NEAR(got[i], static_cast<double>(want[i]), tolerance * static_cast<double>(scale)) << "at " << i;
}

class AdaptiveExpansion : public PlanCacheTest {};

TEST_F(AdaptiveExpansion, ComplexSumsTheChirpletsOnTheirSupports) {
    const std::int32_t length = 300;
    // Centres a little outside the output still reach it (9/sqrt(alpha) >= 16).
    const Terms t = randomTerms(12, -5.5, length + 5.5, 3);
    std::vector<Ld> want(2 * length, 0.0L);
    for (std::size_t j = 0; j < t.terms.size(); ++j) {
        for (std::int32_t n = 0; n < length; ++n) {
            const std::complex<Ld> v = t.coef(j) * chirplet(t.terms[j], n);
            want[2 * n] += v.real();
            want[2 * n + 1] += v.imag();
        }
    }
    std::vector<double> out(2 * length);
    ASSERT_EQ(CxAdaptiveExpansion(t.terms.data(), t.coefs.data(), t.count(), length, out.data()), kStatusOk);
    expectClose(want, out, 1e-13);
}

TEST_F(AdaptiveExpansion, RealFoldsEachTermToItsHalfOfTheSpectrum) {
    for (const std::int32_t length : {1, 7, 200}) {
        SCOPED_TRACE(length);
        Terms t = randomTerms(10, -0.2 * length, 1.2 * length, 11 + length);
        t.terms.push_back({400.0, 3.7, 2.0, 0.0});    // alpha > 324: a one-sample support
        t.coefs.insert(t.coefs.end(), {0.3, -0.8});
        t.terms.push_back({0.01, 40.2, 0.0, 0.0});    // real coefficient at zero frequency
        t.coefs.insert(t.coefs.end(), {0.6, 0.0});
        std::vector<Ld> want(length, 0.0L);
        for (std::size_t j = 0; j < t.terms.size(); ++j) {
            const AdaptiveTerm& term = t.terms[j];
            const Ld w = std::min<Ld>(std::floor(9.0L / std::sqrt(static_cast<Ld>(term.alpha)) + 0.5L), length - 1);
            const Ld lo = std::floor(term.tc - w), hi = std::floor(term.tc + w) + 1;
            if (hi <= 0 || lo >= length) continue;
            const std::vector<Ld> wave = realWaveform(term, t.coef(j), lo, static_cast<std::int32_t>(hi - lo));
            for (Ld n = std::max<Ld>(lo, 0); n < std::min<Ld>(hi, length); ++n)
                want[static_cast<std::size_t>(n)] += wave[static_cast<std::size_t>(n - lo)];
        }
        std::vector<double> out(length);
        ASSERT_EQ(ReAdaptiveExpansion(t.terms.data(), t.coefs.data(), t.count(), length, out.data()), kStatusOk);
        expectClose(want, out, 1e-13);
    }
    // The narrow term alone gives Re(c g) at floor(tc), not twice it; the
    // zero-frequency one with a real coefficient gives c g itself.
    const std::vector<AdaptiveTerm> narrow = {{400.0, 3.7, 2.0, 0.0}, {0.01, 40.2, 0.0, 0.0}};
    const double coefs[] = {0.3, -0.8, 0.6, 0.0};
    std::vector<double> out(60);
    ASSERT_EQ(ReAdaptiveExpansion(narrow.data(), coefs, 1, 60, out.data()), kStatusOk);
    EXPECT_NEAR(out[3], static_cast<double>((std::complex<Ld>(0.3, -0.8) * chirplet(narrow[0], 3)).real()), 1e-15);
    ASSERT_EQ(ReAdaptiveExpansion(narrow.data() + 1, coefs + 2, 1, 60, out.data()), kStatusOk);
    EXPECT_NEAR(out[40], static_cast<double>(0.6L * chirplet(narrow[1], 40).real()), 1e-12);
}

// Value of the Wigner distribution of c g at time t and frequency nu,
// before the division by K.
Ld termWigner(const AdaptiveTerm& term, std::complex<Ld> c, Ld t, Ld nu) {
    const Ld u = t - term.tc;
    const Ld x = nu - term.omega - term.beta * u;
    return 2 * std::norm(c) * std::exp(-term.alpha * u * u - x * x / term.alpha);
}

struct SpGrid {
    std::int32_t dt, K, t0, f0, rows, cols;
};

// Complex terms wrap around the circle (a few turns suffice for these
// alphas); real ones are drawn at their frequency folded into [0, pi].
std::vector<Ld> spectrogramOracle(const Terms& t, const SpGrid& g, bool real) {
    std::vector<Ld> out(static_cast<std::size_t>(g.rows) * g.cols, 0.0L);
    for (std::size_t j = 0; j < t.terms.size(); ++j) {
        AdaptiveTerm term = t.terms[j];
        if (real) term.omega = std::abs(term.omega - 2 * kPi * std::floor(term.omega / (2 * kPi) + 0.5L));
        for (std::int32_t m = 0; m < g.rows; ++m) {
            for (std::int32_t k = 0; k < g.cols; ++k) {
                const Ld nu = 2 * kPi * (g.f0 + k) / g.K;
                const Ld time = std::max(g.t0, 0) + static_cast<Ld>(m) * g.dt;
                Ld v = 0;
                for (int q = real ? 0 : -8; q <= (real ? 0 : 8); ++q) v += termWigner(term, t.coef(j), time, nu + 2 * kPi * q);
                out[static_cast<std::size_t>(m) * g.cols + k] += v / g.K;
            }
        }
    }
    return out;
}

TEST_F(AdaptiveExpansion, SpectrogramsMatchTheClosedFormWignerDistribution) {
    const SpGrid grids[] = {{4, 64, -7, 0, 60, 64}, {3, 50, 10, 5, 70, 45}, {1, 24, 0, 3, 200, 17}};
    for (const SpGrid& g : grids) {
        for (const bool real : {true, false}) {
            SCOPED_TRACE(::testing::Message() << "K=" << g.K << (real ? " real" : " complex"));
            Terms t = randomTerms(8, -20.0, 1.2 * g.rows * g.dt, g.K);
            t.terms.push_back({0.05, 30.0, 0.01, 0.002});   // near 0: both ends in the complex form
            t.terms.push_back({30.0, 41.0, 1.0, -0.01});    // band of many turns
            t.coefs.insert(t.coefs.end(), {1.0, 0.5, 0.2, 0.1});
            std::vector<double> out(static_cast<std::size_t>(g.rows) * g.cols);
            const auto sp = real ? ReAdaptiveSp : CxAdaptiveSp;
            ASSERT_EQ(sp(t.coefs.data(), t.terms.data(), t.count(), g.dt, g.K, g.t0, g.f0, g.rows, g.cols, out.data()),
                      kStatusOk);
            expectClose(spectrogramOracle(t, g, real), out, 1e-12);
        }
    }
}

TEST_F(AdaptiveExpansion, SpectrogramOfOneUnitTermHoldsItsEnergy) {
    const AdaptiveTerm term{0.004, 500.3, 1.1, 0.0008};
    const double coef[] = {0.7, -0.4};
    const std::int32_t K = 512, rows = 1024;
    std::vector<double> out(static_cast<std::size_t>(rows) * K);
    ASSERT_EQ(CxAdaptiveSp(coef, &term, 1, 1, K, 0, 0, rows, K, out.data()), kStatusOk);
    long double sum = 0;
    for (double v : out) sum += v;
    EXPECT_NEAR(static_cast<double>(sum), 0.7 * 0.7 + 0.4 * 0.4, 1e-9);
}

// Terms at the edges of the double range run in bounded time, give finite
// values, and leave the rows they cannot reach alone.
TEST_F(AdaptiveExpansion, ExtremeTermsStayFiniteAndBounded) {
    const double big = std::numeric_limits<double>::max();
    const std::vector<AdaptiveTerm> terms = {
        {big, 10.0, 1.0, 0.0}, {5e-324, 10.0, 1.0, 0.0}, {1.0, 1e300, 1.0, 0.0}, {1.0, -1e300, 1.0, 0.0},
        {0.5, 10.0, 1e300, 0.0}, {0.5, 10.0, 1.0, 1e300}, {1e12, 10.0, -3.0, 0.0}};
    const std::vector<double> coefs(2 * terms.size(), 0.5);
    std::vector<double> out(64 * 32);
    for (const auto sp : {ReAdaptiveSp, CxAdaptiveSp}) {
        ASSERT_EQ(sp(coefs.data(), terms.data(), 7, 1, 32, 0, 0, 64, 32, out.data()), kStatusOk);
        for (double v : out) ASSERT_TRUE(std::isfinite(v));
    }
    for (std::size_t j = 0; j < terms.size(); ++j) {
        const std::int32_t status = CxAdaptiveExpansion(&terms[j], coefs.data(), 1, 64, out.data());
        EXPECT_TRUE(status == kStatusOk || status == kStatusBadLength) << j;
        EXPECT_EQ(ReAdaptiveExpansion(&terms[j], coefs.data(), 1, 64, out.data()), kStatusOk) << j;
    }
}

TEST_F(AdaptiveExpansion, ArgumentChecksComeFirstAndWriteNothing) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const AdaptiveTerm good{0.1, 5.0, 1.0, 0.0};
    const double coef[] = {1.0, 0.0};
    const std::vector<AdaptiveTerm> bad = {{0.0, 5, 1, 0}, {-1.0, 5, 1, 0}, {nan, 5, 1, 0},
                                           {0.1, INFINITY, 1, 0}, {0.1, 5, nan, 0}, {0.1, 5, 1, -INFINITY}};
    const double badCoef[] = {nan, 0.0};
    std::vector<double> out(40, -7.0);
    const auto untouched = [&] { return std::all_of(out.begin(), out.end(), [](double v) { return v == -7.0; }); };
    for (const auto expand : {ReAdaptiveExpansion, CxAdaptiveExpansion}) {
        EXPECT_EQ(expand(&good, coef, 0, 10, out.data()), kStatusBadLength);
        EXPECT_EQ(expand(&good, coef, 1, 0, out.data()), kStatusBadLength);
        EXPECT_EQ(expand(nullptr, coef, 1, 10, out.data()), kStatusBadLength);
        EXPECT_EQ(expand(&good, nullptr, 1, 10, out.data()), kStatusBadLength);
        for (const AdaptiveTerm& term : bad) EXPECT_EQ(expand(&term, coef, 1, 10, out.data()), kStatusBadTerm);
        EXPECT_EQ(expand(&good, badCoef, 1, 10, out.data()), kStatusBadTerm);
    }
    for (const auto sp : {ReAdaptiveSp, CxAdaptiveSp}) {
        // (numTerms, dt, K, f0, rows, cols) -> status, in the order tested.
        const std::int32_t cases[][7] = {{0, 0, 0, -1, 4, 4, 1},  {1, 0, 0, -1, 0, 4, 1},   {1, 0, 0, -1, 4, 0, 1},
                                         {1, 0, 0, -1, 4, 4, 21}, {1, 1, 0, -1, 4, 4, 3},   {1, 1, 8, -1, 4, 4, 30},
                                         {1, 1, 8, 8, 1, 1, 30},  {1, 1, 8, 5, 4, 4, 30}};
        for (const auto& c : cases)
            EXPECT_EQ(sp(coef, &good, c[0], c[1], c[2], 0, c[3], c[4], c[5], out.data()), c[6]) << c[6];
        EXPECT_EQ(sp(coef, bad.data(), 1, 1, 8, 0, 4, 4, 4, out.data()), kStatusBadTerm);
        EXPECT_EQ(sp(coef, &good, 1, 1, 8, 0, 4, 4, 4, nullptr), kStatusBadLength);
    }
    EXPECT_TRUE(untouched());
    // A term wholly after the output: the complex form stops with 1 after
    // adding the terms before it, the real form skips it.
    const AdaptiveTerm pair[] = {good, {0.1, 500.0, 1.0, 0.0}};
    const double coefs[] = {1.0, 0.0, 1.0, 0.0};
    std::vector<double> alone(20), both(20);
    ASSERT_EQ(CxAdaptiveExpansion(pair, coefs, 1, 10, alone.data()), kStatusOk);
    EXPECT_EQ(CxAdaptiveExpansion(pair, coefs, 2, 10, both.data()), kStatusBadLength);
    EXPECT_EQ(alone, both);
    ASSERT_EQ(ReAdaptiveExpansion(pair, coefs, 1, 20, alone.data()), kStatusOk);
    ASSERT_EQ(ReAdaptiveExpansion(pair, coefs, 2, 20, both.data()), kStatusOk);
    EXPECT_EQ(alone, both);
}

TEST_F(AdaptiveExpansion, FailedAllocationsReportAndLeakNothing) {
    const Terms t = randomTerms(6, 0.0, 100.0, 5);
    std::vector<double> out(200);
    for (const auto expand : {ReAdaptiveExpansion, CxAdaptiveExpansion}) {
        sweepAllocationFaults([&](bool expectFailure) {
            const std::int32_t status = expand(t.terms.data(), t.coefs.data(), t.count(), 100, out.data());
            EXPECT_EQ(status, expectFailure ? kStatusNoMemory : kStatusOk);
            EXPECT_EQ(fft::planCacheSize(), 0);
        });
    }
}

}  // namespace
}  // namespace varnel::testing
