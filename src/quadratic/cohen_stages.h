// The stages that turn the Wigner-Ville computation into a Cohen-class
// distribution: smoothing of every lag row along time by a kernel given in
// the Doppler domain, and the two kernel tables of the preset
// distributions.
//
// Kernel tables have rows of kernelWidth values: row r is lag r on the grid
// of the analysed sequence, column c the Doppler bin c - kernelWidth/2 of a
// length-kernelWidth DFT along time at the input rate (the centre column is
// zero Doppler).
#pragma once

#include <cstddef>
#include <cstdint>

namespace varnel::wigner {

// The lag-time table of cxLocalAutocorr for the slices at input samples
// j*timeStep, j < T = floor(ceil(length/up) / timeStep), each lag row first
// convolved circularly over K = nextPow2(T*timeStep) input samples with the
// inverse DFT of its kernel row. up is 2 on the half-sample grid, 1 on the
// whole-sample grid; timeStep a power of two. kStatusBadKernelSize when
// kernelWidth is not K (T = 0 included) or the kernel has fewer than
// lagCount rows; otherwise kStatusOk or kStatusNoMemory.
std::int32_t cxKernelSmooth(const double* zRe, const double* zIm, std::ptrdiff_t length, std::int32_t lagCount,
                            std::int32_t up, std::int32_t timeStep, const double* kernel, std::int32_t rowCount,
                            std::int32_t kernelWidth, double* tabRe, double* tabIm) noexcept;
// The real form. Each kernel row is averaged with its mirror about zero
// Doppler, so that the smoothed sequence stays real.
std::int32_t reKernelSmooth(const double* x, std::ptrdiff_t length, std::int32_t lagCount, std::int32_t up,
                            std::int32_t timeStep, const double* kernel, std::int32_t rowCount,
                            std::int32_t kernelWidth, double* tab) noexcept;

// Choi-Williams table exp(-sigma r^2 d^2), d = c - width/2; a negative sigma
// counts as 0 (all ones: the Wigner-Ville distribution).
void choiWilliamsKernel(std::int32_t rowCount, std::int32_t width, double sigma, double* kernel) noexcept;
// Cone-shaped table exp(-alpha r^2) sin(x)/x with x = d r pi / width; a
// negative alpha counts as 0 (the pure cone).
void coneKernel(std::int32_t rowCount, std::int32_t width, double alpha, double* kernel) noexcept;

}  // namespace varnel::wigner
