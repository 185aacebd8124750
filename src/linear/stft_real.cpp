// Real STFT: each frame is folded into one buffer and its Hc spectrum goes
// straight into the caller's output.
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

std::int32_t realFrames(const Grid& grid, const double* x, std::int32_t reduced, double* out, FrameWork work) noexcept {
    const FrameLoops& loops = frameLoops();
    double* buffer = work.buffers;
    const std::int32_t m = grid.binCount;
    return forEachFrame(grid, reduced, [&](std::int64_t i, std::int64_t frameStart, std::int32_t shift) {
        foldRotated(grid, loops, x, 1, frameStart, shift, buffer);
        return fft::reFft(work.plan, buffer, out + i * m, 1, 1, m, work.fftScratch);
    });
}

}  // namespace varnel::stft

namespace {

using namespace varnel;

std::int32_t realStft(const double* x, std::int32_t N, const WindowSpec* spec, std::int32_t* shift, double* out) {
    stft::Grid grid;
    if (const std::int32_t status = stft::checkGrid(N, spec, grid); status != kStatusOk) return status;
    ArrayCheck arrays = ArrayCheck()
                            .reads(x, stft::samplesRead(N, grid))
                            .writes(out, grid.frameCount * grid.binCount)
                            .writes(shift, shift ? 1 : 0);
    if (const std::int32_t status = stft::checkArrays(grid, arrays); status != kStatusOk) return status;
    const fft::Workspace<> work(static_cast<std::size_t>(grid.binCount) * stft::kRealFrameBuffers, {grid.binCount});
    if (!work.ok()) return kStatusNoMemory;
    const std::int32_t reduced = stft::reducedShift(shift ? *shift : 0, grid.binCount);
    const std::int32_t status = stft::realFrames(grid, x, reduced, out, {work.plan(), work.data(), work.fftScratch()});
    // The caller's phase reference moves only when all frames were made.
    if (status == kStatusOk && shift) *shift = stft::continuedShift(reduced, grid);
    return status;
}

}  // namespace

extern "C" {

VARNEL_API int32_t ReSTFTWithShift(const double* x, int32_t N, const WindowSpec* spec, int32_t* shift,
                                   double* out) {
    return guardedExport([&] { return realStft(x, N, spec, shift, out); });
}

VARNEL_API int32_t ReSTFT(const double* x, int32_t N, const WindowSpec* spec, double* out) {
    return guardedExport([&] { return realStft(x, N, spec, nullptr, out); });
}

}  // extern "C"
