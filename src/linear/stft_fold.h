// Folding a windowed frame onto the FFT length, already rotated to the
// absolute time reference.
#pragma once

#include <cstddef>
#include <cstdint>

#include "frame/split_complex.h"

#include "linear/stft_grid.h"
#include "linear/stft_loops.h"

namespace varnel::stft {

// Fills b[0..M-1] for the frame that starts at sample frameStart of the
// signal (sample t at signal[t * stride]):
//
//   b[(j + shift) mod M] = sum over j' < L, j' = j mod M, of w[j'] * x[frameStart + j'],
//
// so window positions a multiple of M apart alias onto one bin of time,
// positions that no window sample reaches (L < M) are zero, and the sample
// at absolute time t lands at (t + s0) mod M when shift = (s0 + frameStart)
// mod M. shift must lie in 0..M-1. For L <= 0 the frame is all zeros and
// the signal is not touched.
void foldRotated(const Grid& grid, const FrameLoops& loops, const double* signal, std::ptrdiff_t stride,
                 std::int64_t frameStart, std::int32_t shift, double* b) noexcept;

// The same for the real and imaginary parts of complex samples into bRe
// and bIm; interleaved samples are read in a single pass.
void foldRotatedPair(const Grid& grid, const FrameLoops& loops, ConstSplitComplex x, std::int64_t frameStart,
                     std::int32_t shift, double* bRe, double* bIm) noexcept;

}  // namespace varnel::stft
