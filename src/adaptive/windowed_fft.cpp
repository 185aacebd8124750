// The wrap is done period by period: the first K positions assign (and the
// positions a short segment does not reach are zeroed), every further
// period of K adds onto them, with the STFT's vectorised weighing loops.
// Complex segments are weighed into split real and imaginary halves: the
// FFT's vector kernels need unit strides, and run several times faster
// than on interleaved data.
#include "adaptive/windowed_fft.h"

#include <algorithm>
#include <cstddef>

#include "linear/stft_loops.h"

namespace varnel::adaptive {

using std::ptrdiff_t;

void reWindowedFft(const double* x, const double* w, std::int32_t g, std::int32_t binCount, double* out,
                   const fft::FftPlan* plan, double* scratch, double* fftScratch) noexcept {
    const stft::FrameLoops& loops = stft::frameLoops();
    const ptrdiff_t k = binCount;
    const ptrdiff_t length = std::max<ptrdiff_t>(g, 0);
    const ptrdiff_t first = std::min(length, k);
    loops.weigh(scratch, w, x, first);
    std::fill(scratch + first, scratch + k, 0.0);
    for (ptrdiff_t period = k; period < length; period += k) {
        loops.weighAdd(scratch, w + period, x + period, std::min(length - period, k));
    }
    fft::reFft(plan, scratch, out, 1, 1, binCount, fftScratch);
}

void cxWindowedFft(const double* x, const double* w, std::int32_t g, std::int32_t binCount, double* out,
                   const fft::FftPlan* plan, double* scratch, double* fftScratch) noexcept {
    const stft::FrameLoops& loops = stft::frameLoops();
    const ptrdiff_t k = binCount;
    const ptrdiff_t length = std::max<ptrdiff_t>(g, 0);
    const ptrdiff_t first = std::min(length, k);
    double* re = scratch;
    double* im = scratch + k;
    loops.weighPair(re, im, w, x, first);
    std::fill(re + first, re + k, 0.0);
    std::fill(im + first, im + k, 0.0);
    for (ptrdiff_t period = k; period < length; period += k) {
        loops.weighPairAdd(re, im, w + period, x + 2 * period, std::min(length - period, k));
    }
    // The transform runs on split halves of out, then the halves are
    // interleaved through the scratch, which is free again by then.
    fft::cxFft(plan, re, im, out, out + k, 1, 1, binCount, fftScratch);
    std::copy(out, out + 2 * k, scratch);
    loops.interleave(scratch, scratch + k, k, out);
}

}  // namespace varnel::adaptive
