// The analytic signal keeps sqrt(2), not 2, on the positive frequencies so
// that its energy over the padded length equals that of the real signal: a
// cosine of amplitude A becomes an exponential of amplitude A/sqrt(2), and
// the real part is x/sqrt(2) plus the DC and Nyquist terms rather than x.
#include <algorithm>
#include <cstddef>
#include <numbers>

#include "fft/plan_hold.h"
#include "frame/next_pow2.h"
#include "quadratic/wigner_stages.h"
#include "varnel.h"

namespace varnel::wigner {
namespace {

// The one-sided spectrum from the Hc array of the real FFT.
void oneSidedSpectrum(const double* hc, std::int32_t m, double* zRe, double* zIm) {
    constexpr double kScale = std::numbers::sqrt2;
    std::fill(zRe, zRe + m, 0.0);
    std::fill(zIm, zIm + m, 0.0);
    zRe[0] = hc[0];
    for (std::int32_t k = 1; k <= (m + 1) / 2 - 1; ++k) {
        zRe[k] = kScale * hc[k];
        zIm[k] = kScale * hc[m - k];
    }
    if (m % 2 == 0) zRe[m / 2] = hc[m / 2];
}

}  // namespace

std::int32_t analyticSignal(const double* x, std::int32_t n, double* zRe, double* zIm) noexcept {
    if (n < 1) return kStatusBadLength;
    if (n > kMaxSignalLength) return kStatusNoMemory;
    // Four planes: padded signal, its Hc spectrum, then the one-sided
    // spectrum (in the first and third) and the inverse (second and fourth).
    const std::int32_t m = nextPow2(n);
    const fft::Workspace<> work(fft::Workspace<>::parts(4, m), {m});
    if (!work.ok()) return kStatusNoMemory;
    double* padded = zeroPadded(x, n, m, work.part(0, m));
    double* hc = work.part(1, m);
    double* spectrumIm = work.part(2, m);
    double* resultIm = work.part(3, m);
    std::int32_t status = fft::reFft(work.plan(), padded, hc, 1, 1, m, work.fftScratch());
    if (status != kStatusOk) return status;
    double* spectrumRe = padded;
    oneSidedSpectrum(hc, m, spectrumRe, spectrumIm);
    double* resultRe = hc;
    status = fft::cxIfft(work.plan(), spectrumRe, spectrumIm, resultRe, resultIm, 1, 1, m, work.fftScratch());
    if (status != kStatusOk) return status;
    std::copy(resultRe, resultRe + n, zRe);
    std::copy(resultIm, resultIm + n, zIm);
    return kStatusOk;
}

}  // namespace varnel::wigner
