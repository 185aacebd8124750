// The adaptive transform: recovery of single chirplets, the bookkeeping a
// caller relies on, short and empty signals, argument checks.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>
#include <numbers>
#include <vector>

#include "adaptive/adaptive_transform.h"
#include "support/fft_fixtures.h"
#include "support/reference_dft.h"
#include "varnel.h"

namespace varnel::testing {
namespace {

struct Decomposition {
    std::int32_t status = 0, count = -1;
    double percent = -1.0;
    std::vector<AdaptiveTerm> terms;
    std::vector<double> coefs, residual;
};

struct Options {
    std::int32_t chirpMode = 0, extension = Zero, window = 0, maxTerms = 8;
};

Decomposition decompose(const std::vector<double>& x, bool complexSignal, const Options& o = {}) {
    Decomposition d;
    const auto n = static_cast<std::int32_t>(complexSignal ? x.size() / 2 : x.size());
    d.terms.assign(o.maxTerms, AdaptiveTerm{-1, -1, -1, -1});
    d.coefs.assign(2 * o.maxTerms, -1.0);
    d.residual.assign(x.size(), -1.0);
    const auto transform = complexSignal ? CxAdaptiveTransform : ReAdaptiveTransform;
    d.status = transform(x.data(), n, o.chirpMode, o.extension, o.window, 0.0, 0, o.maxTerms, &d.count,
                         &d.percent, d.coefs.data(), d.terms.data(), d.residual.data());
    return d;
}

double energy(const std::vector<double>& x) {
    long double sum = 0;
    for (double v : x) sum += static_cast<long double>(v) * v;
    return static_cast<double>(sum);
}

// A chirplet c g of N samples, complex (Cx) or, through the real
// expansion, its real waveform.
std::vector<double> chirpletSignal(const AdaptiveTerm& term, const double* coef, std::int32_t n, bool complexSignal) {
    std::vector<double> x(complexSignal ? 2 * n : n);
    const auto expand = complexSignal ? CxAdaptiveExpansion : ReAdaptiveExpansion;
    EXPECT_EQ(expand(&term, coef, 1, n, x.data()), kStatusOk);
    return x;
}

class AdaptiveTransform : public PlanCacheTest {};

// With chirp mode 1 the probes' chirp rate (0) is kept.
TEST_F(AdaptiveTransform, RecoversASingleChirplet) {
    const AdaptiveTerm term{0.002, 500.3, 1.1, 0.0008};
    const double coef[] = {0.7, -0.4};
    const Decomposition flat = decompose(chirpletSignal({0.002, 500.3, 1.1, 0.0}, coef, 1024, true), true,
                                         {.chirpMode = 1, .maxTerms = 1});
    ASSERT_EQ(flat.count, 1);
    EXPECT_EQ(flat.terms[0].beta, 0.0);
    EXPECT_NEAR(flat.terms[0].omega, term.omega, 1e-9);
    for (const bool complexSignal : {true, false}) {
        SCOPED_TRACE(complexSignal ? "complex" : "real");
        const std::vector<double> x = chirpletSignal(term, coef, 1024, complexSignal);
        const Decomposition d = decompose(x, complexSignal, {.maxTerms = 3});
        ASSERT_EQ(d.status, kStatusOk);
        ASSERT_GE(d.count, 1);
        const AdaptiveTerm& got = d.terms[0];
        for (const auto field : {&AdaptiveTerm::alpha, &AdaptiveTerm::tc, &AdaptiveTerm::omega, &AdaptiveTerm::beta})
            EXPECT_NEAR(got.*field, term.*field, 1e-9 * term.*field);
        for (int i : {0, 1}) EXPECT_NEAR(d.coefs[i], coef[i], 1e-9);
        EXPECT_LT(energy(d.residual), 1e-20 * energy(x));
    }
}

// Two chirplets, a tone burst and noise.
std::vector<double> mixture(std::int32_t n, bool complexSignal) {
    const AdaptiveTerm parts[] = {
        {0.001, 0.3 * n, 0.8, 0.001}, {0.004, 0.7 * n + 0.5, 2.2, -0.002}, {0.0002, 0.5 * n, 1.6, 0.0}};
    const double coefs[] = {1.0, 0.5, -0.6, 0.3, 0.4, 0.0};
    std::vector<double> x(complexSignal ? 2 * n : n);
    EXPECT_EQ((complexSignal ? CxAdaptiveExpansion : ReAdaptiveExpansion)(parts, coefs, 3, n, x.data()), kStatusOk);
    const std::vector<double> noise = randomReals(x.size(), 99);
    for (std::size_t i = 0; i < x.size(); ++i) x[i] += 0.01 * noise[i];
    return x;
}

// The residual is the signal less every subtracted waveform; the
// percentage is the energy after the counted terms (the same call limited
// to that many terms leaves exactly it); the energy falls with each term.
TEST_F(AdaptiveTransform, ResidualPercentageAndEnergyAgree) {
    const std::int32_t n = 1024;
    for (const bool complexSignal : {true, false}) {
        for (const std::int32_t extension : {Zero, Periodic}) {
            SCOPED_TRACE(::testing::Message() << (complexSignal ? "complex" : "real") << " extension " << extension);
            const std::vector<double> x = mixture(n, complexSignal);
            const Decomposition d = decompose(x, complexSignal, {.extension = extension, .maxTerms = 12});
            ASSERT_EQ(d.status, kStatusOk);
            ASSERT_GE(d.count, 3);
            const std::int32_t subtracted = std::min(d.count + 1, 12);
            if (complexSignal) {
                std::vector<double> rebuilt(2 * n);
                ASSERT_EQ(CxAdaptiveExpansion(d.terms.data(), d.coefs.data(), subtracted, n, rebuilt.data()),
                          kStatusOk);
                for (std::int32_t i = 0; i < 2 * n; ++i) ASSERT_NEAR(x[i] - d.residual[i], rebuilt[i], 1e-12) << i;
            }
            double previous = energy(x);
            for (std::int32_t k = 1; k <= d.count; ++k) {
                const Decomposition partial = decompose(x, complexSignal, {.extension = extension, .maxTerms = k});
                ASSERT_EQ(partial.count, k);
                const double left = energy(partial.residual);
                EXPECT_LT(left, previous);
                previous = left;
                if (k == d.count) EXPECT_NEAR(d.percent, 100.0 * left / energy(x), 1e-10 * d.percent);
            }
        }
    }
}

// Searching only where a probe's envelope is not zero changes no bit of
// the result.
TEST_F(AdaptiveTransform, EnvelopeSupportGivesTheWholeSignalResult) {
    for (const bool complexSignal : {true, false}) {
        const std::vector<double> x = mixture(2048, complexSignal);
        const auto run = [&](adaptive::ProbeSupport support) {
            std::vector<AdaptiveTerm> terms(6);
            std::vector<double> r(13), residual(x.size());  // coefficients, percentage, then the terms
            std::int32_t count = 0;
            const adaptive::TransformRequest request{x.data(), 2048, complexSignal, 0, Zero, 512, 4.0, 10, 6, support};
            EXPECT_EQ(adaptive::adaptiveTransform(request, {&count, &r[12], r.data(), terms.data(), residual.data()}),
                      kStatusOk);
            for (const AdaptiveTerm& t : terms) r.insert(r.end(), {t.alpha, t.tc, t.omega, t.beta});
            return r;
        };
        EXPECT_EQ(run(adaptive::ProbeSupport::Envelope), run(adaptive::ProbeSupport::WholeSignal));
    }
}

TEST_F(AdaptiveTransform, ShortZeroAndNonFiniteSignals) {
    // N = 8..11 with the default window: no analysis level, every candidate
    // the default term at time 0, accepted while it lowers the energy.
    for (std::int32_t n = 8; n <= 11; ++n) {
        const Decomposition d = decompose(randomReals(2 * n, n), true, {.maxTerms = 3});
        ASSERT_EQ(d.status, kStatusOk);
        for (std::int32_t k = 0; k < std::min(d.count + 1, 3); ++k) {
            EXPECT_DOUBLE_EQ(d.terms[k].alpha, 2 * std::numbers::pi / 8);
            EXPECT_EQ(d.terms[k].tc, 0.0);
            EXPECT_EQ(d.terms[k].omega, 0.0);
        }
    }
    // No energy, or a NaN in it: no term counted, no percentage.
    std::vector<double> nan = mixture(512, false);
    nan[100] = std::numeric_limits<double>::quiet_NaN();
    for (const std::vector<double>& x : {std::vector<double>(512, 0.0), nan}) {
        const Decomposition d = decompose(x, false);
        EXPECT_EQ(d.status, kStatusOk);
        EXPECT_EQ(d.count, 0);
        EXPECT_TRUE(std::isnan(d.percent));
        for (double v : {d.terms[0].alpha, d.terms[0].tc, d.terms[0].omega, d.terms[0].beta}) EXPECT_TRUE(std::isfinite(v));
    }
    EXPECT_EQ(decompose(std::vector<double>(512, 0.0), false).residual, std::vector<double>(512, 0.0));
}

TEST_F(AdaptiveTransform, ChecksAndTheirOrder) {
    const std::vector<double> x = mixture(64, false);
    const Decomposition none = decompose(x, false, {.maxTerms = 0});
    EXPECT_EQ(none.status, kStatusOk);
    EXPECT_EQ(none.count, 0);
    EXPECT_EQ(none.percent, 100.0);
    EXPECT_EQ(none.residual, x);
    // An undefined extension rule shows with the first scan; nothing of the
    // results is written then.
    for (const bool complexSignal : {true, false}) {
        const Decomposition d = decompose(x, complexSignal, {.extension = 4});
        EXPECT_EQ(d.status, kStatusBadExtensionMode);
        EXPECT_EQ(d.count, 0);
        EXPECT_EQ(d.percent, -1.0);
        EXPECT_EQ(d.residual, std::vector<double>(x.size(), -1.0));
    }
    std::int32_t count = 7;
    double percent = -1;
    AdaptiveTerm term;
    double coef[2], residual[16];
    EXPECT_EQ(ReAdaptiveTransform(x.data(), 7, 0, 9, 0, 0, 0, -1, &count, &percent, coef, &term, residual),
              kStatusBadLength);
    EXPECT_EQ(count, 0);
    count = 7;
    EXPECT_EQ(CxAdaptiveTransform(x.data(), 8, 0, 9, 0, 0, 0, -1, &count, &percent, coef, &term, residual),
              kStatusNegativeCount);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(CxAdaptiveTransform(x.data(), 8, 0, 0, 0, 0, 0, 1, nullptr, &percent, coef, &term, residual),
              kStatusBadLength);
    EXPECT_EQ(ReAdaptiveTransform(x.data(), 16, 0, 0, 1 << 30 | 1, 0, 0, 1, &count, &percent, coef, &term, residual),
              kStatusNoMemory);
    EXPECT_EQ(percent, -1.0);
}

}  // namespace
}  // namespace varnel::testing
