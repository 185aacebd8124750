#include "linear/dgt_periodic_signal.h"

#include <algorithm>
#include <climits>

#include "linear/gabor_factorised.h"
#include "linear/stft_grid.h"

namespace varnel::gabor {
namespace {

// Frame k folds the extended buffer's values k*dM .. k*dM + L - 1: the
// period's samples from k*dM - h on, the signal zero-padded and continued
// periodically. The frames whose windows lie inside the signal, from
// `first` to before `last`, fold its own samples from x[k*dM - h] on and
// are made from x itself; only the frames at either end, whose windows
// reach into the padding or around the period, are made from the buffer,
// and only their values of it are written.
struct FrameSplit {
    std::int64_t first, last;
};

FrameSplit splitFrames(const Lattice& lattice, const PeriodicSignal& signal) noexcept {
    const std::int64_t step = lattice.step, frames = signal.frames;
    const std::int64_t inside = signal.length - lattice.length + lattice.half;  // k*dM <= inside for those
    const std::int64_t first = std::min((lattice.half + step - 1) / step, frames);
    const std::int64_t endInside = inside >= 0 ? inside / step + 1 : 0;
    return {first, std::max(first, std::min(frames, endInside))};
}

// Values a .. b-1 of the extended buffer, `parts` doubles each (1 real, 2
// an interleaved complex pair) from x's parts.
template <int Parts>
void fillExtended(const double* const (&x)[Parts], std::ptrdiff_t stride, const Lattice& lattice,
                  const PeriodicSignal& signal, std::int64_t a, std::int64_t b, double* buffer) noexcept {
    const std::int64_t p = signal.padded;
    std::int64_t t = ((a - lattice.half) % p + p) % p;
    for (std::int64_t i = a; i < b; ++i) {
        for (int q = 0; q < Parts; ++q) buffer[i * Parts + q] = t < signal.length ? x[q][t * stride] : 0.0;
        if (++t == p) t = 0;
    }
}

// The frames before `first` and from `last` on made from the buffer, the
// others from the signal: frames(k0, grid, reduced, from) makes the grid's
// frames from frame k0 on, the first with the phase reference `reduced`
// (its position k0*dM in the buffer, modulo N), from the buffer's values
// at `from` on, or from the signal's when `from` is null.
template <int Parts, class Frames>
std::int32_t splitTransform(const double* const (&x)[Parts], std::ptrdiff_t stride, const Lattice& lattice,
                            const PeriodicSignal& signal, double* buffer, Frames&& frames) noexcept {
    const FrameSplit split = splitFrames(lattice, signal);
    const std::int64_t step = lattice.step, end = signal.frames, reach = lattice.length - step;
    if (split.first > 0) fillExtended<Parts>(x, stride, lattice, signal, 0, split.first * step + reach, buffer);
    if (split.last < end)
        fillExtended<Parts>(x, stride, lattice, signal, split.last * step, end * step + reach, buffer);
    const auto run = [&](std::int64_t k0, std::int64_t k1, const double* from) -> std::int32_t {
        if (k1 <= k0) return kStatusOk;
        return frames(k0, lattice.frames(k1 - k0), lattice.phaseOf(k0), from);
    };
    std::int32_t status = run(0, split.first, buffer);
    if (status == kStatusOk) status = run(split.first, split.last, nullptr);
    if (status == kStatusOk) status = run(split.last, end, buffer + split.last * step * Parts);
    return status;
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

std::int32_t realTransform(const double* x, const Lattice& lattice, const PeriodicSignal& signal, double* out,
                           const TransformPlans& plans, double* scratch) noexcept {
    if (signal.correlationLength != 0) return realFactorised(x, lattice, signal, out, plans, scratch);
    const stft::FrameWork work{plans.bins, scratch + signal.slots, plans.binsScratch};
    const double* const parts[1] = {x};
    return splitTransform<1>(parts, 1, lattice, signal, scratch,
                             [&](std::int64_t k0, const stft::Grid& grid, std::int32_t reduced, const double* from) {
                                 if (!from) from = x + k0 * lattice.step - lattice.half;
                                 return stft::realFrames(grid, from, reduced, out + k0 * lattice.bins, work);
                             });
}

std::int32_t complexTransform(ConstSplitComplex x, const Lattice& lattice, const PeriodicSignal& signal,
                              SplitComplex out, const TransformPlans& plans, double* scratch) noexcept {
    if (signal.correlationLength != 0) return complexFactorised(x, lattice, signal, out, plans, scratch);
    const stft::FrameWork work{plans.bins, scratch + 2 * signal.slots, plans.binsScratch};
    const double* const parts[2] = {x.re, x.im};
    return splitTransform<2>(parts, x.stride, lattice, signal, scratch,
                             [&](std::int64_t k0, const stft::Grid& grid, std::int32_t reduced, const double* from) {
                                 // The buffer holds interleaved pairs.
                                 const ConstSplitComplex samples =
                                     from ? ConstSplitComplex{from, from + 1, 2}
                                          : x.offset(k0 * lattice.step - lattice.half);
                                 return stft::complexFrames(grid, samples, reduced, out.offset(k0 * lattice.bins),
                                                            work);
                             });
}

}  // namespace varnel::gabor
