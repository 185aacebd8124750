// The fold writes each window period straight into its rotated place: a
// period of at most M positions starting at a multiple of M lands at
// (shift + t) mod M, which is two contiguous runs, so neither a separate
// rotation pass nor a second buffer is needed. The first period assigns
// (and zero-fills what it does not reach), the later ones accumulate.
#include "linear/stft_fold.h"

#include <algorithm>

#include "linear/stft_loops.h"

namespace varnel::stft {
namespace {

using std::ptrdiff_t;

// One buffer from samples at a stride. Unit stride, the common case, goes
// to the vectorised loops.
struct StridedRuns {
    const FrameLoops& loops;
    const double* x;
    ptrdiff_t stride;
    double* b;

    template <bool Accumulate>
    void weigh(ptrdiff_t dst, const double* w, ptrdiff_t src, ptrdiff_t count) const {
        double* out = b + dst;
        if (stride == 1) {
            (Accumulate ? loops.weighAdd : loops.weigh)(out, w, x + src, count);
            return;
        }
        const double* in = x + src * stride;
        for (ptrdiff_t t = 0; t < count; ++t) {
            if constexpr (Accumulate) out[t] += w[t] * in[t * stride];
            else out[t] = w[t] * in[t * stride];
        }
    }
    void zero(ptrdiff_t dst, ptrdiff_t count) const { std::fill(b + dst, b + dst + count, 0.0); }
};

// Both parts of interleaved (Cx) samples in one pass over the signal.
struct InterleavedRuns {
    const FrameLoops& loops;
    const double* x;
    double* bRe;
    double* bIm;

    template <bool Accumulate>
    void weigh(ptrdiff_t dst, const double* w, ptrdiff_t src, ptrdiff_t count) const {
        (Accumulate ? loops.weighPairAdd : loops.weighPair)(bRe + dst, bIm + dst, w, x + 2 * src, count);
    }
    void zero(ptrdiff_t dst, ptrdiff_t count) const {
        std::fill(bRe + dst, bRe + dst + count, 0.0);
        std::fill(bIm + dst, bIm + dst + count, 0.0);
    }
};

// count <= M window positions from period (a multiple of M): position
// period + t goes to (shift + t) mod M.
template <bool Accumulate, class Runs>
void placePeriod(const Runs& runs, const double* w, ptrdiff_t m, ptrdiff_t shift, ptrdiff_t period, ptrdiff_t count) {
    const ptrdiff_t head = std::min(count, m - shift);
    runs.template weigh<Accumulate>(shift, w + period, period, head);
    if (count > head) runs.template weigh<Accumulate>(0, w + period + head, period + head, count - head);
}

template <class Runs>
void fold(const Grid& grid, std::int32_t shift, const Runs& runs) {
    const ptrdiff_t m = grid.binCount;
    const ptrdiff_t length = grid.windowLength;
    const ptrdiff_t first = std::min(length, m);
    placePeriod<false>(runs, grid.window, m, shift, 0, first);
    if (first < m) {
        // Positions first..M-1 of the period: zeros at (shift + first + t) mod M.
        const ptrdiff_t start = shift + first < m ? shift + first : shift + first - m;
        const ptrdiff_t head = std::min(m - first, m - start);
        runs.zero(start, head);
        runs.zero(0, m - first - head);
    }
    for (ptrdiff_t period = m; period < length; period += m) {
        placePeriod<true>(runs, grid.window, m, shift, period, std::min(length - period, m));
    }
}

}  // namespace

void foldRotated(const Grid& grid, const FrameLoops& loops, const double* signal, ptrdiff_t stride,
                 std::int64_t frameStart, std::int32_t shift, double* b) noexcept {
    if (grid.windowLength <= 0) {
        std::fill(b, b + grid.binCount, 0.0);
        return;
    }
    fold(grid, shift, StridedRuns{loops, signal + frameStart * stride, stride, b});
}

void foldRotatedPair(const Grid& grid, const FrameLoops& loops, ConstSplitComplex x, std::int64_t frameStart,
                     std::int32_t shift, double* bRe, double* bIm) noexcept {
    if (grid.windowLength <= 0) {
        std::fill(bRe, bRe + grid.binCount, 0.0);
        std::fill(bIm, bIm + grid.binCount, 0.0);
        return;
    }
    if (x.interleaved()) {
        fold(grid, shift, InterleavedRuns{loops, x.re + 2 * frameStart, bRe, bIm});
    } else {
        fold(grid, shift, StridedRuns{loops, x.re + frameStart * x.stride, x.stride, bRe});
        fold(grid, shift, StridedRuns{loops, x.im + frameStart * x.stride, x.stride, bIm});
    }
}

}  // namespace varnel::stft
