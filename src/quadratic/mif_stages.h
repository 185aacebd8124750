// Stages of the mean instantaneous frequency. The frequency integrals of
// each Gabor spectrogram term are done in closed form per lattice time
// (first moment and energy), so only the time direction is convolved.
#pragma once

#include <cstdint>

#include "quadratic/gabor_sp_arrays.h"
#include "quadratic/gabor_sp_stages.h"
#include "quadratic/time_gaussian_kernel.h"

namespace varnel::gaborsp {

// exp(-dM^2*dm^2/(4a)): how much a time offset of dm lattice steps damps
// the frequency integral of a cross term.
double mifCrossDecay(std::int32_t dM, std::int32_t dm, double a) noexcept;

// For the term (dm, dn) and each lattice time m < M - dm: the sums over the
// atom pairs whose midpoint frequency lies strictly between 0 and half the
// sampling rate of the pair product (den) and of the product times the
// pair's complex frequency centroid (num), with the midpoint-time phase.
// num and den hold M complex values; the rest is cleared.
void mifTermSums(const GaborCoefficients& lattice, double a, std::int32_t dm, std::int32_t dn, SplitComplex num,
                 SplitComplex den);

// The energy of the zero-frequency atom pairs of the term (dm, 0): real,
// M - dm values in seq.re (seq.im cleared); they carry no frequency moment.
void mifDcTerm(const GaborCoefficients& lattice, double a, std::int32_t dm, SplitComplex seq);

}  // namespace varnel::gaborsp
