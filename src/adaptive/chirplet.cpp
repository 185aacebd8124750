#include "adaptive/chirplet.h"

#include <cmath>

#include "fft/plan.h"
#include "frame/next_pow2.h"
#include "frame/numbers.h"

namespace varnel::adaptive {

bool usableTerm(const AdaptiveTerm& term, const double* coef) noexcept {
    return std::isfinite(term.alpha) && term.alpha > 0.0 && std::isfinite(term.tc) && std::isfinite(term.omega) &&
           std::isfinite(term.beta) && std::isfinite(coef[0]) && std::isfinite(coef[1]);
}

std::int32_t checkTerms(const AdaptiveTerm* terms, const double* coefs, std::int32_t count) noexcept {
    for (std::int32_t j = 0; j < count; ++j) {
        if (!usableTerm(terms[j], coefs + 2 * static_cast<std::ptrdiff_t>(j))) return kStatusBadTerm;
    }
    return kStatusOk;
}

void chirpletAtom(const AdaptiveTerm& term, std::int32_t n, double* out) noexcept {
    const double amplitude = std::sqrt(std::sqrt(term.alpha * (1.0 / kPi)));
    for (std::int32_t i = 0; i < n; ++i) {
        const double u = static_cast<double>(i) - term.tc;
        const double a = amplitude * std::exp(-0.5 * term.alpha * u * u);
        double re = 0.0, im = 0.0;
        if (a != 0.0) {
            const double phase = u * (term.omega + 0.5 * term.beta * u);
            re = a * std::cos(phase);
            im = a * std::sin(phase);
        }
        out[2 * static_cast<std::ptrdiff_t>(i)] = re;
        out[2 * static_cast<std::ptrdiff_t>(i) + 1] = im;
    }
}

bool RealAtomWorkspace::reserve(std::int32_t m) noexcept {
    if (m > capacity_) {
        buffers_ = ScratchBuffer<double>(4 * static_cast<std::size_t>(m) + fft::fftScratchSize(m));
        capacity_ = buffers_.ok() ? m : 0;
        if (!buffers_.ok()) return false;
    }
    if (m != length_) {
        // The old plan goes first, so that at most one is held.
        plan_.reset();
        length_ = 0;
        plan_.emplace(m);
        if (!plan_->ok()) return false;
        length_ = m;
    }
    return true;
}

std::int32_t oneSidedToReal(RealAtomWorkspace& work, bool positive) noexcept {
    const std::int32_t m = work.length();
    double* t = work.spectrum();
    double* y = work.waveform();
    // Real parts of X into t, imaginary parts into y.
    std::int32_t status = fft::cxFft(work.plan(), work.atom(), work.atom() + 1, t, y, 2, 1, m, work.fftScratch());
    if (status != kStatusOk) return status;
    const std::int32_t half = m / 2;
    if (half > 1) {
        if (positive) {
            for (std::int32_t k = 1; k < half; ++k) t[m - k] = y[k];
        } else {
            for (std::int32_t k = 1; k < half; ++k) {
                t[k] = t[m - k];
                t[m - k] = -y[m - k];
            }
        }
    }
    return fft::reIfft(work.plan(), t, y, 1, 1, m, work.fftScratch());
}

std::int32_t prepareAtom(const AdaptiveTerm& term, std::int32_t n, RealAtomWorkspace& work) noexcept {
    const std::int32_t m = nextPow2(n);
    if (m < 1 || !work.reserve(m)) return kStatusNoMemory;
    double* b = work.atom();
    chirpletAtom(term, n, b);
    for (std::ptrdiff_t i = 2 * static_cast<std::ptrdiff_t>(n); i < 2 * static_cast<std::ptrdiff_t>(m); ++i) b[i] = 0.0;
    return kStatusOk;
}

std::int32_t foldAtom(const AdaptiveTerm& term, const double* coef, std::int32_t n, RealAtomWorkspace& work) noexcept {
    double* b = work.atom();
    const double cr = coef[0], ci = coef[1];
    for (std::ptrdiff_t i = 0; i < n; ++i) {
        const double re = b[2 * i], im = b[2 * i + 1];
        b[2 * i] = re * cr - im * ci;
        b[2 * i + 1] = re * ci + im * cr;
    }
    // The term's frequency folded into [0, 2 pi) lies in [0, pi).
    const double f = term.omega / kTwoPi;
    return oneSidedToReal(work, f - std::floor(f) < 0.5);
}

std::int32_t realAtom(const AdaptiveTerm& term, const double* coef, std::int32_t n,
                      RealAtomWorkspace& work) noexcept {
    if (const std::int32_t status = prepareAtom(term, n, work); status != kStatusOk) return status;
    return foldAtom(term, coef, n, work);
}

}  // namespace varnel::adaptive
