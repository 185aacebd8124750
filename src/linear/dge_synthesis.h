// The synthesis engine of the Gabor expansion: inverse-transform every
// frame, undo the transform's rotation and overlap-add the frame,
// weighted by dM times the synthesis window, into an accumulator that
// spans the F*dM output samples plus one window. It runs over scratch and
// a plan that the caller holds, so that an image's rows or columns share
// them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "fft/plan.h"
#include "linear/dgt_lattice.h"
#include "linear/stft_frames.h"
#include "linear/stft_loops.h"

namespace varnel::gabor {

// Doubles of scratch for a synthesis over `frames` frames of real
// (parts = 1) or complex (parts = 2) signals.
std::size_t synthesisScratch(const Lattice& lattice, std::int64_t frames, int parts) noexcept;

class Synthesis {
public:
    // scratch: synthesisScratch doubles; plan: length N, with fftScratch
    // its transform scratch. Complex signals accumulate their real and
    // imaginary parts apart (part 0 and part 1), so that every pass runs
    // over contiguous values. The accumulators start cleared.
    //
    // With `periods` (one array of P values per part, possibly the
    // caller's output or inside the scratch's first P*parts values) the
    // frames are added straight onto the period instead, buffer sample u
    // at (u - h) mod P: what the wrap-around makes of them when the window
    // is no longer than the period, with no accumulator to touch and wrap.
    Synthesis(const Lattice& lattice, std::int64_t frames, int parts, const fft::FftPlan* plan, double* scratch,
              double* fftScratch, std::array<double*, 2> periods = {}) noexcept;

    std::int64_t span() const noexcept { return span_; }  // P = F*dM
    // Part `part`'s P + L values (or its period).
    double* accumulator(int part = 0) const noexcept { return accumulators_[part]; }

    // Real frames: coef holds F Hc spectra of N doubles.
    std::int32_t addRealFrames(const double* coef) noexcept;
    // Complex frames: bin b of frame k at (k*N + b)*stride of re and im.
    std::int32_t addComplexFrames(ConstSplitComplex coef) noexcept;

    // Folds a part's accumulator onto one period of P values, what lies
    // beyond the end first and then what lies before the start, each side
    // once; returns the period's first value (the period itself when the
    // frames were added onto it).
    const double* wrappedPeriod(int part = 0) noexcept;

private:
    void addFrame(std::int64_t frame, const double* values, double* accumulator) const noexcept;

    Lattice lattice_;
    std::int64_t frames_;
    std::int64_t span_;
    bool periodic_;
    const fft::FftPlan* plan_;
    double* fftScratch_;
    const stft::FrameLoops& loops_;
    std::array<double*, 2> accumulators_;
    double* window_;  // dM * g
    double* work_;    // frame copies and inverse transforms
};

// How an expansion of `frames` frames runs: the factorised route's
// correlation length b (0: frame by frame, as the Synthesis above) and the
// doubles of scratch it takes besides its plans'.
struct ExpansionRoute {
    std::int32_t correlationLength;
    std::size_t scratch;
};
ExpansionRoute expansionRoute(const Lattice& lattice, std::int64_t frames, int parts) noexcept;

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
