// Reassigned spectrograms. Each frame goes through three windowed FFTs
// (window, time-weighted window, window derivative), one vectorised pass
// that gives every bin its energy and its target cell, and one scalar pass
// that adds the energy there. The windows, the spectra and the per-bin
// arrays are taken once per call, and one plan of length K serves every
// transform, so the cost per frame is three FFTs and two passes over the
// bins, with no allocation.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "adaptive/reassignment.h"
#include "adaptive/sum_of_squares.h"
#include "adaptive/windowed_fft.h"
#include "fft/plan_hold.h"
#include "frame/array_check.h"
#include "frame/export_guard.h"
#include "frame/numbers.h"
#include "frame/scratch.h"
#include "varnel.h"

namespace varnel::adaptive {
namespace {

using std::ptrdiff_t;

enum class Input { Real, Complex };

struct Grid {
    const double* window;
    std::int32_t windowLength;  // L >= 2
    std::int32_t timeStep;      // dt >= 1
    std::int32_t binCount;      // K, a power of two
    std::int64_t frameCount;    // M = (N - L)/dt + 1 >= 1
    Input input;

    // Bins kept per frame: below the Nyquist bin for a real signal.
    ptrdiff_t binsOut() const noexcept { return input == Input::Real ? binCount / 2 : binCount; }
    // Doubles per spectrum (Hc, or Cx) and per FFT work buffer.
    ptrdiff_t spectrumSize() const noexcept { return input == Input::Real ? binCount : 2 * ptrdiff_t{binCount}; }
};

std::int32_t checkArguments(const double* signal, std::int32_t n, const WindowSpec* spec, const double* out,
                            Input input, Grid& grid) noexcept {
    if (spec == nullptr) return kStatusBadWindowSpec;
    const std::int32_t length = spec->windowLength;
    const std::int32_t step = spec->timeStep;
    const std::int32_t bins = spec->binCount;
    if (n < length) return kStatusBadLength;
    if (step < 1 || !isPowerOfTwo(bins)) return kStatusBadWindowSpec;
    // The derivative window needs two samples.
    if (length < 2 || spec->window == nullptr) return kStatusBadWindowSpec;
    grid = Grid{spec->window, length, step, bins, (std::int64_t{n} - length) / step + 1, input};
    const std::int64_t samples = (input == Input::Real ? 1 : 2) * std::int64_t{n};
    return ArrayCheck()
        .reads(signal, samples)
        .reads(spec->window, length)
        .writes(out, grid.frameCount * grid.binsOut())
        .status();
}

// One millionth of the mean power of the whole signal. A signal whose
// power is not a finite number has no meaningful threshold; NaN then fails
// every comparison, so every cell is reassigned.
double threshold(const double* signal, std::int32_t n, Input input) noexcept {
    double power;
    if (input == Input::Real) {
        const double rms = std::sqrt(sumOfSquares(signal, n) / n);
        power = rms * rms;
    } else {
        power = sumOfSquares(signal, 2 * std::int64_t{n}) / n;
    }
    const double t = 1e-6 * power;
    return std::isfinite(t) ? t : std::numeric_limits<double>::quiet_NaN();
}

// h, th, dh; three spectra and the FFT work buffer; the energies; the
// transforms' scratch. Each starts on a cache line, since vector loads and
// stores that straddle lines slow the per-frame loops measurably, and off
// the 4 KiB period from the one before, since the spectra are read
// together.
struct FrameArrays {
    double *h, *th, *dh, *sh, *sth, *sdh, *work, *energy, *transformScratch;

    FrameArrays(const Grid& grid, Carve& carve) noexcept
        : h(carve.take(grid.windowLength)),
          th(carve.take(grid.windowLength)),
          dh(carve.take(grid.windowLength)),
          sh(carve.take(grid.spectrumSize())),
          sth(carve.take(grid.spectrumSize())),
          sdh(carve.take(grid.spectrumSize())),
          work(carve.take(grid.spectrumSize())),
          energy(carve.take(grid.binsOut())),
          transformScratch(carve.take(static_cast<std::ptrdiff_t>(fft::fftScratchSize(grid.binCount)))) {}
};

// The output rows are zeroed just before the first energy lands in them
// (rows in order, each once), so that a row is still in the cache while
// its frame and the next few add to it, instead of zeroing the whole
// output first and reading it back from memory.
class OutputRows {
public:
    OutputRows(double* out, std::ptrdiff_t rowLength, std::int64_t rowCount) noexcept
        : out_(out), rowLength_(rowLength), rowCount_(rowCount) {}

    // Makes rows 0..row ready for adding; returns the whole output.
    double* reach(std::int64_t row) noexcept {
        if (row >= zeroed_) {
            std::fill(out_ + zeroed_ * rowLength_, out_ + (row + 1) * rowLength_, 0.0);
            zeroed_ = row + 1;
        }
        return out_;
    }
    void finish() noexcept {
        if (rowCount_ > 0) reach(rowCount_ - 1);
    }

private:
    double* out_;
    std::ptrdiff_t rowLength_;
    std::int64_t rowCount_;
    std::int64_t zeroed_ = 0;
};

// Adds each cell's energy at its target. No index exceeds lastIndex, so
// one check makes every target a zeroed row.
void scatterFrame(const CellTargets& cells, std::ptrdiff_t binsOut, std::int64_t lastIndex, OutputRows& rows) noexcept {
    if (lastIndex < 0) return;
    double* out = rows.reach(lastIndex / binsOut);
    for (std::ptrdiff_t k = 0; k < binsOut; ++k) out[cells.index[k]] += cells.energy[k];
}

template <Input In>
std::int32_t reassignedSpectrogram(const double* signal, std::int32_t n, const Grid& grid, double* out) noexcept {
    const ptrdiff_t binsOut = grid.binsOut();
    Carve count(nullptr);
    FrameArrays(grid, count);
    ScratchBuffer<double> block(count.used());
    ScratchBuffer<std::int64_t> targets(static_cast<std::size_t>(binsOut));
    if (!block.ok() || !targets.ok()) return kStatusNoMemory;
    const fft::PlanHold plan(grid.binCount);
    if (!plan.ok()) return kStatusNoMemory;

    Carve carve(block.data());
    const auto [h, th, dh, sh, sth, sdh, work, energy, transformScratch] = FrameArrays(grid, carve);
    const CellTargets cells{energy, targets.data()};
    reassignWindows(grid.window, grid.windowLength, grid.binCount, h, th, dh);
    const CellGrid cellGrid{grid.binCount, grid.timeStep, grid.frameCount, threshold(signal, n, In)};
    const CellLoops& loops = cellLoops();
    OutputRows rows(out, binsOut, grid.frameCount);
    const std::int32_t k = grid.binCount;
    // With a plan of power-of-two length the transforms cannot fail, so
    // their status is not looked at once out is being written.
    for (std::int64_t m = 0; m < grid.frameCount; ++m) {
        const std::int64_t start = m * grid.timeStep;
        std::int64_t lastIndex;
        if constexpr (In == Input::Real) {
            const double* x = signal + start;
            reWindowedFft(x, h, grid.windowLength, k, sh, plan.get(), work, transformScratch);
            reWindowedFft(x, th, grid.windowLength, k, sth, plan.get(), work, transformScratch);
            reWindowedFft(x, dh, grid.windowLength, k, sdh, plan.get(), work, transformScratch);
            lastIndex = loops.real(sh, sth, sdh, cellGrid, m, cells);
        } else {
            const double* x = signal + 2 * start;
            cxWindowedFft(x, h, grid.windowLength, k, sh, plan.get(), work, transformScratch);
            cxWindowedFft(x, th, grid.windowLength, k, sth, plan.get(), work, transformScratch);
            cxWindowedFft(x, dh, grid.windowLength, k, sdh, plan.get(), work, transformScratch);
            lastIndex = loops.complex(sh, sth, sdh, cellGrid, m, cells);
        }
        scatterFrame(cells, binsOut, lastIndex, rows);
    }
    rows.finish();
    return kStatusOk;
}

template <Input In>
std::int32_t runExport(const double* signal, std::int32_t n, const WindowSpec* spec, double* out) noexcept {
    return guardedExport([&]() -> std::int32_t {
        Grid grid;
        if (const std::int32_t status = checkArguments(signal, n, spec, out, In, grid); status != kStatusOk) {
            return status;
        }
        return reassignedSpectrogram<In>(signal, n, grid, out);
    });
}

}  // namespace
}  // namespace varnel::adaptive

extern "C" {

VARNEL_API int32_t ReReassignedSTFTSp(const double* signal, int32_t N, const WindowSpec* spec, double* out) {
    return varnel::adaptive::runExport<varnel::adaptive::Input::Real>(signal, N, spec, out);
}

VARNEL_API int32_t CxReassignedSTFTSp(const double* signal, int32_t N, const WindowSpec* spec, double* out) {
    return varnel::adaptive::runExport<varnel::adaptive::Input::Complex>(signal, N, spec, out);
}

}  // extern "C"
