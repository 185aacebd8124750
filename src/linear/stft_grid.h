// The time-frequency grid of the short-time Fourier transform: argument
// checks shared by the seven exports, the frame count and the phase
// reference that a block-wise caller carries from one call to the next.
#pragma once

#include <cstdint>

#include "varnel.h"

namespace varnel::stft {

struct Grid {
    const double* window;        // w[0..windowLength-1]; unread when windowLength <= 0
    std::int32_t windowLength;   // L, any value below the signal length
    std::int32_t timeStep;       // D >= 1
    std::int32_t binCount;       // M, a power of two
    std::int64_t frameCount;     // F = (N - L)/D + 1 >= 1; up to 2^32 when L is very negative
};

// Where the caller's arrays keep their values: input samples inStride
// doubles apart, output values outStride apart, and either all F*M bins
// or the spectrogram rows of M/2 ((F+1)/2 values for M = 1).
struct ArrayLayout {
    std::int64_t inStride;
    std::int64_t outStride;
    bool halfRows;
};

// kStatusOk and the grid of a signal of n samples, or the status of the
// first failing check: kStatusBadLength when n <= L, then
// kStatusBadWindowSpec for D < 1 or M not a power of two. A missing spec,
// or a missing window of positive length, is a window spec that cannot be
// used (kStatusBadWindowSpec). Last, kStatusNoMemory when the input or
// the output of that layout would not fit one array.
std::int32_t checkGrid(std::int32_t n, const WindowSpec* spec, const ArrayLayout& layout, Grid& grid) noexcept;

// The caller's shift as its non-negative residue modulo M.
std::int32_t reducedShift(std::int32_t shift, std::int32_t binCount) noexcept;

// The shift that continues the phase reference after the call's frames:
// reducedShift + F*D. It is not reduced modulo M; should it exceed the
// int32 range it wraps modulo 2^32, which keeps its residue modulo M
// because M divides 2^32.
std::int32_t continuedShift(std::int32_t reduced, const Grid& grid) noexcept;

}  // namespace varnel::stft
