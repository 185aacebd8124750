// Signals rebuilt from chirplet terms: each term is generated only on its
// support (where its envelope is above exp(-40.5)) and added there.
#include <algorithm>
#include <cmath>
#include <cstddef>

#include "adaptive/chirplet.h"
#include "frame/array_check.h"
#include "frame/export_guard.h"
#include "frame/scratch.h"
#include "varnel.h"

namespace {

using namespace varnel;

std::int32_t complexExpansion(const AdaptiveTerm* terms, const double* coefs, std::int32_t count,
                              std::int32_t length, double* out) {
    ScratchBuffer<double> atom(2 * static_cast<std::size_t>(length));
    if (!atom.ok()) return kStatusNoMemory;
    std::fill(out, out + 2 * static_cast<std::ptrdiff_t>(length), 0.0);
    for (std::int32_t j = 0; j < count; ++j) {
        const AdaptiveTerm& term = terms[j];
        const double w = 9.0 / std::sqrt(term.alpha);
        // Bounds stay doubles until clipped: tc may lie anywhere.
        const double lo = std::max(std::floor(term.tc - w), 0.0);
        const double hi = std::min(std::ceil(term.tc + w) + 1.0, static_cast<double>(length));
        if (!(hi - lo >= 1.0)) return kStatusBadLength;
        const auto first = static_cast<std::ptrdiff_t>(lo);
        const auto end = static_cast<std::ptrdiff_t>(hi);
        AdaptiveTerm shifted = term;
        shifted.tc -= lo;
        double* g = atom.data() + 2 * first;
        adaptive::chirpletAtom(shifted, static_cast<std::int32_t>(end - first), g);
        const double cr = coefs[2 * j], ci = coefs[2 * j + 1];
        for (std::ptrdiff_t i = first; i < end; ++i) {
            const double re = atom[2 * i], im = atom[2 * i + 1];
            out[2 * i] += cr * re - ci * im;
            out[2 * i + 1] += cr * im + ci * re;
        }
    }
    return kStatusOk;
}

std::int32_t realExpansion(const AdaptiveTerm* terms, const double* coefs, std::int32_t count,
                           std::int32_t length, double* out) {
    adaptive::RealAtomWorkspace work;
    std::fill(out, out + length, 0.0);
    for (std::int32_t j = 0; j < count; ++j) {
        const AdaptiveTerm& term = terms[j];
        // An integer half-width, so that the support is 2w + 1 samples
        // wherever tc lies between samples.
        const double w = std::min(std::floor(9.0 / std::sqrt(term.alpha) + 0.5), static_cast<double>(length) - 1.0);
        const double lo = std::floor(term.tc - w);
        const double hi = std::floor(term.tc + w) + 1.0;
        if (hi <= 0.0 || lo >= static_cast<double>(length)) continue;
        // Here |lo|, |hi| < 2*length, and the support has at most
        // 2*length - 1 samples.
        const auto first = static_cast<std::ptrdiff_t>(lo);
        const auto end = static_cast<std::ptrdiff_t>(hi);
        AdaptiveTerm shifted = term;
        shifted.tc -= lo;
        const std::ptrdiff_t n = end - first;
        if (n > (std::ptrdiff_t{1} << 30)) return kStatusNoMemory;
        const std::int32_t status =
            adaptive::realAtom(shifted, coefs + 2 * static_cast<std::ptrdiff_t>(j), static_cast<std::int32_t>(n), work);
        if (status != kStatusOk) return status;
        const double* waveform = work.waveform();
        const std::ptrdiff_t stop = std::min<std::ptrdiff_t>(end, length);
        for (std::ptrdiff_t i = std::max<std::ptrdiff_t>(first, 0); i < stop; ++i) out[i] += waveform[i - first];
    }
    return kStatusOk;
}

// parts: doubles per output sample.
template <class Expansion>
std::int32_t expansionExport(const AdaptiveTerm* terms, const double* coefs, std::int32_t count,
                             std::int32_t length, double* out, std::int32_t parts, Expansion&& expansion) {
    return guardedExport([&]() -> std::int32_t {
        if (count < 1 || length < 1) return kStatusBadLength;
        if (const std::int32_t status = ArrayCheck()
                                            .reads(terms, count)
                                            .reads(coefs, 2 * std::int64_t{count})
                                            .writes(out, std::int64_t{parts} * length)
                                            .status();
            status != kStatusOk) {
            return status;
        }
        if (const std::int32_t status = adaptive::checkTerms(terms, coefs, count); status != kStatusOk) return status;
        return expansion(terms, coefs, count, length, out);
    });
}

}  // namespace

extern "C" {

VARNEL_API int32_t CxAdaptiveExpansion(const AdaptiveTerm* terms, const double* coefs, int32_t numTerms,
                                       int32_t length, double* out) {
    return expansionExport(terms, coefs, numTerms, length, out, 2, complexExpansion);
}

VARNEL_API int32_t ReAdaptiveExpansion(const AdaptiveTerm* terms, const double* coefs, int32_t numTerms,
                                       int32_t length, double* out) {
    return expansionExport(terms, coefs, numTerms, length, out, 1, realExpansion);
}

}  // extern "C"
