// The Gaussian time kernel shared by the Gabor spectrogram and the mean
// instantaneous frequency: exp(-y^2/a) modulated by a frequency offset,
// sampled on the fine time grid (K2 instants per lattice step) and split
// into K2 polyphase spectra of the circular time length NT, so that the
// refinement costs K2 short transforms instead of one long one.
#pragma once

#include <cstdint>

#include "fft/plan.h"
#include "quadratic/gabor_sp_arrays.h"

namespace varnel::gaborsp {

struct TimeGrid {
    const fft::FftPlan* plan;  // length NT
    double* fftScratch;        // the plan's transform scratch
    std::int32_t NT;           // circular time length in lattice steps
    std::int32_t dM;           // lattice time step in samples
    std::int32_t K2;           // fine instants per lattice step, >= 1
    double a;                  // window variance in samples squared
};

// Gt block b (NT complex values at b*NT) = DFT of the sampled kernel at fine
// instants b, b + K2, b + 2*K2, ...; the kernel is centred at t0 samples and
// modulated by exp(i*omega1*y). table is scratch of NT*K2 complex values.
// Returns the FFT's status.
std::int32_t timeGaussianKernel(const TimeGrid& grid, double omega1, double t0, SplitComplex table, SplitComplex gt);

}  // namespace varnel::gaborsp
