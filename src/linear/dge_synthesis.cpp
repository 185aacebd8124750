#include "linear/dge_synthesis.h"

#include <algorithm>

namespace varnel::gabor {

namespace {

std::size_t accumulatorValues(const Lattice& lattice, std::int64_t frames) {
    // F*dM + L stays far below 2^63 for 32-bit F, dM and L; a count that
    // no allocator can satisfy is refused by the scratch helper.
    return static_cast<std::size_t>(frames * lattice.step + lattice.length);
}

}  // namespace

SynthesisWorkspace::SynthesisWorkspace(const Lattice& lattice, std::int64_t frames, int valueSize) noexcept
    : lattice_(lattice), frames_(frames), span_(frames * lattice.step), valueSize_(valueSize) {
    const auto v = static_cast<std::size_t>(valueSize);
    accumulator_ = ScratchBuffer<double>(accumulatorValues(lattice, frames) * v);
    if (!accumulator_.ok()) return;
    window_ = ScratchBuffer<double>(static_cast<std::size_t>(lattice.length));
    if (!window_.ok()) return;
    // Real frames: a copy (the inverse overwrites its input), the inverse
    // and the rotated frame; complex frames need no copy.
    work_ = ScratchBuffer<double>((valueSize == 1 ? 3 : 4) * static_cast<std::size_t>(lattice.bins));
    if (!work_.ok()) return;
    plan_ = fft::fftPlanCreate(lattice.bins);
    if (plan_ == nullptr) return;
    std::fill(accumulator_.data(), accumulator_.data() + accumulator_.size(), 0.0);
    const double scale = lattice.step;
    for (std::int32_t i = 0; i < lattice.length; ++i) window_[i] = scale * lattice.window[i];
}

std::int32_t SynthesisWorkspace::addRealFrames(const double* coef) noexcept {
    const std::ptrdiff_t n = lattice_.bins;
    double* copy = work_.data();
    double* inverse = copy + n;
    for (std::int64_t k = 0; k < frames_; ++k) {
        std::copy(coef + k * n, coef + (k + 1) * n, copy);
        if (const std::int32_t status = fft::reIfft(plan_, copy, inverse, 1, 1, lattice_.bins); status != kStatusOk) {
            return status;
        }
        addFrame(k, inverse);
    }
    return kStatusOk;
}

std::int32_t SynthesisWorkspace::addComplexFrames(const double* re, const double* im, std::int32_t stride) noexcept {
    const std::ptrdiff_t n = lattice_.bins;
    double* inverse = work_.data();
    for (std::int64_t k = 0; k < frames_; ++k) {
        const std::ptrdiff_t offset = k * n * stride;
        if (const std::int32_t status =
                fft::cxIfft(plan_, re + offset, im + offset, inverse, inverse + 1, stride, 2, lattice_.bins);
            status != kStatusOk) {
            return status;
        }
        addFrame(k, inverse);
    }
    return kStatusOk;
}

// The transform rotated frame k so that window position j sits at
// (j + k*dM) mod N; reading the inverse from that offset undoes it. The
// rotated frame then repeats with period N under the L window samples.
void SynthesisWorkspace::addFrame(std::int64_t frame, const double* values) noexcept {
    const std::ptrdiff_t v = valueSize_;
    const std::ptrdiff_t n = lattice_.bins;
    const std::ptrdiff_t s = static_cast<std::ptrdiff_t>((frame * lattice_.step) % n);
    double* rotated = work_.data() + 2 * n;
    std::copy(values + s * v, values + n * v, rotated);
    std::copy(values, values + s * v, rotated + (n - s) * v);

    const double* w = window_.data();
    double* a = accumulator_.data() + frame * lattice_.step * v;
    for (std::ptrdiff_t q = 0; q < lattice_.length; q += n) {
        double* period = a + q * v;
        const double* weights = w + q;
        if (v == 1) {
            for (std::ptrdiff_t j = 0; j < n; ++j) period[j] += weights[j] * rotated[j];
        } else {
            for (std::ptrdiff_t j = 0; j < n; ++j) {
                period[2 * j] += weights[j] * rotated[2 * j];
                period[2 * j + 1] += weights[j] * rotated[2 * j + 1];
            }
        }
    }
}

void wrapAroundPeriod(double* accumulator, std::int64_t span, const Lattice& lattice, int valueSize) noexcept {
    const std::ptrdiff_t v = valueSize;
    const std::ptrdiff_t h = lattice.half;
    const std::ptrdiff_t p = span;
    // In place and in ascending order: when P is shorter than the window
    // the ranges overlap and later steps add sums formed by earlier ones,
    // so the order is part of the result.
    for (std::ptrdiff_t i = 0; i < (lattice.length - h) * v; ++i)
        accumulator[h * v + i] += accumulator[(h + p) * v + i];
    for (std::ptrdiff_t i = 0; i < h * v; ++i) accumulator[p * v + i] += accumulator[i];
}

}  // namespace varnel::gabor
