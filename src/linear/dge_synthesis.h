// The synthesis engine of the Gabor expansion: inverse-transform every
// frame, undo the transform's rotation and overlap-add the frame,
// weighted by dM times the synthesis window, into an accumulator that
// spans the F*dM output samples plus one window. It runs over scratch and
// a plan that the caller holds, so that an image's rows or columns share
// them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fft/plan.h"
#include "linear/dgt_lattice.h"
#include "linear/stft_frames.h"

namespace varnel::gabor {

// Doubles of scratch for a synthesis over `frames` frames whose values
// hold 1 double each for real signals, 2 (interleaved) for complex ones.
std::size_t synthesisScratch(const Lattice& lattice, std::int64_t frames, int valueSize) noexcept;

class Synthesis {
public:
    // scratch: synthesisScratch doubles; plan: length N, with fftScratch
    // its transform scratch. The accumulator starts cleared.
    Synthesis(const Lattice& lattice, std::int64_t frames, int valueSize, const fft::FftPlan* plan,
              double* scratch, double* fftScratch) noexcept;

    std::int64_t span() const noexcept { return span_; }           // P = F*dM
    double* accumulator() const noexcept { return accumulator_; }  // P + L values

    // Real frames: coef holds F Hc spectra of N doubles.
    std::int32_t addRealFrames(const double* coef) noexcept;
    // Complex frames: bin b of frame k at (k*N + b)*stride of re and im.
    std::int32_t addComplexFrames(ConstSplitComplex coef) noexcept;

    // Folds the accumulator onto one period of P values, what lies beyond
    // the end first and then what lies before the start, each side once;
    // returns the period's first value.
    const double* wrappedPeriod() noexcept;

private:
    void addFrame(std::int64_t frame, const double* values) noexcept;

    Lattice lattice_;
    std::int64_t frames_;
    std::int64_t span_;
    int valueSize_;
    const fft::FftPlan* plan_;
    double* fftScratch_;
    double* accumulator_;
    double* window_;  // dM * g
    double* work_;    // [frame copy,] inverse transform, rotated frame
};

// How a one-dimensional expansion of `frames` frames runs: the
// factorised route's correlation length b (0: frame by frame, as the
// Synthesis above) and the doubles of scratch it takes besides its plans'.
// Two-dimensional expansions overlap-add: their rows and columns are short.
struct ExpansionRoute {
    std::int32_t correlationLength;
    std::size_t scratch;
};
ExpansionRoute expansionRoute(const Lattice& lattice, std::int64_t frames, int valueSize) noexcept;

// The whole expansion for callers whose checks have passed: F frames into
// one period, written to outLength samples at out's stride, the first
// min(outLength, P) of the period and then zeros; by the factorised route
// when plans has a correlation plan. Returns the FFT's status.
std::int32_t expandReal(const double* coef, std::int64_t frames, const Lattice& lattice, double* out,
                        std::ptrdiff_t outStride, std::int32_t outLength, const TransformPlans& plans,
                        double* scratch) noexcept;
std::int32_t expandComplex(ConstSplitComplex coef, std::int64_t frames, const Lattice& lattice,
                           SplitComplex out, std::int32_t outLength, const TransformPlans& plans,
                           double* scratch) noexcept;

}  // namespace varnel::gabor
