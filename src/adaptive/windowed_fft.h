// The spectrum of one windowed segment of a signal, on a grid of K bins.
// The reassigned spectrogram runs three of these per frame and the adaptive
// transform one per candidate, so the contract is kept small and exact:
//
//   X[k] = sum over i < g of x[i] w[i] exp(-2 pi i k i / K),   k = 0..K-1,
//
// with the phase referred to the first sample of the segment. The segment
// is first wrapped onto K points, b[i mod K] += x[i] w[i]: the rest is zero
// when g < K, and samples K apart are added (time aliasing) when g > K,
// which leaves the values of X at the K bins unchanged.
//
// The caller owns everything: plan is a plan of length K, a power of two
// (its transforms cannot fail, so there is no status to return), scratch
// and out do not overlap each other or the inputs, and g >= 0 (g = 0 gives
// a zero spectrum). scratch is working space only; what it holds on return
// is not part of the contract.
#pragma once

#include <cstdint>

#include "fft/plan.h"

namespace varnel::adaptive {

// Real samples x[0..g-1] and window w[0..g-1]; scratch holds K doubles and
// out receives the Hc spectrum (K doubles).
void reWindowedFft(const double* x, const double* w, std::int32_t g, std::int32_t binCount, double* out,
                   const fft::FftPlan* plan, double* scratch, double* fftScratch) noexcept;

// Complex samples in Cx layout (x holds 2g doubles), each multiplied by the
// real w[i]; scratch holds K complex samples (2K doubles) and out receives
// the K bins in Cx layout (2K doubles).
void cxWindowedFft(const double* x, const double* w, std::int32_t g, std::int32_t binCount, double* out,
                   const fft::FftPlan* plan, double* scratch, double* fftScratch) noexcept;

}  // namespace varnel::adaptive
