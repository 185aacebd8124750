#include <cstddef>

#include "quadratic/mif_stages.h"
#include "varnel.h"

namespace varnel::gaborsp {

std::int32_t mifTimeAccumulate(const TimeGrid& grid, SplitComplex seq, std::int32_t len, SplitComplex G,
                               SplitComplex work, SplitComplex acc) {
    const std::ptrdiff_t NT = grid.NT;
    const SplitComplex padded = work;
    const SplitComplex spectrum = work.offset(NT);
    for (std::ptrdiff_t m = 0; m < len; ++m) {
        padded.re[m] = seq.re[m];
        padded.im[m] = seq.im[m];
    }
    clearComplex(padded.offset(len), NT - len);
    const std::int32_t status = fft::cxFft(grid.plan, padded.re, padded.im, spectrum.re, spectrum.im, 1, 1, grid.NT);
    if (status != kStatusOk) return status;
    for (std::int32_t b = 0; b < grid.K2; ++b) multiplyAccumulate(spectrum, G.offset(b * NT), acc.offset(b * NT), NT);
    return kStatusOk;
}

}  // namespace varnel::gaborsp
