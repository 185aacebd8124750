// Real STFT: each frame is folded into one buffer and its Hc spectrum goes
// straight into the caller's output.
#include "fft/plan.h"
#include "frame/array_check.h"
#include "frame/export_guard.h"
#include "linear/stft_fold.h"
#include "linear/stft_frames.h"
#include "linear/stft_grid.h"
#include "varnel.h"

namespace {

using namespace varnel;

std::int32_t realStftFrames(const double* x, const stft::Grid& grid, std::int32_t reduced, double* out) {
    stft::FrameWorkspace work(grid.binCount, 1);
    if (!work.ok()) return kStatusNoMemory;
    double* buffer = work.buffer(0);
    const std::int32_t m = grid.binCount;
    return stft::forEachFrame(grid, reduced, [&](std::int64_t i, std::int64_t frameStart, std::int32_t shift) {
        stft::foldRotated(grid, work.loops(), x, 1, frameStart, shift, buffer);
        return fft::reFft(work.plan(), buffer, out + i * m, 1, 1, m);
    });
}

}  // namespace

extern "C" {

VARNEL_API int32_t ReSTFTWithShift(const double* x, int32_t N, const WindowSpec* spec, int32_t* shift,
                                   double* out) {
    return guardedExport([&]() -> std::int32_t {
        stft::Grid grid;
        if (const std::int32_t status = stft::checkGrid(N, spec, grid); status != kStatusOk) return status;
        ArrayCheck arrays = ArrayCheck()
                                      .reads(x, stft::samplesRead(N, grid))
                                      .writes(out, grid.frameCount * grid.binCount)
                                      .writes(shift, shift ? 1 : 0);
        if (const std::int32_t status = stft::checkArrays(grid, arrays); status != kStatusOk) return status;
        const std::int32_t reduced = stft::reducedShift(shift ? *shift : 0, grid.binCount);
        const std::int32_t status = realStftFrames(x, grid, reduced, out);
        // The caller's phase reference moves only when all frames were made.
        if (status == kStatusOk && shift) *shift = stft::continuedShift(reduced, grid);
        return status;
    });
}

VARNEL_API int32_t ReSTFT(const double* x, int32_t N, const WindowSpec* spec, double* out) {
    int32_t shift = 0;
    return ReSTFTWithShift(x, N, spec, &shift, out);
}

}  // extern "C"
