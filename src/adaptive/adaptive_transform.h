// The adaptive transform: a greedy pursuit that takes from the residual one
// Gaussian chirplet after another (coarse search, refinement, coefficient,
// subtraction) while the residual's energy keeps falling.
#pragma once

#include <cstdint>

#include "adaptive/refinement.h"
#include "varnel.h"

namespace varnel::adaptive {

// Arguments after the checks, with the defaults applied.
struct TransformRequest {
    const double* signal;      // n real samples or n Cx samples
    std::int32_t n;            // >= 8
    bool complexSignal;
    std::int32_t chirpMode;
    std::int32_t extensionMode;
    std::int32_t longestWindow;  // L, a power of two, 8 <= L <= 2^30
    double rangeFactor;          // > 0, possibly infinite
    std::int32_t maxAttempts;    // >= 1
    std::int32_t maxTerms;       // >= 0
    ProbeSupport support;
};

struct TransformOutput {
    std::int32_t* numTerms;
    double* residualPercent;
    double* coefs;           // maxTerms Cx slots
    AdaptiveTerm* terms;     // maxTerms slots
    double* residual;        // n samples like the signal
};

// Runs the pursuit. On success writes everything and returns kStatusOk;
// otherwise returns kStatusNoMemory or the extension's status, leaving
// numTerms, residualPercent and residual unwritten (term and coefficient
// slots of earlier iterations may be written).
std::int32_t adaptiveTransform(const TransformRequest& request, const TransformOutput& output) noexcept;

}  // namespace varnel::adaptive
