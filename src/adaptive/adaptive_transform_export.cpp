// Adaptive chirplet decomposition of real and complex signals: the checks
// and defaults in front of the pursuit.
#include <cmath>

#include "adaptive/adaptive_transform.h"
#include "frame/array_check.h"
#include "frame/export_guard.h"
#include "frame/next_pow2.h"
#include "varnel.h"

namespace {

using namespace varnel;

// 2^r with r the nearest integer to log2 n (halves up), for n >= 8:
// n >= 2^k sqrt(2) exactly when n^2 >= 2^(2k+1).
std::int64_t defaultWindow(std::int32_t n) {
    std::int64_t p = 1;
    while (2 * p <= n) p *= 2;
    const std::int64_t square = std::int64_t{n} * n;
    return square >= 2 * p * p ? 2 * p : p;
}

std::int32_t transformExport(const double* signal, std::int32_t n, bool complexSignal, std::int32_t chirpMode,
                             std::int32_t extensionMode, std::int32_t windowLength, double rangeFactor,
                             std::int32_t maxAttempts, std::int32_t maxTerms, std::int32_t* numTermsOut,
                             double* residualPercent, double* coefs, AdaptiveTerm* terms, double* residual) {
    return guardedExport([&]() -> std::int32_t {
        if (numTermsOut != nullptr) *numTermsOut = 0;
        if (n < 8) return kStatusBadLength;
        if (maxTerms < 0) return kStatusNegativeCount;
        const std::int64_t samples = (complexSignal ? 2 : 1) * std::int64_t{n};
        if (const std::int32_t status = ArrayCheck()
                                            .reads(signal, samples)
                                            .writes(numTermsOut, 1)
                                            .writes(residualPercent, 1)
                                            .writes(coefs, 2 * std::int64_t{maxTerms})
                                            .writes(terms, maxTerms)
                                            .writes(residual, samples)
                                            .status();
            status != kStatusOk) {
            return status;
        }
        if (!(rangeFactor > 0.0)) rangeFactor = 4.0;
        if (maxAttempts <= 0) maxAttempts = 10;
        const std::int64_t window = windowLength < 8 ? defaultWindow(n) : nextPow2(windowLength);
        // No FFT length beyond 2^30 (nextPow2 gives 0 past it).
        if (window < 8 || window > (std::int64_t{1} << 30)) return kStatusNoMemory;
        const adaptive::TransformRequest request{signal, n, complexSignal, chirpMode, extensionMode,
                                                 static_cast<std::int32_t>(window), rangeFactor, maxAttempts,
                                                 maxTerms, adaptive::ProbeSupport::Envelope};
        return adaptive::adaptiveTransform(request, {numTermsOut, residualPercent, coefs, terms, residual});
    });
}

}  // namespace

extern "C" {

VARNEL_API int32_t ReAdaptiveTransform(const double* signal, int32_t N, int32_t chirpMode, int32_t extensionMode,
                                       int32_t windowLength, double rangeFactor, int32_t maxAttempts,
                                       int32_t maxTerms, int32_t* numTermsOut, double* residualPercent,
                                       double* coefs, AdaptiveTerm* terms, double* residual) {
    return transformExport(signal, N, false, chirpMode, extensionMode, windowLength, rangeFactor, maxAttempts,
                           maxTerms, numTermsOut, residualPercent, coefs, terms, residual);
}

VARNEL_API int32_t CxAdaptiveTransform(const double* signal, int32_t N, int32_t chirpMode, int32_t extensionMode,
                                       int32_t windowLength, double rangeFactor, int32_t maxAttempts,
                                       int32_t maxTerms, int32_t* numTermsOut, double* residualPercent,
                                       double* coefs, AdaptiveTerm* terms, double* residual) {
    return transformExport(signal, N, true, chirpMode, extensionMode, windowLength, rangeFactor, maxAttempts,
                           maxTerms, numTermsOut, residualPercent, coefs, terms, residual);
}

}  // extern "C"
