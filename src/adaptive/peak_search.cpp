#include "adaptive/peak_search.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "adaptive/windowed_fft.h"
#include "frame/numbers.h"
#include "linear/extension_rules.h"
#include "linear/gaussian.h"

namespace varnel::adaptive {

int PeakLevels::count() const noexcept {
    int j = 0;
    while (hop(j) > 1) ++j;
    return j;
}

namespace {

// The largest of power[0..bins-1], bins >= 1, at its first index (strict
// comparison: the first occurrence wins).
PeakEntry strongestBin(const double* power, std::int32_t bins) noexcept {
    PeakEntry peak{power[0], 0};
    for (std::int32_t k = 1; k < bins; ++k)
        if (power[k] > peak.value) peak = {power[k], k};
    return peak;
}

}  // namespace

PeakSearch::PeakSearch(const PeakLevels& levels, bool complexSignal) noexcept
    : levels_(levels), complex_(complexSignal) {
    const std::size_t parts = complex_ ? 2 : 1;
    const std::size_t L = static_cast<std::size_t>(levels.L);
    const int count = levels.count();
    for (int j = 0; j < count; ++j) {
        entryOffset_[j + 1] = entryOffset_[j] + levels.frames(j);
        blockOffset_[j + 1] = blockOffset_[j] + (levels.frames(j) + kBlock - 1) / kBlock;
    }
    extended_ = ScratchBuffer<double>(parts * (static_cast<std::size_t>(levels.n) + L));
    windows_ = ScratchBuffer<double>(2 * L);
    // Spectrum and wrap scratch of one frame (Cx for a complex signal),
    // the powers, then the transforms' scratch: the windows are powers of
    // two, whose scratch grows with their length.
    work_ = ScratchBuffer<double>(4 * L + L + fft::fftScratchSize(static_cast<std::int32_t>(L)));
    table_ = ScratchBuffer<PeakEntry>(static_cast<std::size_t>(entryOffset_[count]));
    blockMax_ = ScratchBuffer<double>(static_cast<std::size_t>(blockOffset_[count]));
    if (!extended_.ok() || !windows_.ok() || !work_.ok() || !table_.ok() || !blockMax_.ok()) return;
    double* window = windows_.data();
    for (int j = 0; j < count; ++j) {
        const std::int32_t w = levels.window(j);
        gaussianWindow(w, (w - 1) / 2.0, static_cast<double>(w) * levels.hop(j) / kTwoPi, window);
        window += w;
        plans_[j].emplace(w);
        if (!plans_[j]->ok()) return;
    }
    ok_ = true;
}

double* PeakSearch::residual() const noexcept {
    return extended_.data() + (complex_ ? 2 : 1) * static_cast<std::ptrdiff_t>(levels_.L / 2);
}

std::int32_t PeakSearch::scan(std::int32_t mode, std::int64_t start, std::int64_t end) noexcept {
    const std::ptrdiff_t parts = complex_ ? 2 : 1;
    const std::int32_t half = levels_.L / 2;
    const auto n = static_cast<std::int32_t>(levels_.n);
    const std::int32_t status =
        extendSignal(residual(), n, mode, half, extended_.data(), residual() + parts * n, parts);
    if (status != kStatusOk) return status;
    for (int j = 0; j < levels_.count(); ++j) scanLevel(j, start, end);
    return kStatusOk;
}

void PeakSearch::scanLevel(int j, std::int64_t start, std::int64_t end) noexcept {
    const std::int32_t w = levels_.window(j);
    const std::int32_t s = levels_.hop(j);
    const std::int64_t first = std::max<std::int64_t>(start - w / 2, 0) / s;
    const std::int64_t stop = (std::min<std::int64_t>(levels_.n, end + w / 2) + s - 1) / s;
    const std::ptrdiff_t parts = complex_ ? 2 : 1;
    const std::int32_t bins = complex_ ? w : w / 2;
    const double* window = windows_.data() + 2 * static_cast<std::ptrdiff_t>(levels_.L - w);
    const fft::FftPlan* plan = plans_[j]->get();
    double* spectrum = work_.data();
    double* scratch = spectrum + 2 * static_cast<std::ptrdiff_t>(levels_.L);
    double* power = scratch + 2 * static_cast<std::ptrdiff_t>(levels_.L);
    double* fftScratch = power + levels_.L;
    PeakEntry* entries = table_.data() + entryOffset_[j];
    // Frame m covers residual samples m*s - w/2 .. m*s + w/2 - 1.
    const double* origin = extended_.data() + parts * static_cast<std::ptrdiff_t>((levels_.L - w) / 2);
    for (std::int64_t m = first; m < stop; ++m) {
        const double* frame = origin + parts * m * s;
        if (complex_) {
            cxWindowedFft(frame, window, w, w, spectrum, plan, scratch, fftScratch);
            for (std::int32_t k = 0; k < w; ++k)
                power[k] = spectrum[2 * k] * spectrum[2 * k] + spectrum[2 * k + 1] * spectrum[2 * k + 1];
        } else {
            reWindowedFft(frame, window, w, w, spectrum, plan, scratch, fftScratch);
            power[0] = spectrum[0] * spectrum[0];
            for (std::int32_t k = 1; k < bins; ++k)
                power[k] = spectrum[k] * spectrum[k] + spectrum[w - k] * spectrum[w - k];
        }
        entries[m] = strongestBin(power, bins);
    }
    updateBlocks(j, first, stop);
}

void PeakSearch::updateBlocks(int j, std::int64_t first, std::int64_t stop) noexcept {
    const PeakEntry* entries = table_.data() + entryOffset_[j];
    double* maxima = blockMax_.data() + blockOffset_[j];
    const std::int64_t frames = levels_.frames(j);
    for (std::int64_t b = first / kBlock; b * kBlock < stop; ++b) {
        // Only values above the running best can win, as in bestPeak.
        double best = 0.0;
        for (std::int64_t m = b * kBlock; m < std::min(frames, (b + 1) * kBlock); ++m) {
            if (entries[m].value > best) best = entries[m].value;
        }
        maxima[b] = best;
    }
}

AdaptiveTerm PeakSearch::bestPeak() const noexcept {
    double best = 0.0;
    std::int64_t bestFrame = 0;
    std::int32_t bestBin = 0, bestWindow = levels_.L, bestHop = levels_.S0;
    // The first block (longer windows first, then earlier frames) holding
    // the largest value, then the first entry of that block holding it:
    // the first entry of the whole table with the largest value.
    int bestLevel = -1;
    std::int64_t bestBlock = 0;
    for (int j = 0; j < levels_.count(); ++j) {
        const double* maxima = blockMax_.data() + blockOffset_[j];
        for (std::int64_t b = 0; b < blockOffset_[j + 1] - blockOffset_[j]; ++b) {
            if (maxima[b] > best) {
                best = maxima[b];
                bestLevel = j;
                bestBlock = b;
            }
        }
    }
    if (bestLevel >= 0) {
        const PeakEntry* entries = table_.data() + entryOffset_[bestLevel];
        bestFrame = bestBlock * kBlock;
        while (!(entries[bestFrame].value == best)) ++bestFrame;
        bestBin = entries[bestFrame].bin;
        bestWindow = levels_.window(bestLevel);
        bestHop = levels_.hop(bestLevel);
    }
    return {kTwoPi / (static_cast<double>(bestHop) * bestWindow), static_cast<double>(bestHop) * bestFrame,
            kTwoPi * bestBin / bestWindow, 0.0};
}

}  // namespace varnel::adaptive
