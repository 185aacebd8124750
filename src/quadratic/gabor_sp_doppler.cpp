#include "quadratic/gabor_sp_doppler.h"

#include <cstddef>

#include "frame/layouts.h"
#include "varnel.h"

namespace varnel::gaborsp {

std::int32_t dopplerBlocksToTime(const fft::FftPlan* plan, double* fftScratch, std::int32_t NT, SplitComplex acc,
                                 std::int64_t blocks, double* hc) {
    for (std::int64_t block = 0; block < blocks; ++block) {
        const SplitComplex values = acc.offset(block * NT);
        layout::reImToHc(values.re, values.im, hc, NT);
        const std::int32_t status = fft::reIfft(plan, hc, values.re, 1, 1, NT, fftScratch);
        if (status != kStatusOk) return status;
    }
    return kStatusOk;
}

}  // namespace varnel::gaborsp
