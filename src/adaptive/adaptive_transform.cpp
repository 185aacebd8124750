#include "adaptive/adaptive_transform.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "adaptive/chirplet.h"
#include "adaptive/peak_search.h"
#include "adaptive/sum_of_squares.h"

namespace varnel::adaptive {
namespace {

// The residual's energy as a sum of block energies: a subtraction changes
// only the blocks under the term's support, so the energy after each term
// costs that support and one pass over the blocks, not the signal.
class BlockEnergy {
public:
    BlockEnergy(const double* x, std::ptrdiff_t count) noexcept
        : x_(x), count_(count), sums_(static_cast<std::size_t>((count + kBlock - 1) / kBlock)) {
        update(0, count);
    }
    bool ok() const noexcept { return sums_.ok(); }

    // Recomputes the blocks holding doubles [first, end).
    void update(std::ptrdiff_t first, std::ptrdiff_t end) noexcept {
        if (!sums_.ok()) return;
        for (std::ptrdiff_t b = first / kBlock; b * kBlock < end; ++b) {
            const std::ptrdiff_t from = b * kBlock;
            sums_[b] = sumOfSquares(x_ + from, std::min(kBlock, count_ - from));
        }
    }

    double total() const noexcept {
        double sum = 0.0;
        for (std::size_t b = 0; b < sums_.size(); ++b) sum += sums_[b];
        return sum;
    }

private:
    static constexpr std::ptrdiff_t kBlock = 1024;
    const double* x_;
    std::ptrdiff_t count_;
    ScratchBuffer<double> sums_;
};

// A sample index far outside any signal but safe to convert and to offset.
std::int64_t clampedIndex(double x) noexcept {
    constexpr double kLimit = 1099511627776.0;  // 2^40
    return static_cast<std::int64_t>(std::clamp(x, -kLimit, kLimit));
}

// The doubles of the residual that a term fit changed.
struct ChangedRange {
    std::ptrdiff_t first = 0;
    std::ptrdiff_t end = 0;
};

// coef = sum of r conj(g) over the term's envelope, where alone the
// chirplet g is not zero; the residual loses coef * g there.
ChangedRange complexTermFit(double* residual, std::int32_t n, const AdaptiveTerm& term, ProbeSupport support,
                            ProbeBuffer& probe, double* coef) noexcept {
    coef[0] = coef[1] = 0.0;
    const SampleRange range = envelopeRange(term, n, support);
    if (range.end <= range.first) return {};
    AdaptiveTerm shifted = term;
    shifted.tc -= range.first;
    const std::ptrdiff_t count = range.end - range.first;
    double* g = probe.data();
    chirpletAtom(shifted, static_cast<std::int32_t>(count), g);
    double* x = residual + 2 * static_cast<std::ptrdiff_t>(range.first);
    double re = 0.0, im = 0.0;
    for (std::ptrdiff_t i = 0; i < count; ++i) {
        re += x[2 * i] * g[2 * i] + x[2 * i + 1] * g[2 * i + 1];
        im += x[2 * i + 1] * g[2 * i] - x[2 * i] * g[2 * i + 1];
    }
    coef[0] = re;
    coef[1] = im;
    for (std::ptrdiff_t i = 0; i < count; ++i) {
        x[2 * i] -= re * g[2 * i] - im * g[2 * i + 1];
        x[2 * i + 1] -= re * g[2 * i + 1] + im * g[2 * i];
    }
    return {2 * static_cast<std::ptrdiff_t>(range.first), 2 * static_cast<std::ptrdiff_t>(range.end)};
}

// The real waveform of coef * g on a support of half-width 9/sqrt(alpha)
// (at most n - 1) starting at trunc(tc - h), coef measured on the part of
// that support inside the signal.
std::int32_t realTermFit(double* residual, std::int32_t n, const AdaptiveTerm& term, RealAtomWorkspace& work,
                         double* coef, ChangedRange& changed) noexcept {
    coef[0] = coef[1] = 0.0;
    const double h = std::min(9.0 / std::sqrt(term.alpha), static_cast<double>(n) - 1.0);
    const double lo = std::trunc(term.tc - h);
    const double hi = std::ceil(term.tc + h) + 1.0;
    if (lo >= n || hi < 0.0) return kStatusOk;
    // Within these bounds the support has at most 2n + 1 samples; beyond
    // 2^30 of them it has no FFT length in 32 bits.
    const auto first = static_cast<std::ptrdiff_t>(lo);
    const auto end = static_cast<std::ptrdiff_t>(hi);
    if (end - first > (std::ptrdiff_t{1} << 30)) return kStatusNoMemory;
    AdaptiveTerm shifted = term;
    shifted.tc -= lo;
    if (const std::int32_t status = prepareAtom(shifted, static_cast<std::int32_t>(end - first), work);
        status != kStatusOk) {
        return status;
    }
    const std::ptrdiff_t from = std::max<std::ptrdiff_t>(first, 0), stop = std::min<std::ptrdiff_t>(end, n);
    const double* g = work.atom();
    double re = 0.0, im = 0.0;
    for (std::ptrdiff_t i = from; i < stop; ++i) {
        re += residual[i] * g[2 * (i - first)];
        im -= residual[i] * g[2 * (i - first) + 1];
    }
    coef[0] = re;
    coef[1] = im;
    if (const std::int32_t status = foldAtom(shifted, coef, static_cast<std::int32_t>(end - first), work);
        status != kStatusOk) {
        return status;
    }
    const double* waveform = work.waveform();
    for (std::ptrdiff_t i = from; i < stop; ++i) residual[i] -= waveform[i - first];
    changed = {from, stop};
    return kStatusOk;
}

}  // namespace

std::int32_t adaptiveTransform(const TransformRequest& request, const TransformOutput& output) noexcept {
    const std::int32_t n = request.n;
    const std::int32_t L = request.longestWindow;
    const PeakLevels levels{n, L, L / 8};
    PeakSearch search(levels, request.complexSignal);
    ProbeBuffer probe(n);
    RealAtomWorkspace work;
    if (!search.ok() || !probe.ok()) return kStatusNoMemory;
    const std::ptrdiff_t doubles = (request.complexSignal ? 2 : 1) * static_cast<std::ptrdiff_t>(n);
    double* residual = search.residual();
    std::copy(request.signal, request.signal + doubles, residual);
    const ResidualView view{residual, n, request.complexSignal};
    BlockEnergy residualEnergy(residual, doubles);
    if (!residualEnergy.ok()) return kStatusNoMemory;

    const double initial = residualEnergy.total();
    double kept = initial;
    std::int32_t counted = 0;
    for (std::int32_t k = 0; k < request.maxTerms; ++k) {
        std::int64_t start = 0, end = n;
        if (k > 0) {
            const AdaptiveTerm& last = output.terms[k - 1];
            const double h = request.rangeFactor / std::sqrt(0.5 * last.alpha);
            start = clampedIndex(std::floor(last.tc - h));
            end = clampedIndex(std::ceil(std::trunc(last.tc) + h));
        }
        if (const std::int32_t status = search.scan(request.extensionMode, start, end); status != kStatusOk) {
            return status;
        }
        AdaptiveTerm term = search.bestPeak();
        const double a = term.alpha;
        const RefineSettings settings{request.chirpMode, request.maxAttempts, 0.1 / std::sqrt(a), 0.1 * std::sqrt(a),
                                      request.support};
        refineTerm(view, settings, probe, term);
        output.terms[k] = term;
        double* coef = output.coefs + 2 * static_cast<std::ptrdiff_t>(k);
        ChangedRange changed;
        if (request.complexSignal) {
            changed = complexTermFit(residual, n, term, request.support, probe, coef);
        } else if (const std::int32_t status = realTermFit(residual, n, term, work, coef, changed);
                   status != kStatusOk) {
            return status;
        }
        residualEnergy.update(changed.first, changed.end);
        const double left = residualEnergy.total();
        if (!(left < kept)) break;
        kept = left;
        ++counted;
    }
    std::copy(residual, residual + doubles, output.residual);
    // The ratio first, so that no term counted gives exactly 100.
    *output.residualPercent = 100.0 * (kept / initial);
    *output.numTerms = counted;
    return kStatusOk;
}

}  // namespace varnel::adaptive
