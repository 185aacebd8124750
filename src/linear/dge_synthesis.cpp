#include "linear/dge_synthesis.h"

#include <algorithm>

#include "frame/layouts.h"
#include "frame/scratch.h"
#include "linear/gabor_factorised.h"

namespace varnel::gabor {

namespace {

std::ptrdiff_t accumulatorValues(const Lattice& lattice, std::int64_t frames) {
    // F*dM + L stays far below 2^63 for 32-bit F, dM and L; a count that
    // no allocator can satisfy is refused by the scratch helper.
    return frames * lattice.step + lattice.length;
}

// Asks for the next frame's coefficients while the current one is
// transformed: the frames stream from memory, and a transform alone does
// not keep the loads busy.
void prefetchFrame(const double* values, std::ptrdiff_t n) {
    for (std::ptrdiff_t i = 0; i < n; i += kLineDoubles) __builtin_prefetch(values + i, 0, 2);
}

}  // namespace

std::size_t synthesisScratch(const Lattice& lattice, std::int64_t frames, int parts) noexcept {
    // Per part an accumulator, a frame copy and its inverse transform.
    return static_cast<std::size_t>(parts * (accumulatorValues(lattice, frames) + 2 * planeSpacing(lattice.bins)) +
                                    lattice.length);
}

Synthesis::Synthesis(const Lattice& lattice, std::int64_t frames, int parts, const fft::FftPlan* plan,
                     double* scratch, double* fftScratch, std::array<double*, 2> periods) noexcept
    : lattice_(lattice),
      frames_(frames),
      span_(frames * lattice.step),
      periodic_(periods[0] != nullptr),
      plan_(plan),
      fftScratch_(fftScratch),
      loops_(stft::frameLoops()),
      accumulators_(periods),
      window_(scratch + parts * accumulatorValues(lattice, frames)),
      work_(window_ + lattice.length) {
    const std::ptrdiff_t values = periodic_ ? span_ : accumulatorValues(lattice, frames);
    for (int part = 0; part < parts; ++part) {
        if (!periodic_) accumulators_[part] = scratch + part * values;
        std::fill(accumulators_[part], accumulators_[part] + values, 0.0);
    }
    const double scale = lattice.step;
    for (std::int32_t i = 0; i < lattice.length; ++i) window_[i] = scale * lattice.window[i];
}

std::int32_t Synthesis::addRealFrames(const double* coef) noexcept {
    const std::ptrdiff_t n = lattice_.bins;
    double* copy = work_;
    double* inverse = copy + planeSpacing(n);
    for (std::int64_t k = 0; k < frames_; ++k) {
        std::copy(coef + k * n, coef + (k + 1) * n, copy);
        if (k + 1 < frames_) prefetchFrame(coef + (k + 1) * n, n);
        if (const std::int32_t status = fft::reIfft(plan_, copy, inverse, 1, 1, lattice_.bins, fftScratch_);
            status != kStatusOk) {
            return status;
        }
        addFrame(k, inverse, accumulator(0));
    }
    return kStatusOk;
}

// Strided bins are first gathered: the vectorised FFT passes need unit
// strides, and a strided transform takes about twice as long as the copy.
std::int32_t Synthesis::addComplexFrames(ConstSplitComplex coef) noexcept {
    const std::ptrdiff_t n = lattice_.bins;
    const std::ptrdiff_t spacing = planeSpacing(n);
    double* copyRe = work_;
    double* copyIm = copyRe + spacing;
    double* inverseRe = copyIm + spacing;
    double* inverseIm = inverseRe + spacing;
    for (std::int64_t k = 0; k < frames_; ++k) {
        ConstSplitComplex frame = coef.offset(k * n);
        if (k + 1 < frames_) {
            const ConstSplitComplex next = coef.offset((k + 1) * n);
            prefetchFrame(next.re, n * next.stride);
            if (!next.interleaved()) prefetchFrame(next.im, n * next.stride);
        }
        if (frame.interleaved()) {
            layout::cxToReIm(frame.re, copyRe, copyIm, n);
            frame = {copyRe, copyIm, 1};
        } else if (frame.stride != 1) {
            for (std::ptrdiff_t j = 0; j < n; ++j) {
                copyRe[j] = frame.real(j);
                copyIm[j] = frame.imag(j);
            }
            frame = {copyRe, copyIm, 1};
        }
        if (const std::int32_t status =
                fft::cxIfft(plan_, frame.re, frame.im, inverseRe, inverseIm, 1, 1, lattice_.bins, fftScratch_);
            status != kStatusOk) {
            return status;
        }
        addFrame(k, inverseRe, accumulator(0));
        addFrame(k, inverseIm, accumulator(1));
    }
    return kStatusOk;
}

// The transform rotated frame k so that window position j sits at
// (j + k*dM) mod N; reading the inverse from that offset undoes it, in one
// cyclic pass over the window's L samples.
void Synthesis::addFrame(std::int64_t frame, const double* values, double* accumulator) const noexcept {
    const std::ptrdiff_t n = lattice_.bins;
    const std::ptrdiff_t s = static_cast<std::ptrdiff_t>((frame * lattice_.step) % n);
    if (!periodic_) {
        loops_.weighAddCyclic(accumulator + frame * lattice_.step, window_, values, n, s, lattice_.length);
        return;
    }
    // Window sample 0 lands on buffer sample k*dM, period sample
    // k*dM - h; L <= P keeps the window within one wrap of the period.
    const std::ptrdiff_t p = span_;
    const std::ptrdiff_t start = (frame * lattice_.step + p - lattice_.half % p) % p;
    const std::ptrdiff_t head = std::min<std::ptrdiff_t>(lattice_.length, p - start);
    loops_.weighAddCyclic(accumulator + start, window_, values, n, s, head);
    loops_.weighAddCyclic(accumulator, window_ + head, values, n, (s + head) % n, lattice_.length - head);
}

const double* Synthesis::wrappedPeriod(int part) noexcept {
    if (periodic_) return accumulators_[part];
    const std::ptrdiff_t h = lattice_.half;
    const std::ptrdiff_t p = span_;
    double* a = accumulator(part);
    // In place and in ascending order: when P is shorter than the window
    // the ranges overlap and later steps add sums formed by earlier ones,
    // so the order is part of the result.
    for (std::ptrdiff_t i = 0; i < lattice_.length - h; ++i) a[h + i] += a[h + p + i];
    for (std::ptrdiff_t i = 0; i < h; ++i) a[p + i] += a[i];
    return a + h;
}

ExpansionRoute expansionRoute(const Lattice& lattice, std::int64_t frames, int parts) noexcept {
    const std::int32_t length = factorisedExpansionLength(lattice, frames);
    return {length, length != 0 ? factorisedExpansionScratch(lattice, frames, parts)
                                : synthesisScratch(lattice, frames, parts)};
}

namespace {

// Where an expansion adds its frames: nowhere in particular (an
// accumulator of P + L values) when the window is longer than the period,
// else onto periods of P values, the output's own when it is contiguous
// and holds them all, else the scratch's.
std::array<double*, 2> periods(const Lattice& lattice, std::int64_t frames, SplitComplex out,
                               std::int32_t outLength, int parts, double* scratch) noexcept {
    const std::int64_t p = frames * lattice.step;
    if (lattice.length > p) return {};
    if (out.stride == 1 && outLength >= p) return {out.re, out.im};
    return {scratch, parts == 2 ? scratch + p : nullptr};
}

// out[t] = period[t] for t < min(outLength, P) unless the period is the
// output, then zeros.
void writeOut(const double* period, std::int64_t span, double* out, std::ptrdiff_t stride,
              std::int32_t outLength) noexcept {
    const std::int64_t written = period == out ? 0 : std::min<std::int64_t>(outLength, span);
    for (std::ptrdiff_t t = 0; t < written; ++t) out[t * stride] = period[t];
    for (std::ptrdiff_t t = std::max<std::int64_t>(written, period == out ? span : 0); t < outLength; ++t) {
        out[t * stride] = 0.0;
    }
}

}  // namespace

std::int32_t expandReal(const double* coef, std::int64_t frames, const Lattice& lattice, double* out,
                        std::ptrdiff_t outStride, std::int32_t outLength, const TransformPlans& plans,
                        double* scratch) noexcept {
    if (plans.correlation != nullptr) {
        return expandRealFactorised(coef, frames, lattice, out, outStride, outLength, plans, scratch);
    }
    Synthesis synthesis(lattice, frames, 1, plans.bins, scratch, plans.binsScratch,
                        periods(lattice, frames, {out, nullptr, outStride}, outLength, 1, scratch));
    if (const std::int32_t status = synthesis.addRealFrames(coef); status != kStatusOk) return status;
    writeOut(synthesis.wrappedPeriod(), synthesis.span(), out, outStride, outLength);
    return kStatusOk;
}

std::int32_t expandComplex(ConstSplitComplex coef, std::int64_t frames, const Lattice& lattice,
                           SplitComplex out, std::int32_t outLength, const TransformPlans& plans,
                           double* scratch) noexcept {
    if (plans.correlation != nullptr) {
        return expandComplexFactorised(coef, frames, lattice, out, outLength, plans, scratch);
    }
    Synthesis synthesis(lattice, frames, 2, plans.bins, scratch, plans.binsScratch,
                        periods(lattice, frames, out, outLength, 2, scratch));
    if (const std::int32_t status = synthesis.addComplexFrames(coef); status != kStatusOk) return status;
    const double *re = synthesis.wrappedPeriod(0), *im = synthesis.wrappedPeriod(1);
    if (out.interleaved()) {
        // One pass that interleaves the two periods, then the zeros.
        const std::int64_t written = std::min<std::int64_t>(outLength, synthesis.span());
        layout::reImToCx(re, im, out.re, written);
        std::fill(out.re + 2 * written, out.re + 2 * std::int64_t{outLength}, 0.0);
        return kStatusOk;
    }
    writeOut(re, synthesis.span(), out.re, out.stride, outLength);
    writeOut(im, synthesis.span(), out.im, out.stride, outLength);
    return kStatusOk;
}

}  // namespace varnel::gabor
