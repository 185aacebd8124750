// Half-sample interpolation: the Wigner-Ville product z[n+t] conj(z[n-t])
// advances by two samples per lag, which folds frequencies above a quarter
// of the sampling rate onto lower ones. Analysing the sequence resampled at
// twice the rate avoids that. The odd samples are the zero-padded signal
// advanced by half a sample through a phase ramp on its spectrum; the even
// ones are the input, copied rather than recomputed.
#include <algorithm>
#include <cmath>
#include <cstddef>

#include "fft/plan_hold.h"
#include "frame/next_pow2.h"
#include "frame/numbers.h"
#include "quadratic/wigner_stages.h"
#include "varnel.h"

namespace varnel::wigner {
namespace {

// Bin k (and M-k, its negative frequency) times exp(+-i pi k/M): the phase of
// a shift by half a sample. The Nyquist bin counts as frequency -M/2.
void shiftComplexSpectrum(double* re, double* im, std::int32_t m) {
    const double unit = kPi / m;
    for (std::int32_t k = 1; k <= (m + 1) / 2 - 1; ++k) {
        const double c = std::cos(k * unit);
        const double s = std::sin(k * unit);
        const double a = re[k], b = im[k];
        re[k] = a * c - b * s;
        im[k] = a * s + b * c;
        const double u = re[m - k], v = im[m - k];
        re[m - k] = u * c + v * s;
        im[m - k] = v * c - u * s;
    }
    if (m % 2 == 0) {
        const double a = re[m / 2];
        re[m / 2] = im[m / 2];
        im[m / 2] = -a;
    }
}

// The same on an Hc spectrum; the Nyquist term is dropped.
void shiftRealSpectrum(double* hc, std::int32_t m) {
    const double unit = kPi / m;
    for (std::int32_t k = 1; k <= (m + 1) / 2 - 1; ++k) {
        const double c = std::cos(k * unit);
        const double s = std::sin(k * unit);
        const double a = hc[k], b = hc[m - k];
        hc[k] = a * c - b * s;
        hc[m - k] = a * s + b * c;
    }
    if (m % 2 == 0) hc[m / 2] = 0.0;
}

void interleave(const double* samples, const double* halfway, std::int32_t n, double* out) {
    for (std::ptrdiff_t i = 0; i < n; ++i) {
        out[2 * i] = samples[i];
        out[2 * i + 1] = halfway[i];
    }
}

}  // namespace

std::int32_t cxHalfSampleInterp(const double* re, const double* im, std::int32_t n, double* outRe,
                                double* outIm) noexcept {
    if (n < 1) return kStatusBadLength;
    if (n > kMaxSignalLength) return kStatusNoMemory;
    const std::int32_t m = nextPow2(n);
    const fft::Workspace<> work(fft::Workspace<>::parts(4, m), {m});
    if (!work.ok()) return kStatusNoMemory;
    double* paddedRe = zeroPadded(re, n, m, work.part(0, m));
    double* paddedIm = zeroPadded(im, n, m, work.part(1, m));
    double* spectrumRe = work.part(2, m);
    double* spectrumIm = work.part(3, m);
    std::int32_t status =
        fft::cxFft(work.plan(), paddedRe, paddedIm, spectrumRe, spectrumIm, 1, 1, m, work.fftScratch());
    if (status != kStatusOk) return status;
    shiftComplexSpectrum(spectrumRe, spectrumIm, m);
    // The padded planes are free again and take the shifted signal.
    status = fft::cxIfft(work.plan(), spectrumRe, spectrumIm, paddedRe, paddedIm, 1, 1, m, work.fftScratch());
    if (status != kStatusOk) return status;
    interleave(re, paddedRe, n, outRe);
    interleave(im, paddedIm, n, outIm);
    return kStatusOk;
}

std::int32_t reHalfSampleInterp(const double* x, std::int32_t n, double* out) noexcept {
    if (n < 1) return kStatusBadLength;
    if (n > kMaxSignalLength) return kStatusNoMemory;
    const std::int32_t m = nextPow2(n);
    const fft::Workspace<> work(fft::Workspace<>::parts(2, m), {m});
    if (!work.ok()) return kStatusNoMemory;
    double* padded = zeroPadded(x, n, m, work.part(0, m));
    double* hc = work.part(1, m);
    std::int32_t status = fft::reFft(work.plan(), padded, hc, 1, 1, m, work.fftScratch());
    if (status != kStatusOk) return status;
    shiftRealSpectrum(hc, m);
    status = fft::reIfft(work.plan(), hc, padded, 1, 1, m, work.fftScratch());
    if (status != kStatusOk) return status;
    interleave(x, padded, n, out);
    return kStatusOk;
}

}  // namespace varnel::wigner
