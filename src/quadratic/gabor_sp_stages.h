// The stages of one Gabor spectrogram term. A term (dm, dn) pairs every
// lattice atom (m, n) with the atom (m + dm, n + dn); the cross
// Wigner-Ville distribution of the two Gaussians separates into a factor
// along frequency and one along time, applied as two circular convolutions
// on the fine output grid.
#pragma once

#include <cstdint>

#include "fft/plan.h"
#include "quadratic/gabor_sp_arrays.h"
#include "quadratic/time_gaussian_kernel.h"

namespace varnel::gaborsp {

// The Gabor coefficients: M rows of N interleaved complex values.
struct GaborCoefficients {
    const double* coefs;
    std::int32_t M;
    std::int32_t N;
    std::int32_t dM;
};

// The fine frequency grid (L = N*K1 bins of 2*pi/L) and the band of nF
// bins from f0 that the caller asked for. Only the polyphase phases that
// own a bin of the band are ever transformed.
struct FrequencyGrid {
    const fft::FftPlan* plan;  // length N
    double* fftScratch;        // the plan's transform scratch
    std::int32_t N;
    std::int32_t K1;  // >= 1
    std::int64_t L;
    std::int64_t f0;
    std::int64_t nF;
    double a;

    // Phases b with at least one fine bin q*K1 + b inside the band.
    std::int64_t phaseCount() const noexcept { return nF < K1 ? nF : K1; }
    std::int32_t phase(std::int64_t j) const noexcept { return static_cast<std::int32_t>((f0 + j) % K1); }
};

// P[m][n] = conj(C[m][n]) * C[m+dm][(n+dn) mod N] * exp(i*theta_m), theta_m
// the frequency offset times the two atoms' midpoint time; rows without a
// partner atom are zero. P is M*N complex values, row-major.
void gaborCrossProducts(const GaborCoefficients& lattice, std::int32_t dm, std::int32_t dn, SplitComplex P);

// Gf: the frequency kernel exp(-a*x^2)*exp(i*tau0*x), x the offset from
// omega0, sampled on the L fine bins (wrapping circularly) and split into
// K1 polyphase spectra of length N (phase b at b*N). table is scratch of L
// complex values. Returns the FFT's status.
std::int32_t freqGaussianKernel(const FrequencyGrid& grid, double tau0, double omega0, SplitComplex table,
                                SplitComplex gf);

// R[f][m] (nF rows of M, note the transposed layout that the time stage
// reads contiguously) = the circular convolution of row m of P with the
// frequency kernel, at fine bins f0 .. f0+nF-1. Only the first `rows` rows
// of P can be non-zero. work is scratch of 3*N complex values.
std::int32_t freqSmooth(const FrequencyGrid& grid, SplitComplex P, std::int32_t M, std::int32_t rows, SplitComplex gf,
                        SplitComplex work, SplitComplex R);

// acc[f][b] (blocks of NT complex values, f-major) += DFT(R[f], zero-padded
// to NT) * Gt block b: the circular time convolution of the term, kept in
// the Doppler domain until all terms are in. work is scratch of 2*NT
// complex values.
std::int32_t timeSmoothAccumulate(const TimeGrid& grid, SplitComplex R, std::int32_t M, std::int64_t nF,
                                  SplitComplex gt, SplitComplex work, SplitComplex acc);

}  // namespace varnel::gaborsp
