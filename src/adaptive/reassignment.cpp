#include "adaptive/reassignment.h"

#include <cmath>
#include <numbers>

#include "fft/simd/vector_kernels.h"

namespace varnel::adaptive {

void reassignWindows(const double* w, std::int32_t length, std::int32_t binCount, double* h, double* th,
                     double* dh) noexcept {
    const std::ptrdiff_t last = length - 1;
    const double norm = std::sqrt(static_cast<double>(binCount));
    const double centre = static_cast<double>(last) / 2.0;
    for (std::ptrdiff_t i = 0; i <= last; ++i) {
        h[i] = w[i] / norm;
        th[i] = (static_cast<double>(i) - centre) * h[i];
    }
    const double d = (h[last] - h[0]) / static_cast<double>(last);
    dh[0] = (d + h[1] + h[last]) / 2.0;
    for (std::ptrdiff_t i = 1; i < last; ++i) dh[i] = (h[i + 1] - h[i - 1]) / 2.0;
    dh[last] = (d - h[last - 1] - h[0]) / 2.0;
}

namespace {

using std::ptrdiff_t;

#define VARNEL_LOOP_BODY [[gnu::always_inline]] inline

// One bin from the three spectra's real and imaginary parts.
VARNEL_LOOP_BODY void cell(double hr, double hi, double tr, double ti, double dr, double di, double timeStep,
                           double binsPerRadian, double& power, double& frameShift, double& binShift) {
    const double p = hr * hr + hi * hi;
    const double timeNum = tr * hr + ti * hi;  // Re(X_th conj X_h)
    const double freqNum = di * hr - dr * hi;  // Im(X_dh conj X_h)
    power = p;
    frameShift = std::floor(timeNum / p / timeStep + 0.5);
    binShift = std::floor(freqNum / p * binsPerRadian + 0.5);
}

VARNEL_LOOP_BODY void realBody(const double* __restrict sh, const double* __restrict sth,
                               const double* __restrict sdh, ptrdiff_t k, double timeStep, const CellTargets& out) {
    const double binsPerRadian = static_cast<double>(k) / (2.0 * std::numbers::pi);
    double* __restrict power = out.power;
    double* __restrict frameShift = out.frameShift;
    double* __restrict binShift = out.binShift;
    if (k < 2) return;  // no bins below K/2 to write
    cell(sh[0], 0.0, sth[0], 0.0, sdh[0], 0.0, timeStep, binsPerRadian, power[0], frameShift[0], binShift[0]);
    for (ptrdiff_t j = 1; j < k / 2; ++j) {
        cell(sh[j], sh[k - j], sth[j], sth[k - j], sdh[j], sdh[k - j], timeStep, binsPerRadian, power[j],
             frameShift[j], binShift[j]);
    }
}

VARNEL_LOOP_BODY void complexBody(const double* __restrict zh, const double* __restrict zth,
                                  const double* __restrict zdh, ptrdiff_t k, double timeStep,
                                  const CellTargets& out) {
    const double binsPerRadian = static_cast<double>(k) / (2.0 * std::numbers::pi);
    double* __restrict power = out.power;
    double* __restrict frameShift = out.frameShift;
    double* __restrict binShift = out.binShift;
    for (ptrdiff_t j = 0; j < k; ++j) {
        cell(zh[2 * j], zh[2 * j + 1], zth[2 * j], zth[2 * j + 1], zdh[2 * j], zdh[2 * j + 1], timeStep,
             binsPerRadian, power[j], frameShift[j], binShift[j]);
    }
}

#undef VARNEL_LOOP_BODY

#define VARNEL_CELL_LOOPS(prefix, attributes)                                                                   \
    attributes void prefix##Real(const double* sh, const double* sth, const double* sdh, ptrdiff_t k,            \
                                 double timeStep, const CellTargets& out) {                                     \
        realBody(sh, sth, sdh, k, timeStep, out);                                                               \
    }                                                                                                           \
    attributes void prefix##Complex(const double* zh, const double* zth, const double* zdh, ptrdiff_t k,         \
                                    double timeStep, const CellTargets& out) {                                  \
        complexBody(zh, zth, zdh, k, timeStep, out);                                                            \
    }                                                                                                           \
    constexpr CellLoops prefix##Loops{prefix##Real, prefix##Complex};

VARNEL_CELL_LOOPS(baseline, )
VARNEL_CELL_LOOPS(avx2, [[gnu::target("avx2")]])

#undef VARNEL_CELL_LOOPS

}  // namespace

const CellLoops& cellLoops() noexcept { return fft::vectorKernels() != nullptr ? avx2Loops : baselineLoops; }

}  // namespace varnel::adaptive
