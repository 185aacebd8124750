// Refinement of a coarse chirplet term against the residual: probe
// correlations at two times and three frequencies, log-parabolic fits in
// frequency at each time, and from the two fits the chirp rate, the
// concentration, the time centre and the frequency of the component.
#pragma once

#include <cstdint>

#include "frame/scratch.h"
#include "varnel.h"

namespace varnel::adaptive {

// The residual the probes are correlated with: n real samples, or n Cx
// samples.
struct ResidualView {
    const double* data;
    std::int32_t n;
    bool complexSignal;
};

// Which samples a probe correlation visits. A chirplet sample whose
// envelope underflows is exactly zero and adds exactly nothing, so the
// envelope's support gives the same sums as the whole signal at a cost that
// follows the probe, not the signal; the whole-signal form is kept as the
// reference it is checked against.
enum class ProbeSupport { Envelope, WholeSignal };

// Samples [first, end) of an n-sample signal outside which the term's
// envelope is exactly zero (or all of them for WholeSignal).
struct SampleRange {
    std::int32_t first;
    std::int32_t end;
};
SampleRange envelopeRange(const AdaptiveTerm& term, std::int32_t n, ProbeSupport support) noexcept;

// Probe chirplets for one call: room for a whole signal's samples.
class ProbeBuffer {
public:
    explicit ProbeBuffer(std::int32_t n) noexcept : samples_(2 * static_cast<std::size_t>(n)) {}
    bool ok() const noexcept { return samples_.ok(); }
    double* data() const noexcept { return samples_.data(); }

private:
    ScratchBuffer<double> samples_;
};

struct RefineSettings {
    std::int32_t chirpMode;    // 1: keep the probes' chirp rate
    std::int32_t maxAttempts;  // >= 1
    double dt;                 // time step of the probes from the centre
    double dw;                 // frequency step between the probes
    ProbeSupport support;
};

// Refines term in place. An attempt is flagged when a frequency fit has no
// maximum, when the fitted concentration is not positive, or when any
// fitted field is not a finite number; a flagged attempt is retried with
// the drift it estimated as the probes' chirp rate, and when every attempt
// is flagged the probe of largest power replaces the term (the coarse term
// itself when no probe power exceeded 0). The term stays finite.
void refineTerm(const ResidualView& r, const RefineSettings& settings, ProbeBuffer& probe, AdaptiveTerm& term) noexcept;

}  // namespace varnel::adaptive
