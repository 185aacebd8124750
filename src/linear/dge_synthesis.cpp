#include "linear/dge_synthesis.h"

#include <algorithm>

#include "linear/gabor_factorised.h"

namespace varnel::gabor {

namespace {

std::size_t accumulatorValues(const Lattice& lattice, std::int64_t frames) {
    // F*dM + L stays far below 2^63 for 32-bit F, dM and L; a count that
    // no allocator can satisfy is refused by the scratch helper.
    return static_cast<std::size_t>(frames * lattice.step + lattice.length);
}

// Real frames: a copy (the inverse overwrites its input), the inverse and
// the rotated frame; complex frames need no copy.
std::size_t workValues(const Lattice& lattice, int valueSize) {
    return (valueSize == 1 ? 3 : 4) * static_cast<std::size_t>(lattice.bins);
}

}  // namespace

std::size_t synthesisScratch(const Lattice& lattice, std::int64_t frames, int valueSize) noexcept {
    return accumulatorValues(lattice, frames) * static_cast<std::size_t>(valueSize) +
           static_cast<std::size_t>(lattice.length) + workValues(lattice, valueSize);
}

Synthesis::Synthesis(const Lattice& lattice, std::int64_t frames, int valueSize, const fft::FftPlan* plan,
                     double* scratch, double* fftScratch) noexcept
    : lattice_(lattice),
      frames_(frames),
      span_(frames * lattice.step),
      valueSize_(valueSize),
      plan_(plan),
      fftScratch_(fftScratch),
      accumulator_(scratch),
      window_(scratch + accumulatorValues(lattice, frames) * static_cast<std::size_t>(valueSize)),
      work_(window_ + lattice.length) {
    std::fill(accumulator_, window_, 0.0);
    const double scale = lattice.step;
    for (std::int32_t i = 0; i < lattice.length; ++i) window_[i] = scale * lattice.window[i];
}

std::int32_t Synthesis::addRealFrames(const double* coef) noexcept {
    const std::ptrdiff_t n = lattice_.bins;
    double* copy = work_;
    double* inverse = copy + n;
    for (std::int64_t k = 0; k < frames_; ++k) {
        std::copy(coef + k * n, coef + (k + 1) * n, copy);
        if (const std::int32_t status = fft::reIfft(plan_, copy, inverse, 1, 1, lattice_.bins, fftScratch_);
            status != kStatusOk) {
            return status;
        }
        addFrame(k, inverse);
    }
    return kStatusOk;
}

std::int32_t Synthesis::addComplexFrames(ConstSplitComplex coef) noexcept {
    const std::ptrdiff_t n = lattice_.bins;
    const auto stride = static_cast<std::int32_t>(coef.stride);
    double* inverse = work_;
    for (std::int64_t k = 0; k < frames_; ++k) {
        const std::ptrdiff_t offset = k * n * coef.stride;
        if (const std::int32_t status = fft::cxIfft(plan_, coef.re + offset, coef.im + offset, inverse, inverse + 1,
                                                    stride, 2, lattice_.bins, fftScratch_);
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
void Synthesis::addFrame(std::int64_t frame, const double* values) noexcept {
    const std::ptrdiff_t v = valueSize_;
    const std::ptrdiff_t n = lattice_.bins;
    const std::ptrdiff_t s = static_cast<std::ptrdiff_t>((frame * lattice_.step) % n);
    double* rotated = work_ + 2 * n;
    std::copy(values + s * v, values + n * v, rotated);
    std::copy(values, values + s * v, rotated + (n - s) * v);

    const double* w = window_;
    double* a = accumulator_ + frame * lattice_.step * v;
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

const double* Synthesis::wrappedPeriod() noexcept {
    const std::ptrdiff_t v = valueSize_;
    const std::ptrdiff_t h = lattice_.half;
    const std::ptrdiff_t p = span_;
    double* a = accumulator_;
    // In place and in ascending order: when P is shorter than the window
    // the ranges overlap and later steps add sums formed by earlier ones,
    // so the order is part of the result.
    for (std::ptrdiff_t i = 0; i < (lattice_.length - h) * v; ++i) a[h * v + i] += a[(h + p) * v + i];
    for (std::ptrdiff_t i = 0; i < h * v; ++i) a[p * v + i] += a[i];
    return a + h * v;
}

ExpansionRoute expansionRoute(const Lattice& lattice, std::int64_t frames, int valueSize) noexcept {
    const std::int32_t length = factorisedExpansionLength(lattice, frames);
    return {length, length != 0 ? factorisedExpansionScratch(lattice, frames, valueSize)
                                : synthesisScratch(lattice, frames, valueSize)};
}

std::int32_t expandReal(const double* coef, std::int64_t frames, const Lattice& lattice, double* out,
                        std::ptrdiff_t outStride, std::int32_t outLength, const TransformPlans& plans,
                        double* scratch) noexcept {
    if (plans.correlation != nullptr) {
        return expandRealFactorised(coef, frames, lattice, out, outStride, outLength, plans, scratch);
    }
    Synthesis synthesis(lattice, frames, 1, plans.bins, scratch, plans.binsScratch);
    if (const std::int32_t status = synthesis.addRealFrames(coef); status != kStatusOk) return status;
    const double* period = synthesis.wrappedPeriod();
    const std::int64_t written = std::min<std::int64_t>(outLength, synthesis.span());
    for (std::ptrdiff_t t = 0; t < written; ++t) out[t * outStride] = period[t];
    for (std::ptrdiff_t t = written; t < outLength; ++t) out[t * outStride] = 0.0;
    return kStatusOk;
}

std::int32_t expandComplex(ConstSplitComplex coef, std::int64_t frames, const Lattice& lattice,
                           SplitComplex out, std::int32_t outLength, const TransformPlans& plans,
                           double* scratch) noexcept {
    if (plans.correlation != nullptr) {
        return expandComplexFactorised(coef, frames, lattice, out, outLength, plans, scratch);
    }
    Synthesis synthesis(lattice, frames, 2, plans.bins, scratch, plans.binsScratch);
    if (const std::int32_t status = synthesis.addComplexFrames(coef); status != kStatusOk) return status;
    const double* period = synthesis.wrappedPeriod();
    const std::ptrdiff_t stride = out.stride;
    const std::int64_t written = std::min<std::int64_t>(outLength, synthesis.span());
    for (std::ptrdiff_t t = 0; t < written; ++t) {
        out.re[t * stride] = period[2 * t];
        out.im[t * stride] = period[2 * t + 1];
    }
    for (std::ptrdiff_t t = written; t < outLength; ++t) {
        out.re[t * stride] = 0.0;
        out.im[t * stride] = 0.0;
    }
    return kStatusOk;
}

}  // namespace varnel::gabor
