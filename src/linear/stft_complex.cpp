// Complex STFT: the real and imaginary parts of a frame are folded with the
// same window and rotation into two buffers and one complex FFT gives the
// frame's bins. At unit output stride the FFT writes straight into the
// caller's arrays; at any other stride (interleaved Cx output above all) it
// writes into two more buffers that are then spread out: the vectorised FFT
// passes need unit-stride output, and a strided FFT takes about twice as
// long as a unit-stride one followed by the copy.
#include "fft/plan.h"
#include "frame/array_check.h"
#include "frame/export_guard.h"
#include "linear/stft_fold.h"
#include "linear/stft_frames.h"
#include "linear/stft_grid.h"
#include "varnel.h"

namespace {

using namespace varnel;
using std::ptrdiff_t;

struct ComplexSignal {
    const double* re;
    const double* im;
    ptrdiff_t stride;
};

struct ComplexOutput {
    double* re;
    double* im;
    std::int32_t stride;
};

std::int32_t complexStftFrames(ComplexSignal x, const stft::Grid& grid, std::int32_t reduced, ComplexOutput out) {
    const bool direct = out.stride == 1;
    const bool interleaved = out.stride == 2 && out.re != nullptr && out.im == out.re + 1;
    stft::FrameWorkspace work(grid.binCount, direct ? 2 : 4);
    if (!work.ok()) return kStatusNoMemory;
    double* foldedRe = work.buffer(0);
    double* foldedIm = work.buffer(1);
    const std::int32_t m = grid.binCount;
    const auto frame = [&](std::int64_t i, std::int64_t frameStart, std::int32_t shift) -> std::int32_t {
        stft::foldRotatedPair(grid, work.loops(), x.re, x.im, x.stride, frameStart, shift, foldedRe, foldedIm);
        if (direct) {
            return fft::cxFft(work.plan(), foldedRe, foldedIm, out.re + i * m, out.im + i * m, 1, 1, m);
        }
        double* binsRe = work.buffer(2);
        double* binsIm = work.buffer(3);
        const std::int32_t status = fft::cxFft(work.plan(), foldedRe, foldedIm, binsRe, binsIm, 1, 1, m);
        if (status != kStatusOk) return status;
        const ptrdiff_t stride = out.stride;
        double* re = out.re + i * m * stride;
        if (interleaved) {
            work.loops().interleave(binsRe, binsIm, m, re);
            return kStatusOk;
        }
        double* im = out.im + i * m * stride;
        for (ptrdiff_t k = 0; k < m; ++k) {
            re[k * stride] = binsRe[k];
            im[k * stride] = binsIm[k];
        }
        return kStatusOk;
    };
    return stft::forEachFrame(grid, reduced, frame);
}

}  // namespace

extern "C" {

VARNEL_API int32_t CxSTFTExWithShift(const double* xRe, const double* xIm, int32_t xStride, int32_t N,
                                     const WindowSpec* spec, int32_t* shift, double* outRe, double* outIm,
                                     int32_t outStride) {
    return guardedExport([&]() -> std::int32_t {
        stft::Grid grid;
        if (const std::int32_t status = stft::checkGrid(N, spec, grid); status != kStatusOk) return status;
        ArrayCheck arrays = ArrayCheck()
                                      .readsPair(xRe, xIm, stft::samplesRead(N, grid), xStride)
                                      .writesPair(outRe, outIm, grid.frameCount * grid.binCount, outStride)
                                      .writes(shift, shift ? 1 : 0);
        if (const std::int32_t status = stft::checkArrays(grid, arrays); status != kStatusOk) return status;
        const std::int32_t reduced = stft::reducedShift(shift ? *shift : 0, grid.binCount);
        const std::int32_t status =
            complexStftFrames({xRe, xIm, xStride}, grid, reduced, {outRe, outIm, outStride});
        // The caller's phase reference moves only when all frames were made.
        if (status == kStatusOk && shift) *shift = stft::continuedShift(reduced, grid);
        return status;
    });
}

VARNEL_API int32_t CxSTFTEx(const double* xRe, const double* xIm, int32_t xStride, int32_t N, const WindowSpec* spec,
                            double* outRe, double* outIm, int32_t outStride) {
    int32_t shift = 0;
    return CxSTFTExWithShift(xRe, xIm, xStride, N, spec, &shift, outRe, outIm, outStride);
}

VARNEL_API int32_t CxSTFT(const double* x, int32_t N, const WindowSpec* spec, double* out) {
    // No offset on a null pointer: a call that fails its checks may pass none.
    const double* xIm = x ? x + 1 : nullptr;
    double* outIm = out ? out + 1 : nullptr;
    int32_t shift = 0;
    return CxSTFTExWithShift(x, xIm, 2, N, spec, &shift, out, outIm, 2);
}

}  // extern "C"
