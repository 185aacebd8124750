// The wrap is done period by period: the first K positions assign (and the
// positions a short segment does not reach are zeroed), every further
// period of K adds onto them. Real segments use the STFT's vectorised
// weighing loops; complex ones stay interleaved for the strided FFT.
#include "adaptive/windowed_fft.h"

#include <algorithm>
#include <cstddef>

#include "linear/stft_loops.h"

namespace varnel::adaptive {
namespace {

using std::ptrdiff_t;

template <bool Accumulate>
void weighInterleaved(double* __restrict out, const double* __restrict w, const double* __restrict x,
                      ptrdiff_t count) {
    for (ptrdiff_t t = 0; t < count; ++t) {
        if constexpr (Accumulate) {
            out[2 * t] += w[t] * x[2 * t];
            out[2 * t + 1] += w[t] * x[2 * t + 1];
        } else {
            out[2 * t] = w[t] * x[2 * t];
            out[2 * t + 1] = w[t] * x[2 * t + 1];
        }
    }
}

}  // namespace

std::int32_t reWindowedFft(const double* x, const double* w, std::int32_t g, std::int32_t binCount, double* out,
                           const fft::FftPlan* plan, double* scratch) noexcept {
    const stft::FrameLoops& loops = stft::frameLoops();
    const ptrdiff_t k = binCount;
    const ptrdiff_t length = std::max<ptrdiff_t>(g, 0);
    const ptrdiff_t first = std::min(length, k);
    loops.weigh(scratch, w, x, first);
    std::fill(scratch + first, scratch + k, 0.0);
    for (ptrdiff_t period = k; period < length; period += k) {
        loops.weighAdd(scratch, w + period, x + period, std::min(length - period, k));
    }
    return fft::reFft(plan, scratch, out, 1, 1, binCount);
}

std::int32_t cxWindowedFft(const double* x, const double* w, std::int32_t g, std::int32_t binCount, double* out,
                           const fft::FftPlan* plan, double* scratch) noexcept {
    const ptrdiff_t k = binCount;
    const ptrdiff_t length = std::max<ptrdiff_t>(g, 0);
    const ptrdiff_t first = std::min(length, k);
    weighInterleaved<false>(scratch, w, x, first);
    std::fill(scratch + 2 * first, scratch + 2 * k, 0.0);
    for (ptrdiff_t period = k; period < length; period += k) {
        weighInterleaved<true>(scratch, w + period, x + 2 * period, std::min(length - period, k));
    }
    return fft::cxFft(plan, scratch, scratch + 1, out, out + 1, 2, 2, binCount);
}

}  // namespace varnel::adaptive
