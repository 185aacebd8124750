#include "adaptive/refinement.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "adaptive/chirplet.h"

namespace varnel::adaptive {
namespace {

// exp(-x) is exactly 0 in double precision for x >= 746, so the envelope
// exp(-alpha u^2/2) vanishes for |u| >= sqrt(2*746/alpha).
constexpr double kEnvelopeUnderflow = 2.0 * 746.0;

struct FrequencyFit {
    double curvature;  // A
    double vertex;     // B
    double power[3];   // Q at omega - dw, omega, omega + dw
    int flag;
};

// Correlations of the residual with the three probes at omega - dw, omega
// and omega + dw: the outer two are the middle chirplet turned by
// exp(-+ i dw u), so each sample costs one chirplet and one rotation.
void probeTriple(const ResidualView& r, const AdaptiveTerm& term, double dw, ProbeSupport support,
                 ProbeBuffer& probe, double (&s)[3][2]) noexcept {
    for (auto& v : s) v[0] = v[1] = 0.0;
    const SampleRange range = envelopeRange(term, r.n, support);
    if (range.end <= range.first) return;
    AdaptiveTerm shifted = term;
    shifted.tc -= range.first;
    double* g = probe.data();
    const std::ptrdiff_t count = range.end - range.first;
    chirpletAtom(shifted, static_cast<std::int32_t>(count), g);
    const double* x = r.data + (r.complexSignal ? 2 : 1) * static_cast<std::ptrdiff_t>(range.first);
    for (std::ptrdiff_t i = 0; i < count; ++i) {
        const double xr = r.complexSignal ? x[2 * i] : x[i];
        const double xi = r.complexSignal ? x[2 * i + 1] : 0.0;
        // x conj(g) for the middle probe; x conj(g) exp(-+ i dw u) for the others.
        const double pr = xr * g[2 * i] + xi * g[2 * i + 1];
        const double pi = xi * g[2 * i] - xr * g[2 * i + 1];
        const double angle = dw * (static_cast<double>(i) - shifted.tc);
        const double c = std::cos(angle), sn = std::sin(angle);
        s[1][0] += pr;
        s[1][1] += pi;
        s[0][0] += pr * c - pi * sn;
        s[0][1] += pi * c + pr * sn;
        s[2][0] += pr * c + pi * sn;
        s[2][1] += pi * c - pr * sn;
    }
}

FrequencyFit frequencyFit(const ResidualView& r, const AdaptiveTerm& probeTerm, double dw, ProbeSupport support,
                          ProbeBuffer& probe) noexcept {
    FrequencyFit fit{};
    double s[3][2];
    probeTriple(r, probeTerm, dw, support, probe, s);
    for (int j = 0; j < 3; ++j) fit.power[j] = s[j][0] * s[j][0] + s[j][1] * s[j][1];
    const double* q = fit.power;
    // Ratios to the middle power first: the same quotient, without the
    // overflow of the product of two large powers.
    const double logCurve = std::log((q[0] / q[1]) * (q[2] / q[1]));
    fit.curvature = -0.25 * logCurve / (dw * dw);
    fit.vertex = probeTerm.omega + 0.5 * dw * std::log(q[0] / q[2]) / logCurve;
    fit.flag = fit.curvature > 0.0 ? 0 : 1;
    return fit;
}

bool finiteTerm(const AdaptiveTerm& t) noexcept {
    return std::isfinite(t.alpha) && std::isfinite(t.tc) && std::isfinite(t.omega) && std::isfinite(t.beta);
}

// Combines the fits at times t[0] < t[1] into out; sets probeBeta to the
// drift of the peak frequency.
int timeChirpFit(const FrequencyFit (&fits)[2], const double (&peak)[2], const double (&t)[2], std::int32_t chirpMode,
                 const AdaptiveTerm& cur, AdaptiveTerm& out, double& probeBeta) noexcept {
    const double a0 = fits[0].curvature, a1 = fits[1].curvature;
    const double b = (fits[0].vertex - fits[1].vertex) / (t[0] - t[1]);
    probeBeta = b;
    if (std::abs(b) >= 1e-8 && std::abs((cur.beta - b) / b) >= 0.001 && chirpMode != 1) {
        const double d = b - cur.beta;
        const double q = cur.alpha / d;
        out.beta = cur.beta + (cur.alpha / (a0 + a1)) / (q * q + 1.0) / d;
        out.alpha = (out.beta - b) * q;
    } else {
        out.alpha = 1.0 / (a0 + a1) - cur.alpha;
        out.beta = cur.beta;
    }
    out.tc = (t[0] + t[1]) / 2.0 + (1.0 / cur.alpha + 1.0 / out.alpha) * (peak[0] - peak[1]) / (t[0] - t[1]);
    out.omega = fits[0].vertex + b * (out.tc - t[0]);
    return out.alpha > 0.0 && finiteTerm(out) ? 0 : 2;
}

struct Attempt {
    int flags;
    double value;        // largest probe power
    AdaptiveTerm probe;  // the probe that had it
};

Attempt refineAttempt(const ResidualView& r, const RefineSettings& settings, const AdaptiveTerm& cur,
                      AdaptiveTerm& out, double& probeBeta, ProbeBuffer& probe) noexcept {
    if (std::abs(cur.omega) < 1e-8) {
        // Terms at zero frequency are taken as they are.
        out = cur;
        probeBeta = 0.0;
        return {0, 0.0, cur};
    }
    FrequencyFit fits[2];
    double peak[2];
    const double t[2] = {cur.tc - settings.dt, cur.tc + settings.dt};
    for (int i = 0; i < 2; ++i) {
        AdaptiveTerm at = cur;
        at.tc = t[i];
        fits[i] = frequencyFit(r, at, settings.dw, settings.support, probe);
        const double offset = fits[i].vertex - cur.omega;
        peak[i] = fits[i].curvature * offset * offset + 0.5 * std::log(fits[i].power[1]);
    }
    const int flags = fits[0].flag | fits[1].flag | timeChirpFit(fits, peak, t, settings.chirpMode, cur, out, probeBeta);
    Attempt attempt{flags, fits[0].power[0], cur};
    int best = 0;
    for (int idx = 1; idx < 6; ++idx) {
        const double q = fits[idx / 3].power[idx % 3];
        if (q > attempt.value) {
            attempt.value = q;
            best = idx;
        }
    }
    attempt.probe.tc = best >= 3 ? cur.tc + settings.dt : cur.tc - settings.dt;
    attempt.probe.omega = cur.omega + ((best % 3) - 1) * settings.dw;
    return attempt;
}

}  // namespace

SampleRange envelopeRange(const AdaptiveTerm& term, std::int32_t n, ProbeSupport support) noexcept {
    if (support == ProbeSupport::WholeSignal) return {0, n};
    const double reach = std::sqrt(kEnvelopeUnderflow / term.alpha);
    const double first = std::max(std::ceil(term.tc - reach), 0.0);
    const double end = std::min(std::floor(term.tc + reach) + 1.0, static_cast<double>(n));
    if (!(first < end)) return {0, 0};
    return {static_cast<std::int32_t>(first), static_cast<std::int32_t>(end)};
}

void refineTerm(const ResidualView& r, const RefineSettings& settings, ProbeBuffer& probe, AdaptiveTerm& term) noexcept {
    const AdaptiveTerm base = term;
    AdaptiveTerm best = term;
    double bestValue = 0.0;
    double probeBeta = base.beta;
    for (std::int32_t attempt = 1; attempt <= settings.maxAttempts; ++attempt) {
        AdaptiveTerm cur = base;
        cur.beta = probeBeta;
        const Attempt result = refineAttempt(r, settings, cur, term, probeBeta, probe);
        if (result.value > bestValue) {
            bestValue = result.value;
            best = result.probe;
        }
        if (result.flags == 0) return;
    }
    term = best;
}

}  // namespace varnel::adaptive
