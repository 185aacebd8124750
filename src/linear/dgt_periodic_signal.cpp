#include "linear/dgt_periodic_signal.h"

#include <algorithm>
#include <climits>

#include "linear/gabor_factorised.h"
#include "linear/extension_rules.h"
#include "linear/stft_grid.h"

namespace varnel::gabor {
namespace {

// The short-time transform's grid over the extended buffer: frame k has
// window sample g[h] on signal sample k*dM, its phase referred to the
// buffer's start.
stft::Grid frameGrid(const Lattice& lattice, const PeriodicSignal& signal) noexcept {
    return {lattice.window, lattice.length, lattice.step, lattice.bins, signal.frames};
}

// Values of `parts` doubles: the padded period from value h on, then its
// periodic continuation by h values before and L - h after it.
void continuePeriodically(const Lattice& lattice, const PeriodicSignal& signal, std::ptrdiff_t parts,
                          double* buffer) noexcept {
    const std::ptrdiff_t h = lattice.half;
    const double* period = buffer + h * parts;
    double* after = buffer + (h + signal.padded) * parts;
    const auto p = static_cast<std::int32_t>(signal.padded);
    for (std::ptrdiff_t k = 0; k < parts; ++k) {
        extendPeriodic(StridedInput{period, k, parts}, p, lattice.half, StridedOutput{buffer + k, parts},
                       StridedOutput{after + k, parts});
    }
}

}  // namespace

std::int32_t describePeriodicSignal(std::int32_t n, const Lattice& lattice, PeriodicSignal& signal) noexcept {
    if (n == lattice.step || std::int64_t{n} + lattice.length > INT32_MAX) return kStatusBadLength;
    const std::int64_t step = lattice.step;
    const std::int64_t padded = (n + step - 1) / step * step;
    signal = PeriodicSignal{n, padded, padded / step, static_cast<std::size_t>(padded + lattice.length),
                            factorisedLength(lattice, padded)};
    return kStatusOk;
}

std::int32_t checkTransform(std::int32_t n, const WindowSpec* spec, Lattice& lattice, PeriodicSignal& signal) noexcept {
    if (n < 1) return kStatusBadLength;
    if (const std::int32_t status = checkLattice(spec, false, lattice); status != kStatusOk) return status;
    return describePeriodicSignal(n, lattice, signal);
}

std::size_t realTransformScratch(const Lattice& lattice, const PeriodicSignal& signal) noexcept {
    if (signal.correlationLength != 0) return realFactorisedScratch(lattice, signal);
    return signal.slots + static_cast<std::size_t>(lattice.bins) * stft::kRealFrameBuffers;
}

std::size_t complexTransformScratch(const Lattice& lattice, const PeriodicSignal& signal,
                                    std::int32_t outStride) noexcept {
    if (signal.correlationLength != 0) return complexFactorisedScratch(lattice, signal);
    return 2 * signal.slots + stft::complexFrameDoubles(lattice.bins, outStride);
}

std::int32_t realTransform(const double* x, std::ptrdiff_t stride, const Lattice& lattice,
                           const PeriodicSignal& signal, double* out, const TransformPlans& plans,
                           double* scratch) noexcept {
    if (signal.correlationLength != 0) return realFactorised(x, stride, lattice, signal, out, plans, scratch);
    double* period = scratch + lattice.half;
    for (std::ptrdiff_t t = 0; t < signal.length; ++t) period[t] = x[t * stride];
    std::fill(period + signal.length, period + signal.padded, 0.0);
    continuePeriodically(lattice, signal, 1, scratch);
    return stft::realFrames(frameGrid(lattice, signal), scratch, 0, out,
                            {plans.bins, scratch + signal.slots, plans.binsScratch});
}

std::int32_t complexTransform(ConstSplitComplex x, const Lattice& lattice, const PeriodicSignal& signal,
                              SplitComplex out, const TransformPlans& plans, double* scratch) noexcept {
    if (signal.correlationLength != 0) return complexFactorised(x, lattice, signal, out, plans, scratch);
    // Interleaved pairs, whatever the input layout, so that every frame is
    // folded in one pass.
    double* period = scratch + 2 * static_cast<std::ptrdiff_t>(lattice.half);
    for (std::ptrdiff_t t = 0; t < signal.length; ++t) {
        period[2 * t] = x.re[t * x.stride];
        period[2 * t + 1] = x.im[t * x.stride];
    }
    std::fill(period + 2 * static_cast<std::ptrdiff_t>(signal.length), period + 2 * signal.padded, 0.0);
    continuePeriodically(lattice, signal, 2, scratch);
    return stft::complexFrames(frameGrid(lattice, signal), {scratch, scratch + 1, 2}, 0, out,
                               {plans.bins, scratch + 2 * signal.slots, plans.binsScratch});
}

}  // namespace varnel::gabor
