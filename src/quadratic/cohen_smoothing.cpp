// Smoothing in the Doppler domain. Multiplying the DFT of a lag row along
// time by a kernel row is a circular convolution over K samples; keeping
// every timeStep-th sample of the result is the same as folding the
// spectrum modulo K/timeStep and transforming back at that length. So each
// lag costs one FFT of length K and one inverse of length K/timeStep, and
// the full-rate smoothed row is never formed. Both rest on K and timeStep
// being powers of two, hence the fixed kernel width.
#include <algorithm>
#include <cstddef>

#include "frame/next_pow2.h"
#include "quadratic/cohen_stages.h"
#include "fft/plan_hold.h"
#include "varnel.h"

namespace varnel::wigner {
namespace {

struct SmoothingGrid {
    std::int32_t sliceCount;     // T
    std::int32_t fullLength;     // K, the smoothing period at the input rate
    std::int32_t foldedLength;   // K2 = K / timeStep
    std::int32_t timeStep;
};

std::int32_t smoothingGrid(std::ptrdiff_t length, std::int32_t lagCount, std::int32_t up, std::int32_t timeStep,
                           const KernelRows& kernel, SmoothingGrid& grid) {
    const std::ptrdiff_t inputSamples = (length + up - 1) / up;
    grid.sliceCount = static_cast<std::int32_t>(inputSamples / timeStep);
    grid.timeStep = timeStep;
    grid.fullLength = nextPow2(grid.sliceCount * timeStep);
    grid.foldedLength = nextPow2(grid.sliceCount);
    if (grid.fullLength < 1 || grid.fullLength != kernel.width() || kernel.rowCount() < lagCount) {
        return kStatusBadKernelSize;
    }
    return kStatusOk;
}

// Input samples j with both j*up + t and j*up - t inside the sequence, and
// j inside the smoothing period.
struct ProductRange {
    std::ptrdiff_t first, end;
};

ProductRange productRange(std::ptrdiff_t length, std::ptrdiff_t t, std::int32_t up, std::int32_t period) {
    const std::ptrdiff_t first = (t + up - 1) / up;
    const std::ptrdiff_t end = t <= length - 1 ? std::min<std::ptrdiff_t>((length - 1 - t) / up + 1, period) : 0;
    return {std::min<std::ptrdiff_t>(first, period), std::max(std::min<std::ptrdiff_t>(first, period), end)};
}

// Only the samples that no product covers need clearing.
void clearOutside(double* row, std::ptrdiff_t size, const ProductRange& range) {
    std::fill(row, row + range.first, 0.0);
    std::fill(row + range.end, row + size, 0.0);
}

// Kernel column K/2 + d weighs Doppler bin d, so bin d (d > K/2 being the
// negative bin d - K) takes column (d + K/2) mod K.
void applyKernelRow(const double* row, std::int32_t k, double* re, double* im) {
    const std::ptrdiff_t half = k / 2;
    const std::ptrdiff_t upper = k - half;
    for (std::ptrdiff_t d = 0; d < upper; ++d) {
        re[d] *= row[half + d];
        im[d] *= row[half + d];
    }
    for (std::ptrdiff_t d = upper; d < k; ++d) {
        re[d] *= row[d - upper];
        im[d] *= row[d - upper];
    }
}

// The same on an Hc spectrum with the row averaged over +d and -d.
void applySymmetrisedKernelRow(const double* row, std::int32_t k, double* hc) {
    const std::ptrdiff_t half = k / 2;
    hc[0] *= row[half];
    for (std::ptrdiff_t d = 1; d <= (k + 1) / 2 - 1; ++d) {
        const double weight = (row[half - d] + row[half + d]) * 0.5;
        hc[d] *= weight;
        hc[k - d] *= weight;
    }
    if (k % 2 == 0) hc[half] *= row[0];
}

// Bins i + s*K2 of the full spectrum added onto bin i, and 1/timeStep.
void foldSpectrum(const SmoothingGrid& grid, double* re, double* im) {
    const std::ptrdiff_t folded = grid.foldedLength;
    for (std::ptrdiff_t s = 1; s < grid.timeStep; ++s) {
        for (std::ptrdiff_t i = 0; i < folded; ++i) {
            re[i] += re[s * folded + i];
            im[i] += im[s * folded + i];
        }
    }
    const double scale = 1.0 / grid.timeStep;
    for (std::ptrdiff_t i = 0; i < folded; ++i) {
        re[i] *= scale;
        im[i] *= scale;
    }
}

// The same fold read from and written to Hc arrays: bins above K/2 are the
// conjugates of those below. Folded bin i sums bins s*K2 + i, s ascending;
// a whole run of them lies in one half of the spectrum (the run s = ts/2
// starts on the Nyquist bin), so each run is a plain loop. folded[i] takes
// the real parts (i <= K2/2), folded[K2 - i] the imaginary ones.
void foldHalfComplexSpectrum(const SmoothingGrid& grid, const double* hc, double* folded) {
    const std::ptrdiff_t k = grid.fullLength;
    const std::ptrdiff_t k2 = grid.foldedLength;
    const std::ptrdiff_t half = k2 / 2;
    const std::ptrdiff_t steps = grid.timeStep;
    double* im = folded + k2;  // im[-i] is the imaginary part of folded bin i
    for (std::ptrdiff_t i = 0; i <= half; ++i) folded[i] = hc[i];
    for (std::ptrdiff_t i = 1; i < half; ++i) im[-i] = hc[k - i];
    for (std::ptrdiff_t s = 1; s < steps; ++s) {
        const std::ptrdiff_t base = s * k2;
        const double* upper = hc + (k - base);  // upper[-i]: real part of the conjugate of bin base + i
        if (2 * s < steps) {
            for (std::ptrdiff_t i = 0; i <= half; ++i) folded[i] += hc[base + i];
            for (std::ptrdiff_t i = 1; i < half; ++i) im[-i] += upper[-i];
            continue;
        }
        if (2 * s == steps) {
            folded[0] += hc[k / 2];
        } else {
            folded[0] += upper[0];
        }
        for (std::ptrdiff_t i = 1; i <= half; ++i) folded[i] += upper[-i];
        for (std::ptrdiff_t i = 1; i < half; ++i) im[-i] -= hc[base + i];
    }
    const double scale = 1.0 / grid.timeStep;
    for (std::ptrdiff_t i = 0; i <= half; ++i) folded[i] *= scale;
    for (std::ptrdiff_t i = 1; i < half; ++i) im[-i] *= scale;
}

}  // namespace

std::int32_t cxKernelSmooth(const double* zRe, const double* zIm, std::ptrdiff_t length, std::int32_t lagCount,
                            std::int32_t up, std::int32_t timeStep, const KernelRows& kernel, double* tabRe,
                            double* tabIm) noexcept {
    SmoothingGrid grid;
    if (const std::int32_t status = smoothingGrid(length, lagCount, up, timeStep, kernel, grid);
        status != kStatusOk) {
        return status;
    }
    const std::int32_t k = grid.fullLength;
    const std::ptrdiff_t planeSize = k;
    // Planes of K doubles, then the plans of K and K/timeStep and their scratch.
    const fft::Workspace<2> work(4 * static_cast<std::size_t>(k), {grid.fullLength, grid.foldedLength});
    if (!work.ok()) return kStatusNoMemory;
    const fft::FftPlan* fullPlan = work.plan(0);
    const fft::FftPlan* foldedPlan = work.plan(1);
    double* rowRe = work.part(0, planeSize);
    double* rowIm = work.part(1, planeSize);
    double* spectrumRe = work.part(2, planeSize);
    double* spectrumIm = work.part(3, planeSize);

    for (std::ptrdiff_t t = 0; t < lagCount; ++t) {
        const ProductRange range = productRange(length, t, up, k);
        clearOutside(rowRe, planeSize, range);
        clearOutside(rowIm, planeSize, range);
        for (std::ptrdiff_t j = range.first; j < range.end; ++j) {
            const double a = zRe[j * up + t], b = zIm[j * up + t];
            const double c = zRe[j * up - t], d = zIm[j * up - t];
            rowRe[j] = a * c + b * d;
            rowIm[j] = b * c - a * d;
        }
        std::int32_t status = fft::cxFft(fullPlan, rowRe, rowIm, spectrumRe, spectrumIm, 1, 1, k, work.fftScratch(0));
        if (status != kStatusOk) return status;
        applyKernelRow(kernel.row(t), k, spectrumRe, spectrumIm);
        foldSpectrum(grid, spectrumRe, spectrumIm);
        status = fft::cxIfft(foldedPlan, spectrumRe, spectrumIm, rowRe, rowIm, 1, 1, grid.foldedLength,
                             work.fftScratch(1));
        if (status != kStatusOk) return status;
        std::copy(rowRe, rowRe + grid.sliceCount, tabRe + t * grid.sliceCount);
        std::copy(rowIm, rowIm + grid.sliceCount, tabIm + t * grid.sliceCount);
    }
    return kStatusOk;
}

std::int32_t reKernelSmooth(const double* x, std::ptrdiff_t length, std::int32_t lagCount, std::int32_t up,
                            std::int32_t timeStep, const KernelRows& kernel, double* tab) noexcept {
    SmoothingGrid grid;
    if (const std::int32_t status = smoothingGrid(length, lagCount, up, timeStep, kernel, grid);
        status != kStatusOk) {
        return status;
    }
    const std::int32_t k = grid.fullLength;
    const std::ptrdiff_t planeSize = k;
    // Planes of K doubles, then the plans of K and K/timeStep and their scratch.
    const fft::Workspace<2> work(2 * static_cast<std::size_t>(k), {grid.fullLength, grid.foldedLength});
    if (!work.ok()) return kStatusNoMemory;
    const fft::FftPlan* fullPlan = work.plan(0);
    const fft::FftPlan* foldedPlan = work.plan(1);
    double* row = work.part(0, planeSize);
    double* hc = work.part(1, planeSize);

    for (std::ptrdiff_t t = 0; t < lagCount; ++t) {
        const ProductRange range = productRange(length, t, up, k);
        clearOutside(row, planeSize, range);
        for (std::ptrdiff_t j = range.first; j < range.end; ++j) row[j] = x[j * up + t] * x[j * up - t];
        std::int32_t status = fft::reFft(fullPlan, row, hc, 1, 1, k, work.fftScratch(0));
        if (status != kStatusOk) return status;
        applySymmetrisedKernelRow(kernel.row(t), k, hc);
        // The row buffer takes the folded spectrum, which the inverse
        // transform consumes; the smoothed row lands in the spectrum buffer.
        foldHalfComplexSpectrum(grid, hc, row);
        status = fft::reIfft(foldedPlan, row, hc, 1, 1, grid.foldedLength, work.fftScratch(1));
        if (status != kStatusOk) return status;
        std::copy(hc, hc + grid.sliceCount, tab + t * grid.sliceCount);
    }
    return kStatusOk;
}

}  // namespace varnel::wigner
