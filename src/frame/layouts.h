// Conversions between the Cx, ReIm and Hc layouts of n-bin spectra, for
// callers whose arrays are known to be valid: n >= 1, none null, the
// output overlapping no input.
#pragma once

#include <cstddef>

namespace varnel::layout {

// Full spectrum from an Hc array: the upper half by conjugate symmetry.
void hcToCx(const double* hc, double* cx, std::ptrdiff_t n) noexcept;
void hcToReIm(const double* hc, double* re, double* im, std::ptrdiff_t n) noexcept;

// Hc array of the conjugate-symmetric part of a full spectrum.
void cxToHc(const double* cx, double* hc, std::ptrdiff_t n) noexcept;
void reImToHc(const double* re, const double* im, double* hc, std::ptrdiff_t n) noexcept;

// Between interleaved and split complex values.
void cxToReIm(const double* cx, double* re, double* im, std::ptrdiff_t n) noexcept;
void reImToCx(const double* re, const double* im, double* cx, std::ptrdiff_t n) noexcept;

}  // namespace varnel::layout
