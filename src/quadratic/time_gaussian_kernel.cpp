#include "quadratic/time_gaussian_kernel.h"

#include <cmath>
#include <cstddef>

#include "quadratic/gabor_sp_sizes.h"
#include "varnel.h"

namespace varnel::gaborsp {
namespace {

// Samples are stored straight in polyphase order (phase-major), so each
// phase's transform reads a contiguous block.
void sampleTimeKernel(const TimeGrid& grid, double omega1, double t0, SplitComplex table) {
    const std::int64_t period = static_cast<std::int64_t>(grid.NT) * grid.K2;
    clearComplex(table, period);
    const double step = static_cast<double>(grid.dM) / grid.K2;
    // Cut where the Gaussian has fallen to exp(-40.5), one sample beyond
    // each end so that the cut never falls inside the sampled range.
    const double halfWidth = 9.0 * std::sqrt(0.5 * grid.a);
    const std::int64_t first = clampedTrunc((t0 - halfWidth) / step) - 1;
    const std::int64_t last = clampedTrunc((t0 + halfWidth) / step) + 1;
    for (std::int64_t k = first; k <= last; ++k) {
        const double y = static_cast<double>(k) * step - t0;
        const double g = std::exp(-y * y / grid.a);
        if (g == 0.0) continue;  // adds nothing; also skips the cosine of a far sample
        const std::int64_t e = wrapIndex(k, period);
        const std::ptrdiff_t slot = (e % grid.K2) * grid.NT + e / grid.K2;
        table.re[slot] += g * std::cos(omega1 * y);
        table.im[slot] += g * std::sin(omega1 * y);
    }
}

}  // namespace

std::int32_t timeGaussianKernel(const TimeGrid& grid, double omega1, double t0, SplitComplex table, SplitComplex gt) {
    sampleTimeKernel(grid, omega1, t0, table);
    for (std::int32_t b = 0; b < grid.K2; ++b) {
        const std::ptrdiff_t block = static_cast<std::ptrdiff_t>(b) * grid.NT;
        const std::int32_t status = fft::cxFft(grid.plan, table.re + block, table.im + block, gt.re + block,
                                               gt.im + block, 1, 1, grid.NT, grid.fftScratch);
        if (status != kStatusOk) return status;
    }
    return kStatusOk;
}

}  // namespace varnel::gaborsp
