// The synthesis engine of the Gabor expansion: inverse-transform every
// frame, undo the transform's rotation and overlap-add the frame,
// weighted by dM times the synthesis window, into an accumulator that
// spans the F*dM output samples plus one window.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fft/plan.h"
#include "frame/scratch.h"
#include "linear/dgt_lattice.h"

namespace varnel::gabor {

// Scratch and plan for one expansion call over `frames` frames; values
// hold 1 double each for real signals, 2 (interleaved) for complex ones.
class SynthesisWorkspace {
public:
    SynthesisWorkspace(const Lattice& lattice, std::int64_t frames, int valueSize) noexcept;
    ~SynthesisWorkspace() { fft::fftPlanRelease(plan_); }

    SynthesisWorkspace(const SynthesisWorkspace&) = delete;
    SynthesisWorkspace& operator=(const SynthesisWorkspace&) = delete;

    // False when any scratch array or the plan could not be had.
    bool ok() const noexcept { return plan_ != nullptr; }

    std::int64_t span() const noexcept { return span_; }                  // P = F*dM
    double* accumulator() const noexcept { return accumulator_.data(); }  // P + L values, cleared

    // Real frames: coef holds F Hc spectra of N doubles.
    std::int32_t addRealFrames(const double* coef) noexcept;
    // Complex frames: bin b of frame k at (k*N + b)*stride of re and im.
    std::int32_t addComplexFrames(const double* re, const double* im, std::int32_t stride) noexcept;

private:
    void addFrame(std::int64_t frame, const double* values) noexcept;

    Lattice lattice_;
    std::int64_t frames_;
    std::int64_t span_;
    int valueSize_;
    ScratchBuffer<double> accumulator_;
    ScratchBuffer<double> window_;  // dM * g
    ScratchBuffer<double> work_;    // [frame copy,] inverse transform, rotated frame
    fft::FftPlan* plan_ = nullptr;
};

// Folds the accumulator onto one period of P values, what lies beyond the
// end first and then what lies before the start, each side once.
void wrapAroundPeriod(double* accumulator, std::int64_t span, const Lattice& lattice, int valueSize) noexcept;

}  // namespace varnel::gabor
