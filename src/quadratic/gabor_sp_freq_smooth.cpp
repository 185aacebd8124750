#include <cstddef>

#include "quadratic/gabor_sp_stages.h"
#include "varnel.h"

namespace varnel::gaborsp {
namespace {

// Phase b's inverse transform holds fine bins q*K1 + b, q = 0..N-1; copy
// those inside the band into column m of R.
void scatterPhase(const FrequencyGrid& grid, std::int32_t b, SplitComplex smooth, std::int32_t M, std::int32_t m,
                  SplitComplex R) {
    const std::int64_t offset = grid.f0 - b;  // band start relative to the phase
    const std::int64_t firstQ = offset <= 0 ? 0 : (offset + grid.K1 - 1) / grid.K1;
    const std::int64_t lastQ = (offset + grid.nF - 1) / grid.K1;  // offset + nF - 1 >= 0 for a phase of the band
    for (std::int64_t q = firstQ; q <= lastQ; ++q) {
        const std::ptrdiff_t f = q * grid.K1 - offset;
        R.re[f * M + m] = smooth.re[q];
        R.im[f * M + m] = smooth.im[q];
    }
}

void clearColumn(const FrequencyGrid& grid, std::int32_t M, std::int32_t m, SplitComplex R) {
    for (std::int64_t f = 0; f < grid.nF; ++f) {
        R.re[f * M + m] = 0.0;
        R.im[f * M + m] = 0.0;
    }
}

}  // namespace

std::int32_t freqSmooth(const FrequencyGrid& grid, SplitComplex P, std::int32_t M, std::int32_t rows, SplitComplex gf,
                        SplitComplex work, SplitComplex R) {
    const std::ptrdiff_t N = grid.N;
    const SplitComplex spectrum = work;
    const SplitComplex product = work.offset(N);
    const SplitComplex smooth = work.offset(2 * N);
    for (std::int32_t m = 0; m < M; ++m) {
        // A row without partner atoms is zero, and so is its convolution.
        if (m >= rows) {
            clearColumn(grid, M, m, R);
            continue;
        }
        std::int32_t status =
            fft::cxFft(grid.plan, P.re + m * N, P.im + m * N, spectrum.re, spectrum.im, 1, 1, grid.N, grid.fftScratch);
        if (status != kStatusOk) return status;
        for (std::int64_t j = 0; j < grid.phaseCount(); ++j) {
            const std::int32_t b = grid.phase(j);
            multiplyInto(spectrum, gf.offset(b * N), product, N);
            status =
                fft::cxIfft(grid.plan, product.re, product.im, smooth.re, smooth.im, 1, 1, grid.N, grid.fftScratch);
            if (status != kStatusOk) return status;
            scatterPhase(grid, b, smooth, M, m, R);
        }
    }
    return kStatusOk;
}

}  // namespace varnel::gaborsp
