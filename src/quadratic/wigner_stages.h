// The stages of the Wigner-Ville distribution. They are separate because the
// Cohen-class distributions reuse all of them and only replace the
// lag-time table by a smoothed one.
//
// Every stage that allocates returns kStatusOk or kStatusNoMemory (also when
// an FFT plan cannot be built) and gives back its scratch and plans before
// it returns. Sequences and tables use split planes (ReIm).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "fft/plan_hold.h"

namespace varnel::wigner {

// The longest signal whose padded length nextPow2(n) is still an int32 FFT
// length; the stages answer longer ones with kStatusNoMemory.
inline constexpr std::int32_t kMaxSignalLength = std::int32_t{1} << 30;

// The stages that transform the signal zero-padded to m = nextPow2(n)
// (analytic signal, half-sample interpolation) load it into planes of m:
// x[0..n-1] followed by zeros.
inline double* zeroPadded(const double* x, std::int32_t n, std::int32_t m, double* plane) noexcept {
    std::copy(x, x + n, plane);
    std::fill(plane + n, plane + m, 0.0);
    return plane;
}

// Energy-preserving analytic signal of the real x[n]: the spectrum of x
// zero-padded to M = nextPow2(n) keeps DC and Nyquist, scales the positive
// bins by sqrt(2) and drops the negative ones. z receives n samples.
// kStatusBadLength for n < 1.
std::int32_t analyticSignal(const double* x, std::int32_t n, double* zRe, double* zIm) noexcept;

// Band-limited resampling at twice the rate: out[2i] = x[i] and out[2i+1]
// the trigonometric interpolant of x zero-padded to nextPow2(n) at i + 1/2.
// The outputs receive 2n samples. kStatusBadLength for n < 1.
std::int32_t cxHalfSampleInterp(const double* re, const double* im, std::int32_t n, double* outRe,
                                double* outIm) noexcept;
// The real form; the Nyquist term, which cannot be shifted by half a sample
// and stay real, is dropped from the interpolated samples.
std::int32_t reHalfSampleInterp(const double* x, std::int32_t n, double* out) noexcept;

// Column of the lag-time table of the real sequence x[0..length-1] for the
// slice at position p: g[t] = x[p+t] * x[p-t] * scale for t < lagCount (scale
// is the lag transform's 2/M), or 0 where either sample lies outside the
// sequence.
void reLocalAutocorr(const double* x, std::ptrdiff_t length, std::int32_t lagCount, std::ptrdiff_t p, double scale,
                     double* g) noexcept;

// Slices first .. first+count-1 of a lag-major table whose rows hold
// rowLength values: entry (t, first + s) at t*rowLength + first + s.
struct SliceBlock {
    std::ptrdiff_t first, count, rowLength;
};

// Lag transform of a table with lagLength rows and sliceCount slices:
// W[j][k] = (1/M) sum over |tau| < M of r_j[tau] exp(-2 pi i k tau/M), with
// r_j[-tau] = conj(r_j[tau]) and M = lagLength, for k < binCount
// (binCount <= M), into out[j*binCount + k]. One real FFT per slice.
std::int32_t cxLagSpectrum(const double* tabRe, const double* tabIm, std::int32_t lagLength, std::int32_t sliceCount,
                           std::int32_t binCount, double* out) noexcept;
// The same for a real (even) lag sequence.
std::int32_t reLagSpectrum(const double* tab, std::int32_t lagLength, std::int32_t sliceCount, std::int32_t binCount,
                           double* out) noexcept;

// The lags of two slices of a complex sequence z, at positions p1 and p2,
// packed for one complex FFT of length m: a = (s1 + i s2)/m, where s is
// the Hermitian lag sequence of the slice whose inverse FFT (without the
// factor 1/m) is its spectrum, s[0] = Re g[0] and s[j] = conj(g[j]) + g[m-j]
// with g[t] = z[p+t] conj(z[p-t]) the column of the lag-time table. Both
// spectra being real, the real part of the inverse FFT of a is the first
// slice's spectrum and the imaginary part the second's. z must be readable (zeros past its
// ends) from p - (m-1) to p + (m-1); aRe and aIm receive m values each.
void cxPairedLags(const double* zRe, const double* zIm, std::int32_t m, std::ptrdiff_t p1, std::ptrdiff_t p2,
                  double* aRe, double* aIm) noexcept;

// The lag transform with its plan and buffers obtained once: for blocks of
// at most kLagSliceTile slices of a whole table, or for the slices whose
// lags the caller has just made.
inline constexpr std::ptrdiff_t kLagSliceTile = 8;

class LagSpectrum {
public:
    LagSpectrum(std::int32_t lagLength, std::int32_t binCount) noexcept;

    bool ok() const noexcept { return work_.ok(); }
    // The slices of block (count <= kLagSliceTile) of a table whose rows
    // hold block.rowLength values, written to out[s*binCount + k], s < count.
    std::int32_t complexBlock(const double* tabRe, const double* tabIm, SliceBlock block, double* out) noexcept;
    std::int32_t realBlock(const double* tab, SliceBlock block, double* out) noexcept;

    // Lags the caller wrote into lagsRe() and lagsIm() (lagLength values
    // each). complexPair takes two slices packed by cxPairedLags and writes
    // all lagLength bins of each (binCount must be lagLength), the second
    // to out2 unless that is null; realSlice takes one slice's column
    // 2 r[t]/M and overwrites it.
    double* lagsRe() const noexcept { return tile_; }
    double* lagsIm() const noexcept { return work_.part(1, lagLength_); }
    std::int32_t complexPair(double* out1, double* out2) noexcept;
    std::int32_t realSlice(double* out) noexcept;

private:
    template <class Transform>
    std::int32_t transformTile(std::ptrdiff_t count, double* out, Transform&& transform) noexcept;

    std::int32_t lagLength_, binCount_;
    // The tile's lag sequences, M doubles apart from its start (a pair's
    // lags in parts 0 and 1 instead), and one spectrum in part kLagSliceTile.
    fft::Workspace<> work_;
    double* tile_;
    double* result_;
};

}  // namespace varnel::wigner
