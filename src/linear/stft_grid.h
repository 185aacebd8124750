// The time-frequency grid of the short-time Fourier transform: argument
// checks shared by the seven exports, the frame count and the phase
// reference that a block-wise caller carries from one call to the next.
#pragma once

#include <cstdint>

#include "frame/array_check.h"
#include "varnel.h"

namespace varnel::stft {

struct Grid {
    const double* window;        // w[0..windowLength-1]; unread when windowLength <= 0
    std::int32_t windowLength;   // L, any value below the signal length
    std::int32_t timeStep;       // D >= 1
    std::int32_t binCount;       // M, a power of two
    std::int64_t frameCount;     // F = (N - L)/D + 1 >= 1; up to 2^32 when L is very negative
};

// kStatusOk and the grid of a signal of n samples, or the status of the
// first failing check: kStatusBadLength when n <= L, then
// kStatusBadWindowSpec for D < 1 or M not a power of two. A missing spec,
// or a missing window of positive length, is a window spec that cannot be
// used (kStatusBadWindowSpec).
std::int32_t checkGrid(std::int32_t n, const WindowSpec* spec, Grid& grid) noexcept;

// Samples of a signal of n that the frames read: none when the window is
// empty, so that the signal may then be null.
inline std::int64_t samplesRead(std::int32_t n, const Grid& grid) noexcept { return grid.windowLength >= 1 ? n : 0; }

// The ArrayCheck status of the caller's arrays: the signal and outputs
// given, and the window as one more input.
inline std::int32_t checkArrays(const Grid& grid, ArrayCheck arrays) noexcept {
    return arrays.reads(grid.window, grid.windowLength).status();
}

// The caller's shift as its non-negative residue modulo M.
std::int32_t reducedShift(std::int32_t shift, std::int32_t binCount) noexcept;

// The shift that continues the phase reference after the call's frames:
// reducedShift + F*D. It is not reduced modulo M; should it exceed the
// int32 range it wraps modulo 2^32, which keeps its residue modulo M
// because M divides 2^32.
std::int32_t continuedShift(std::int32_t reduced, const Grid& grid) noexcept;

}  // namespace varnel::stft
