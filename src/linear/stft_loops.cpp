// Each loop is written once as an always-inline body; the two builds are
// wrappers that differ only in their target, so the compiler vectorises the
// same source for SSE2 and for AVX2.
#include "linear/stft_loops.h"

#include <immintrin.h>

#include <cstdint>

#include "frame/vector_paths.h"

namespace varnel::stft {
namespace {

using std::ptrdiff_t;

#define VARNEL_LOOP_BODY [[gnu::always_inline]] inline

VARNEL_LOOP_BODY void weighBody(double* __restrict out, const double* __restrict w, const double* __restrict x,
                                ptrdiff_t count) {
    for (ptrdiff_t t = 0; t < count; ++t) out[t] = w[t] * x[t];
}

VARNEL_LOOP_BODY void weighAddBody(double* __restrict out, const double* __restrict w,
                                   const double* __restrict x, ptrdiff_t count) {
    for (ptrdiff_t t = 0; t < count; ++t) out[t] += w[t] * x[t];
}

VARNEL_LOOP_BODY void weighAddCyclicBody(double* __restrict out, const double* __restrict w,
                                         const double* __restrict x, ptrdiff_t n, ptrdiff_t phase, ptrdiff_t count) {
    for (ptrdiff_t t = 0; t < count; phase = 0) {
        const ptrdiff_t run = n - phase < count - t ? n - phase : count - t;
        weighAddBody(out + t, w + t, x + phase, run);
        t += run;
    }
}

VARNEL_LOOP_BODY void weighPairBody(double* __restrict re, double* __restrict im, const double* __restrict w,
                                    const double* __restrict x, ptrdiff_t count) {
    for (ptrdiff_t t = 0; t < count; ++t) {
        re[t] = w[t] * x[2 * t];
        im[t] = w[t] * x[2 * t + 1];
    }
}

VARNEL_LOOP_BODY void weighPairAddBody(double* __restrict re, double* __restrict im, const double* __restrict w,
                                       const double* __restrict x, ptrdiff_t count) {
    for (ptrdiff_t t = 0; t < count; ++t) {
        re[t] += w[t] * x[2 * t];
        im[t] += w[t] * x[2 * t + 1];
    }
}

VARNEL_LOOP_BODY void realPowerRowBody(const double* __restrict hc, ptrdiff_t m, double q, double* __restrict row) {
    row[0] = hc[0] * hc[0] * q;
    for (ptrdiff_t k = 1; k < m / 2; ++k) row[k] = (hc[k] * hc[k] + hc[m - k] * hc[m - k]) * q;
}

VARNEL_LOOP_BODY void complexPowerRowBody(const double* __restrict re, const double* __restrict im, ptrdiff_t m,
                                          double q, double* __restrict row) {
    for (ptrdiff_t k = 0; k < m; ++k) row[k] = (re[k] * re[k] + im[k] * im[k]) * q;
}

VARNEL_LOOP_BODY void interleaveBody(const double* __restrict re, const double* __restrict im, ptrdiff_t m,
                                     double* __restrict out) {
    for (ptrdiff_t k = 0; k < m; ++k) {
        out[2 * k] = re[k];
        out[2 * k + 1] = im[k];
    }
}

// The same with stores that go around the caches when out is 16-byte
// aligned (one complex value per store), plain stores otherwise.
VARNEL_LOOP_BODY void interleaveStreamingBody(const double* __restrict re, const double* __restrict im, ptrdiff_t m,
                                              double* __restrict out) {
    if (reinterpret_cast<std::uintptr_t>(out) % 16 != 0) {
        interleaveBody(re, im, m, out);
        return;
    }
    ptrdiff_t k = 0;
    for (; k + 2 <= m; k += 2) {
        const __m128d r = _mm_loadu_pd(re + k), i = _mm_loadu_pd(im + k);
        _mm_stream_pd(out + 2 * k, _mm_unpacklo_pd(r, i));
        _mm_stream_pd(out + 2 * k + 2, _mm_unpackhi_pd(r, i));
    }
    if (k < m) _mm_stream_pd(out + 2 * k, _mm_set_pd(im[k], re[k]));
}

#undef VARNEL_LOOP_BODY

// The same set of wrappers for each target.
#define VARNEL_FRAME_LOOPS(prefix, attributes)                                                                   \
    attributes void prefix##Weigh(double* out, const double* w, const double* x, ptrdiff_t count) {              \
        weighBody(out, w, x, count);                                                                             \
    }                                                                                                            \
    attributes void prefix##WeighAdd(double* out, const double* w, const double* x, ptrdiff_t count) {           \
        weighAddBody(out, w, x, count);                                                                          \
    }                                                                                                            \
    attributes void prefix##WeighAddCyclic(double* out, const double* w, const double* x, ptrdiff_t n,            \
                                           ptrdiff_t phase, ptrdiff_t count) {                                   \
        weighAddCyclicBody(out, w, x, n, phase, count);                                                          \
    }                                                                                                            \
    attributes void prefix##WeighPair(double* re, double* im, const double* w, const double* x, ptrdiff_t count) { \
        weighPairBody(re, im, w, x, count);                                                                      \
    }                                                                                                            \
    attributes void prefix##WeighPairAdd(double* re, double* im, const double* w, const double* x,               \
                                         ptrdiff_t count) {                                                      \
        weighPairAddBody(re, im, w, x, count);                                                                   \
    }                                                                                                            \
    attributes void prefix##RealPowerRow(const double* hc, ptrdiff_t m, double q, double* row) {                 \
        realPowerRowBody(hc, m, q, row);                                                                         \
    }                                                                                                            \
    attributes void prefix##ComplexPowerRow(const double* re, const double* im, ptrdiff_t m, double q,           \
                                            double* row) {                                                       \
        complexPowerRowBody(re, im, m, q, row);                                                                  \
    }                                                                                                            \
    attributes void prefix##Interleave(const double* re, const double* im, ptrdiff_t m, double* out) {           \
        interleaveBody(re, im, m, out);                                                                          \
    }                                                                                                            \
    attributes void prefix##InterleaveStreaming(const double* re, const double* im, ptrdiff_t m, double* out) {  \
        interleaveStreamingBody(re, im, m, out);                                                                 \
    }                                                                                                            \
    constexpr FrameLoops prefix##Loops{prefix##Weigh,        prefix##WeighAdd,     prefix##WeighAddCyclic,       \
                                       prefix##WeighPair,    prefix##WeighPairAdd, prefix##RealPowerRow,         \
                                       prefix##ComplexPowerRow, prefix##Interleave, prefix##InterleaveStreaming};

VARNEL_FRAME_LOOPS(baseline, )
VARNEL_FRAME_LOOPS(avx2, [[gnu::target("avx2")]])

#undef VARNEL_FRAME_LOOPS

}  // namespace

const FrameLoops& frameLoops() noexcept {
    return avx2PathsEnabled() ? avx2Loops : baselineLoops;
}

void streamedStoresDone() noexcept { _mm_sfence(); }

}  // namespace varnel::stft
