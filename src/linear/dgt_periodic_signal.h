// The signal as the Gabor transform sees it: zero-padded to a whole number
// of time steps, treated as one period, and continued by half a window on
// each side so that the short-time transform can run straight over it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "linear/dgt_lattice.h"

namespace varnel::gabor {

struct PeriodicSignal {
    std::int64_t padded;      // P = ceil(n/dM)*dM
    std::int64_t frames;      // F = P/dM
    std::int32_t stftLength;  // P + L - dM + (n mod dM): exactly F frames of the STFT
    std::size_t slots;        // L + P samples in the extended buffer
};

// kStatusOk and the geometry for n >= 1 samples; kStatusBadLength when
// the extended length n + L exceeds 2^31 - 1 (the STFT's length is P + L -
// dM + (n mod dM), at most n + L, so it always fits then).
std::int32_t describePeriodicSignal(std::int32_t n, const Lattice& lattice, PeriodicSignal& signal) noexcept;

// Fills buffer[0 .. slots-1] (doubles): x[t*stride] at h + t, zeros up to
// h + P, then the periodic continuation on both sides. Returns the
// extension's status.
std::int32_t extendRealSignal(const double* x, std::ptrdiff_t stride, std::int32_t n, const Lattice& lattice,
                              const PeriodicSignal& signal, double* buffer) noexcept;

// The same for n interleaved complex samples into slots interleaved
// complex values (2*slots doubles).
std::int32_t extendComplexSignal(const double* x, std::int32_t n, const Lattice& lattice, const PeriodicSignal& signal,
                                 double* buffer) noexcept;

}  // namespace varnel::gabor
