#include <cmath>
#include <cstddef>

#include "frame/numbers.h"
#include "quadratic/gabor_sp_sizes.h"
#include "quadratic/gabor_sp_stages.h"
#include "varnel.h"

namespace varnel::gaborsp {
namespace {

// Below this variance the kernel exp(-a*x^2) is wider than 32 turns of the
// frequency circle, and summing its wrapped samples one by one would cost
// 32*L and more (without bound as a approaches 0). Its periodic sum is then
// the constant 1/(2*sqrt(pi*a)) to double precision: by Poisson summation
// the next term is exp(-1/(4a)) < exp(-64) relative to it. The phase factor
// repeats with the circle because tau0 is a whole number of samples.
constexpr double kFlatKernelVariance = 1.0 / 256.0;

// Samples are stored straight in polyphase order (phase-major, N per phase).
void addSample(const FrequencyGrid& grid, std::int64_t e, double re, double im, SplitComplex table) {
    const std::ptrdiff_t slot = (e % grid.K1) * grid.N + e / grid.K1;
    table.re[slot] += re;
    table.im[slot] += im;
}

void sampleFlatKernel(const FrequencyGrid& grid, double tau0, double omega0, double delta, SplitComplex table) {
    const double height = 1.0 / (2.0 * std::sqrt(kPi * grid.a));
    for (std::int64_t e = 0; e < grid.L; ++e) {
        const double x = static_cast<double>(e) * delta - omega0;
        addSample(grid, e, height * std::cos(tau0 * x), height * std::sin(tau0 * x), table);
    }
}

void sampleWrappedKernel(const FrequencyGrid& grid, double tau0, double omega0, double delta, SplitComplex table) {
    // Cut where the Gaussian has fallen to exp(-40.5).
    const double halfWidth = 9.0 / std::sqrt(2.0 * grid.a);
    const std::int64_t first = clampedFloor((omega0 - halfWidth) / delta);
    const std::int64_t last = clampedCeil((omega0 + halfWidth) / delta);
    for (std::int64_t k = first; k <= last; ++k) {
        const double x = static_cast<double>(k) * delta - omega0;
        const double g = std::exp(-grid.a * x * x);
        addSample(grid, wrapIndex(k, grid.L), g * std::cos(tau0 * x), g * std::sin(tau0 * x), table);
    }
}

}  // namespace

std::int32_t freqGaussianKernel(const FrequencyGrid& grid, double tau0, double omega0, SplitComplex table,
                                SplitComplex gf) {
    clearComplex(table, grid.L);
    const double delta = kTwoPi / static_cast<double>(grid.L);
    if (grid.a < kFlatKernelVariance) {
        sampleFlatKernel(grid, tau0, omega0, delta, table);
    } else {
        sampleWrappedKernel(grid, tau0, omega0, delta, table);
    }
    for (std::int64_t j = 0; j < grid.phaseCount(); ++j) {
        const std::ptrdiff_t block = static_cast<std::ptrdiff_t>(grid.phase(j)) * grid.N;
        const std::int32_t status = fft::cxFft(grid.plan, table.re + block, table.im + block, gf.re + block,
                                               gf.im + block, 1, 1, grid.N, grid.fftScratch);
        if (status != kStatusOk) return status;
    }
    return kStatusOk;
}

}  // namespace varnel::gaborsp
