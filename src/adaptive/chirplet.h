// The Gaussian chirplet shared by the adaptive representations: the term's
// sampled waveform, its real counterpart, and the test that a term can be
// drawn or rebuilt at all.
#pragma once

#include <cstdint>
#include <optional>

#include "fft/plan_hold.h"
#include "frame/scratch.h"
#include "varnel.h"

namespace varnel::adaptive {

// True when alpha is a finite positive number and tc, omega, beta and both
// parts of the coefficient are finite: the half-widths, supports and
// energies below are then all finite.
bool usableTerm(const AdaptiveTerm& term, const double* coef) noexcept;

// kStatusBadTerm for the first unusable term of terms[0..count-1] with its
// coefficient coefs[2j], coefs[2j+1]; kStatusOk when all are usable.
std::int32_t checkTerms(const AdaptiveTerm* terms, const double* coefs, std::int32_t count) noexcept;

// g(0..n-1) of the term as n interleaved complex samples:
// (alpha/pi)^(1/4) exp(-alpha u^2/2) exp(i u (omega + beta u/2)), u = i - tc.
// Where the envelope underflows to zero the sample is exactly zero, even
// when the phase is too large for a double. A caller that wants the
// chirplet on samples lo.. passes a copy of the term with tc - lo. n < 1
// writes nothing.
void chirpletAtom(const AdaptiveTerm& term, std::int32_t n, double* out) noexcept;

// Buffers and the FFT plan that turn the one-sided spectrum of a complex
// waveform into a real one, kept for a whole call: they are replaced only
// when a longer transform is needed, and the plan only when the length
// changes, so a run of terms of one width builds one plan.
class RealAtomWorkspace {
public:
    // Makes room for a transform of m points (a power of two, 1 <= m <=
    // 2^30); false when the memory or the plan cannot be obtained.
    bool reserve(std::int32_t m) noexcept;

    double* atom() const noexcept { return buffers_.data(); }                  // 2m doubles, Cx
    double* spectrum() const noexcept { return buffers_.data() + 2 * capacity_; }  // m doubles
    double* waveform() const noexcept { return buffers_.data() + 3 * capacity_; }  // m doubles
    const fft::FftPlan* plan() const noexcept { return plan_->get(); }
    // The plan's transform scratch. For powers of two it grows with the
    // length, so the room made for the longest serves every shorter one.
    double* fftScratch() const noexcept { return buffers_.data() + 4 * capacity_; }
    std::int32_t length() const noexcept { return length_; }

private:
    ScratchBuffer<double> buffers_;
    std::int64_t capacity_ = 0;
    std::int32_t length_ = 0;
    std::optional<fft::PlanHold> plan_;
};

// The real sequence whose spectrum is the chosen half of the spectrum of
// the m complex samples in work.atom() (bins 1..m/2-1 when positive, else
// their mirror images conj X[m-k]), with the real parts of bins 0 and m/2,
// conjugate-mirrored into the other half; written to work.waveform().
// work must be reserved for m. Returns the status of the last transform.
std::int32_t oneSidedToReal(RealAtomWorkspace& work, bool positive) noexcept;

// Real waveform of coef * g on n samples (n <= 2^30): the chirplet
// zero-padded to nextPow2(n) points, multiplied by coef, folded to the half
// of the frequency axis where omega (folded into [0, 2 pi)) lies. The n
// samples are in work.waveform() on success. kStatusNoMemory when the
// workspace cannot grow, else the status of the transforms.
std::int32_t realAtom(const AdaptiveTerm& term, const double* coef, std::int32_t n,
                      RealAtomWorkspace& work) noexcept;

// realAtom in two steps, for callers that measure the coefficient on the
// chirplet first: the chirplet of n samples zero-padded in work.atom()
// (kStatusNoMemory when the workspace cannot grow), then its product with
// coef folded into work.waveform().
std::int32_t prepareAtom(const AdaptiveTerm& term, std::int32_t n, RealAtomWorkspace& work) noexcept;
std::int32_t foldAtom(const AdaptiveTerm& term, const double* coef, std::int32_t n, RealAtomWorkspace& work) noexcept;

}  // namespace varnel::adaptive
