// Adaptive spectrograms: the terms' closed-form Wigner distributions summed
// on a caller's grid. No working memory and no transform.
#include <algorithm>
#include <cstddef>

#include "adaptive/chirplet.h"
#include "adaptive/term_wigner.h"
#include "frame/array_check.h"
#include "frame/export_guard.h"
#include "varnel.h"

namespace {

using namespace varnel;

template <class Paint>
std::int32_t adaptiveSpectrogram(const double* coefs, const AdaptiveTerm* terms, std::int32_t count, std::int32_t dt,
                                 std::int32_t K, std::int32_t t0, std::int32_t f0, std::int32_t rows,
                                 std::int32_t cols, double* out, Paint&& paint) {
    return guardedExport([&]() -> std::int32_t {
        if (count < 1 || rows < 1 || cols < 1) return kStatusBadLength;
        if (const std::int32_t status = ArrayCheck()
                                            .reads(coefs, 2 * std::int64_t{count})
                                            .reads(terms, count)
                                            .writes(out, std::int64_t{rows} * cols)
                                            .status();
            status != kStatusOk) {
            return status;
        }
        if (dt < 1) return kStatusBadTimeStep;
        if (K < 1) return kStatusBadBinCount;
        if (f0 < 0 || f0 >= K || std::int64_t{f0} + cols > K) return kStatusBadRange;
        if (const std::int32_t status = adaptive::checkTerms(terms, coefs, count); status != kStatusOk) return status;
        const adaptive::WignerGrid grid{dt, K, std::max(t0, 0), f0, rows, cols};
        const std::ptrdiff_t cells = static_cast<std::ptrdiff_t>(rows) * cols;
        std::fill(out, out + cells, 0.0);
        for (std::int32_t j = 0; j < count; ++j) paint(coefs + 2 * static_cast<std::ptrdiff_t>(j), terms[j], grid, out);
        for (std::ptrdiff_t i = 0; i < cells; ++i) out[i] /= K;
        return kStatusOk;
    });
}

}  // namespace

extern "C" {

VARNEL_API int32_t ReAdaptiveSp(const double* coefs, const AdaptiveTerm* terms, int32_t numTerms, int32_t dt,
                                int32_t K, int32_t t0, int32_t f0, int32_t rows, int32_t cols, double* out) {
    return adaptiveSpectrogram(coefs, terms, numTerms, dt, K, t0, f0, rows, cols, out, adaptive::reTermWigner);
}

VARNEL_API int32_t CxAdaptiveSp(const double* coefs, const AdaptiveTerm* terms, int32_t numTerms, int32_t dt,
                                int32_t K, int32_t t0, int32_t f0, int32_t rows, int32_t cols, double* out) {
    return adaptiveSpectrogram(coefs, terms, numTerms, dt, K, t0, f0, rows, cols, out, adaptive::cxTermWigner);
}

}  // extern "C"
