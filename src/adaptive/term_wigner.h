// One chirplet term's Wigner distribution painted onto a time-frequency
// grid. It is known in closed form, a Gaussian ridge along the chirp line,
// so a term touches only the cells of its own ellipse and no transform is
// needed.
#pragma once

#include <cstdint>

#include "varnel.h"

namespace varnel::adaptive {

// Row m is time t0 + m*dt samples (t0 >= 0), column k is bin f0 + k of K
// over one turn; out is rows x cols, row-major.
struct WignerGrid {
    std::int32_t dt;
    std::int32_t K;
    std::int32_t t0;
    std::int32_t f0;
    std::int32_t rows;
    std::int32_t cols;
};

// Add 2|c|^2 exp(-alpha u^2 - (nu - omega_i(u))^2/alpha) to every cell
// within 6.3 standard deviations of the term in time and in frequency (the
// caller divides by K at the end). The real form draws the term at its
// frequency folded into [0, pi] and clips the band to the columns; the
// complex form wraps the band around the K bins.
void reTermWigner(const double* coef, const AdaptiveTerm& term, const WignerGrid& grid, double* out) noexcept;
void cxTermWigner(const double* coef, const AdaptiveTerm& term, const WignerGrid& grid, double* out) noexcept;

}  // namespace varnel::adaptive
