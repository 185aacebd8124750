#include <cstddef>

#include "quadratic/gabor_sp_stages.h"
#include "varnel.h"

namespace varnel::gaborsp {

std::int32_t timeSmoothAccumulate(const TimeGrid& grid, SplitComplex R, std::int32_t M, std::int64_t nF,
                                  SplitComplex gt, SplitComplex work, SplitComplex acc) {
    const std::ptrdiff_t NT = grid.NT;
    const SplitComplex padded = work;
    const SplitComplex spectrum = work.offset(NT);
    // The lattice times beyond M stay zero for every bin; only the first M
    // samples change from bin to bin.
    clearComplex(padded.offset(M), NT - M);
    for (std::int64_t f = 0; f < nF; ++f) {
        for (std::ptrdiff_t m = 0; m < M; ++m) {
            padded.re[m] = R.re[f * M + m];
            padded.im[m] = R.im[f * M + m];
        }
        const std::int32_t status =
            fft::cxFft(grid.plan, padded.re, padded.im, spectrum.re, spectrum.im, 1, 1, grid.NT, grid.fftScratch);
        if (status != kStatusOk) return status;
        for (std::int32_t b = 0; b < grid.K2; ++b) {
            multiplyAccumulate(spectrum, gt.offset(b * NT), acc.offset((f * grid.K2 + b) * NT), NT);
        }
    }
    return kStatusOk;
}

}  // namespace varnel::gaborsp
