// Complex STFT: the real and imaginary parts of a frame are folded with the
// same window and rotation into two buffers and one complex FFT gives the
// frame's bins. At unit output stride the FFT writes straight into the
// caller's arrays; at any other stride (interleaved Cx output above all) it
// writes into two more buffers that are then spread out.
#include "fft/plan.h"
#include "fft/plan_hold.h"
#include "frame/array_check.h"
#include "frame/export_guard.h"
#include "linear/stft_fold.h"
#include "linear/stft_frames.h"
#include "linear/stft_grid.h"
#include "linear/stft_loops.h"
#include "varnel.h"

namespace varnel::stft {
namespace {

// Interleaved output of this many bins (12 MiB) or more is written with
// streaming stores. CxSTFT with M = 256, hop 64 (fastest of 15): 8.4 MB of
// output took 16% longer with them (10% with the caller reading it back at
// once), 16.8 MB 23% less and 67 MB 27% less.
constexpr std::int64_t kStreamingBinsFrom = (std::int64_t{12} << 20) / (2 * sizeof(double));

}  // namespace

std::int32_t complexFrames(const Grid& grid, ConstSplitComplex x, std::int32_t reduced, SplitComplex out,
                           FrameWork work) noexcept {
    using std::ptrdiff_t;
    const FrameLoops& loops = frameLoops();
    const bool direct = out.stride == 1;
    const bool interleaved = out.interleaved();
    const std::int32_t m = grid.binCount;
    const bool streaming = interleaved && grid.frameCount * m >= kStreamingBinsFrom;
    const auto interleave = streaming ? loops.interleaveStreaming : loops.interleave;
    double* foldedRe = work.buffers;
    const std::ptrdiff_t spacing = planeSpacing(m);
    double* foldedIm = foldedRe + spacing;
    double* binsRe = foldedIm + spacing;  // only at a stride other than 1
    double* binsIm = binsRe + spacing;
    const auto frame = [&](std::int64_t i, std::int64_t frameStart, std::int32_t shift) -> std::int32_t {
        foldRotatedPair(grid, loops, x, frameStart, shift, foldedRe, foldedIm);
        if (direct)
            return fft::cxFft(work.plan, foldedRe, foldedIm, out.re + i * m, out.im + i * m, 1, 1, m, work.fftScratch);
        const std::int32_t status = fft::cxFft(work.plan, foldedRe, foldedIm, binsRe, binsIm, 1, 1, m, work.fftScratch);
        if (status != kStatusOk) return status;
        const ptrdiff_t stride = out.stride;
        double* re = out.re + i * m * stride;
        if (interleaved) {
            interleave(binsRe, binsIm, m, re);
            return kStatusOk;
        }
        double* im = out.im + i * m * stride;
        for (ptrdiff_t k = 0; k < m; ++k) {
            re[k * stride] = binsRe[k];
            im[k * stride] = binsIm[k];
        }
        return kStatusOk;
    };
    const std::int32_t status = forEachFrame(grid, reduced, frame);
    if (streaming) streamedStoresDone();
    return status;
}

}  // namespace varnel::stft

namespace {

using namespace varnel;

std::int32_t complexStft(ConstSplitComplex x, std::int32_t N, const WindowSpec* spec, std::int32_t* shift,
                         SplitComplex out) {
    stft::Grid grid;
    if (const std::int32_t status = stft::checkGrid(N, spec, grid); status != kStatusOk) return status;
    ArrayCheck arrays = ArrayCheck()
                            .readsPair(x.re, x.im, stft::samplesRead(N, grid), x.stride)
                            .writesPair(out.re, out.im, grid.frameCount * grid.binCount, out.stride)
                            .writes(shift, shift ? 1 : 0);
    if (const std::int32_t status = stft::checkArrays(grid, arrays); status != kStatusOk) return status;
    const fft::Workspace<> work(stft::complexFrameDoubles(grid.binCount, out.stride), {grid.binCount});
    if (!work.ok()) return kStatusNoMemory;
    const std::int32_t reduced = stft::reducedShift(shift ? *shift : 0, grid.binCount);
    const std::int32_t status =
        stft::complexFrames(grid, x, reduced, out, {work.plan(), work.data(), work.fftScratch()});
    // The caller's phase reference moves only when all frames were made.
    if (status == kStatusOk && shift) *shift = stft::continuedShift(reduced, grid);
    return status;
}

}  // namespace

extern "C" {

VARNEL_API int32_t CxSTFTExWithShift(const double* xRe, const double* xIm, int32_t xStride, int32_t N,
                                     const WindowSpec* spec, int32_t* shift, double* outRe, double* outIm,
                                     int32_t outStride) {
    return guardedExport([&] { return complexStft({xRe, xIm, xStride}, N, spec, shift, {outRe, outIm, outStride}); });
}

VARNEL_API int32_t CxSTFTEx(const double* xRe, const double* xIm, int32_t xStride, int32_t N, const WindowSpec* spec,
                            double* outRe, double* outIm, int32_t outStride) {
    return guardedExport(
        [&] { return complexStft({xRe, xIm, xStride}, N, spec, nullptr, {outRe, outIm, outStride}); });
}

VARNEL_API int32_t CxSTFT(const double* x, int32_t N, const WindowSpec* spec, double* out) {
    // No offset on a null pointer: a call that fails its checks may pass none.
    const double* xIm = x ? x + 1 : nullptr;
    double* outIm = out ? out + 1 : nullptr;
    return guardedExport([&] { return complexStft({x, xIm, 2}, N, spec, nullptr, {out, outIm, 2}); });
}

}  // extern "C"
