// Spectrograms: |X_i[k]|^2 / M of the STFT frames. Each frame is folded,
// transformed into a frame-sized buffer and squared into its row at once,
// so the whole STFT is never held: the scratch is a few frames long
// whatever the signal length, and every frame is squared while it is still
// in the cache.
#include "fft/plan.h"
#include "fft/plan_hold.h"
#include "frame/array_check.h"
#include "frame/export_guard.h"
#include "linear/stft_fold.h"
#include "linear/stft_frames.h"
#include "linear/stft_grid.h"
#include "linear/stft_loops.h"
#include "varnel.h"

namespace {

using namespace varnel;

std::int32_t realSpectrogram(const double* x, const stft::Grid& grid, double* out) {
    const std::int32_t m = grid.binCount;
    const fft::Workspace<> work(fft::Workspace<>::parts(2, m), {m});
    if (!work.ok()) return kStatusNoMemory;
    const stft::FrameLoops& loops = stft::frameLoops();
    double* folded = work.part(0, m);
    double* spectrum = work.part(1, m);
    const double q = 1.0 / m;
    const auto frame = [&](std::int64_t i, std::int64_t frameStart, std::int32_t shift) -> std::int32_t {
        stft::foldRotated(grid, loops, x, 1, frameStart, shift, folded);
        const std::int32_t status = fft::reFft(work.plan(), folded, spectrum, 1, 1, m, work.fftScratch());
        if (status != kStatusOk) return status;
        // Rows of M/2 start at floor(i*M/2) and leave out the Nyquist bin;
        // for M = 1 two frames share an element and the later one stays.
        loops.realPowerRow(spectrum, m, q, out + ((i * m) >> 1));
        return kStatusOk;
    };
    return stft::forEachFrame(grid, 0, frame);
}

std::int32_t complexSpectrogram(const double* x, const stft::Grid& grid, double* out) {
    const std::int32_t m = grid.binCount;
    const fft::Workspace<> work(fft::Workspace<>::parts(4, m), {m});
    if (!work.ok()) return kStatusNoMemory;
    const stft::FrameLoops& loops = stft::frameLoops();
    double* foldedRe = work.part(0, m);
    double* foldedIm = work.part(1, m);
    double* spectrumRe = work.part(2, m);
    double* spectrumIm = work.part(3, m);
    const double q = 1.0 / m;
    const double* xIm = x ? x + 1 : nullptr;  // frames of an empty window read nothing, x may be null
    const auto frame = [&](std::int64_t i, std::int64_t frameStart, std::int32_t shift) -> std::int32_t {
        stft::foldRotatedPair(grid, loops, {x, xIm, 2}, frameStart, shift, foldedRe, foldedIm);
        const std::int32_t status =
            fft::cxFft(work.plan(), foldedRe, foldedIm, spectrumRe, spectrumIm, 1, 1, m, work.fftScratch());
        if (status != kStatusOk) return status;
        loops.complexPowerRow(spectrumRe, spectrumIm, m, q, out + i * m);
        return kStatusOk;
    };
    return stft::forEachFrame(grid, 0, frame);
}

}  // namespace

extern "C" {

VARNEL_API int32_t ReSTFTsp(const double* x, int32_t N, const WindowSpec* spec, double* out) {
    return guardedExport([&]() -> std::int32_t {
        stft::Grid grid;
        if (const std::int32_t status = stft::checkGrid(N, spec, grid); status != kStatusOk) return status;
        // Rows of M/2; for M = 1 two frames share an element.
        const std::int64_t cells = (grid.frameCount * grid.binCount + 1) / 2;
        if (const std::int32_t status = stft::checkArrays(grid, ArrayCheck().reads(x, stft::samplesRead(N, grid)).writes(out, cells));
            status != kStatusOk) {
            return status;
        }
        return realSpectrogram(x, grid, out);
    });
}

VARNEL_API int32_t CxSTFTsp(const double* x, int32_t N, const WindowSpec* spec, double* out) {
    return guardedExport([&]() -> std::int32_t {
        stft::Grid grid;
        if (const std::int32_t status = stft::checkGrid(N, spec, grid); status != kStatusOk) return status;
        if (const std::int32_t status = stft::checkArrays(
                grid, ArrayCheck().reads(x, 2 * stft::samplesRead(N, grid)).writes(out, grid.frameCount * grid.binCount));
            status != kStatusOk) {
            return status;
        }
        return complexSpectrogram(x, grid, out);
    });
}

}  // extern "C"
