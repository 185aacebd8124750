// Reassigned spectrograms. Each frame goes through three windowed FFTs
// (window, time-weighted window, window derivative), one vectorised pass
// that gives every bin its energy and rounded offsets, and one scalar pass
// that adds the energy where it lands. The windows, the spectra and the
// per-bin arrays are one block taken once per call, and one plan of length
// K serves every transform, so the cost per frame is three FFTs and two
// passes over the bins, with no allocation.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "adaptive/reassignment.h"
#include "adaptive/windowed_fft.h"
#include "fft/plan_hold.h"
#include "frame/export_guard.h"
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
    if (step < 1 || bins < 1 || (bins & (bins - 1)) != 0) return kStatusBadWindowSpec;
    // The derivative window needs two samples.
    if (length < 2 || spec->window == nullptr) return kStatusBadWindowSpec;
    if (signal == nullptr || out == nullptr) return kStatusBadLength;
    grid = Grid{spec->window, length, step, bins, (std::int64_t{n} - length) / step + 1, input};
    return kStatusOk;
}

// One millionth of the mean power of the whole signal. A signal whose
// power is not a finite number has no meaningful threshold; NaN then fails
// every comparison, so every cell is reassigned.
double threshold(const double* signal, std::int32_t n, Input input) noexcept {
    double energy = 0.0;
    double power;
    if (input == Input::Real) {
        for (std::int32_t t = 0; t < n; ++t) energy += signal[t] * signal[t];
        const double rms = std::sqrt(energy / n);
        power = rms * rms;
    } else {
        for (std::int32_t t = 0; t < n; ++t) energy += signal[2 * t] * signal[2 * t] + signal[2 * t + 1] * signal[2 * t + 1];
        power = energy / n;
    }
    const double t = 1e-6 * power;
    return std::isfinite(t) ? t : std::numeric_limits<double>::quiet_NaN();
}

// The bin k - binShift as its residue modulo K (a power of two). The
// difference is an integer-valued double; beyond 2^62 it cannot be
// converted, but its residue is still exact with fmod.
std::int64_t wrappedBin(double bin, std::int32_t binCount) noexcept {
    if (std::fabs(bin) < 0x1p62) return static_cast<std::int64_t>(bin) & (binCount - 1);
    double r = std::fmod(bin, static_cast<double>(binCount));
    if (r < 0) r += binCount;
    return static_cast<std::int64_t>(r);
}

// Adds the cells of frame m to out. A cell at or below the threshold (real)
// or below it (complex) stays; so does one whose offsets are not finite
// (no energy, or a non-finite sample in the frame). Others move to their
// target, or are dropped when that lies outside the frames or, for a real
// signal, on the Nyquist bin once folded.
template <Input In>
void scatterFrame(const Grid& grid, std::int64_t m, const CellTargets& cells, double threshold, double* out) noexcept {
    const ptrdiff_t binsOut = grid.binsOut();
    const std::int64_t half = grid.binCount / 2;
    const double frames = static_cast<double>(grid.frameCount);
    double* row = out + m * binsOut;
    for (ptrdiff_t k = 0; k < binsOut; ++k) {
        const double p = cells.power[k];
        const bool small = In == Input::Real ? p <= threshold : p < threshold;
        const double frameShift = cells.frameShift[k];
        const double binShift = cells.binShift[k];
        if (small || !std::isfinite(frameShift) || !std::isfinite(binShift)) {
            row[k] += p;
            continue;
        }
        const double frame = static_cast<double>(m) + frameShift;
        if (!(frame >= 0.0 && frame < frames)) continue;
        std::int64_t bin = wrappedBin(static_cast<double>(k) - binShift, grid.binCount);
        if constexpr (In == Input::Real) {
            if (bin > half) bin = grid.binCount - bin;
            if (bin == half) continue;
        }
        out[static_cast<std::int64_t>(frame) * binsOut + bin] += p;
    }
}

template <Input In>
std::int32_t reassignedSpectrogram(const double* signal, std::int32_t n, const Grid& grid, double* out) noexcept {
    const ptrdiff_t length = grid.windowLength;
    const ptrdiff_t spectrum = grid.spectrumSize();
    const ptrdiff_t binsOut = grid.binsOut();
    // h, th, dh; three spectra and the FFT work buffer; three per-bin arrays.
    ScratchBuffer<double> block(static_cast<std::size_t>(3 * length + 4 * spectrum + 3 * binsOut));
    if (!block.ok()) return kStatusNoMemory;
    const fft::PlanHold plan(grid.binCount);
    if (!plan.ok()) return kStatusNoMemory;

    double* h = block.data();
    double* th = h + length;
    double* dh = th + length;
    double* sh = dh + length;
    double* sth = sh + spectrum;
    double* sdh = sth + spectrum;
    double* work = sdh + spectrum;
    const CellTargets cells{work + spectrum, work + spectrum + binsOut, work + spectrum + 2 * binsOut};
    reassignWindows(grid.window, grid.windowLength, grid.binCount, h, th, dh);
    const double limit = threshold(signal, n, In);

    std::fill(out, out + grid.frameCount * binsOut, 0.0);
    const CellLoops& loops = cellLoops();
    const std::int32_t k = grid.binCount;
    // With a plan of power-of-two length the transforms cannot fail, so
    // their status is not looked at once out is being written.
    for (std::int64_t m = 0; m < grid.frameCount; ++m) {
        const std::int64_t start = m * grid.timeStep;
        if constexpr (In == Input::Real) {
            const double* x = signal + start;
            reWindowedFft(x, h, grid.windowLength, k, sh, plan.get(), work);
            reWindowedFft(x, th, grid.windowLength, k, sth, plan.get(), work);
            reWindowedFft(x, dh, grid.windowLength, k, sdh, plan.get(), work);
            loops.real(sh, sth, sdh, k, grid.timeStep, cells);
        } else {
            const double* x = signal + 2 * start;
            cxWindowedFft(x, h, grid.windowLength, k, sh, plan.get(), work);
            cxWindowedFft(x, th, grid.windowLength, k, sth, plan.get(), work);
            cxWindowedFft(x, dh, grid.windowLength, k, sdh, plan.get(), work);
            loops.complex(sh, sth, sdh, k, grid.timeStep, cells);
        }
        scatterFrame<In>(grid, m, cells, limit, out);
    }
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
