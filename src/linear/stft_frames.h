// The frames of the STFT over a grid whose checks have passed, for the
// exports and for the Gabor transforms built on them. The caller holds the
// plan of length M and the frame buffers for the whole call (a Gabor
// transform of many rows or columns takes them once), and the frames are
// walked with the rotation that keeps their phases on the absolute time
// axis.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fft/plan.h"
#include "frame/scratch.h"
#include "frame/split_complex.h"
#include "linear/stft_grid.h"
#include "varnel.h"

namespace varnel::stft {

// What the frames run with: the plan of length M, frame buffers of M
// doubles each, planeSpacing(M) apart, as many as the transform names
// below, and the plan's transform scratch (fft::fftScratchSize(M) doubles).
struct FrameWork {
    const fft::FftPlan* plan;
    double* buffers;
    double* fftScratch;
};

// Buffers of the real transform: the folded frame.
inline constexpr int kRealFrameBuffers = 1;
// Doubles of the complex transform's buffers: the folded real and
// imaginary parts, and at an output stride other than 1 two more that take
// the bins before they are spread out (the vectorised FFT passes need
// unit-stride output, and a strided FFT takes about twice as long as the
// copy).
constexpr std::size_t complexFrameDoubles(std::int32_t m, std::int32_t outStride) noexcept {
    return static_cast<std::size_t>((outStride == 1 ? 2 : 4) * planeSpacing(m));
}

// Complex signals are read as ConstSplitComplex (sample t at re[t * stride],
// im[t * stride]; interleaved samples are folded in a single pass) and
// complex frames written as SplitComplex (bin k of frame i at
// re[(i*M + k) * stride], im[(i*M + k) * stride]).

// The F frames of the grid, the first with the phase reference `reduced`
// (0..M-1): F Hc spectra of M doubles into out, or F*M complex bins. They
// return the first FFT status that is not kStatusOk.
std::int32_t realFrames(const Grid& grid, const double* x, std::int32_t reduced, double* out, FrameWork work) noexcept;
std::int32_t complexFrames(const Grid& grid, ConstSplitComplex x, std::int32_t reduced, SplitComplex out,
                           FrameWork work) noexcept;

// Calls frame(i, frameStart, shift) for i = 0..F-1 with frameStart = i*D
// and shift = (reduced + i*D) mod M, stopping at the first status that is
// not kStatusOk and returning it.
template <class Frame>
std::int32_t forEachFrame(const Grid& grid, std::int32_t reduced, Frame&& frame) {
    const std::int32_t m = grid.binCount;
    const std::int32_t advance = grid.timeStep % m;
    std::int32_t shift = reduced;
    std::int64_t frameStart = 0;
    for (std::int64_t i = 0; i < grid.frameCount; ++i, frameStart += grid.timeStep) {
        const std::int32_t status = frame(i, frameStart, shift);
        if (status != kStatusOk) return status;
        // Both terms are below M <= 2^30, so the sum cannot overflow.
        shift += advance;
        if (shift >= m) shift -= m;
    }
    return kStatusOk;
}

}  // namespace varnel::stft
