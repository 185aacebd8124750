// The signal as the Gabor transform sees it: zero-padded to a whole number
// of time steps, treated as one period, and continued by half a window on
// each side so that the short-time transform can run straight over it;
// and that transform, for callers whose checks have passed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fft/plan.h"
#include "linear/dgt_lattice.h"
#include "linear/stft_frames.h"

namespace varnel::gabor {

struct PeriodicSignal {
    std::int32_t length;  // n
    std::int64_t padded;  // P = ceil(n/dM)*dM
    std::int64_t frames;  // F = P/dM
    std::size_t slots;    // L + P samples in the extended buffer
    // b = P/N when the transform factorises the lattice (long windows),
    // else 0: frames are folded one by one.
    std::int32_t correlationLength = 0;
};

// kStatusOk and the geometry and route for n >= 1 samples;
// kStatusBadLength when n = dM (the short-time transform the Gabor
// transform is defined by refuses a signal of exactly one window) or when
// the extended length n + L exceeds 2^31 - 1.
std::int32_t describePeriodicSignal(std::int32_t n, const Lattice& lattice, PeriodicSignal& signal) noexcept;

// The checks of a one-dimensional transform before its arrays, in order:
// n >= 1, the window spec (checkLattice), the geometry and route above.
std::int32_t checkTransform(std::int32_t n, const WindowSpec* spec, Lattice& lattice, PeriodicSignal& signal) noexcept;

// Doubles of scratch the transforms below take besides their plans': the
// extended signal and the frame buffers, or the factorised route's arrays.
std::size_t realTransformScratch(const Lattice& lattice, const PeriodicSignal& signal) noexcept;
std::size_t complexTransformScratch(const Lattice& lattice, const PeriodicSignal& signal,
                                    std::int32_t outStride) noexcept;

// The F frames of N bins of the signal x[t], t < n, as Hc spectra into
// out. Returns the FFT's status.
std::int32_t realTransform(const double* x, const Lattice& lattice, const PeriodicSignal& signal, double* out,
                           const TransformPlans& plans, double* scratch) noexcept;
// The same for complex samples, into F*N bins at out's stride.
std::int32_t complexTransform(ConstSplitComplex x, const Lattice& lattice, const PeriodicSignal& signal,
                              SplitComplex out, const TransformPlans& plans, double* scratch) noexcept;

}  // namespace varnel::gabor
