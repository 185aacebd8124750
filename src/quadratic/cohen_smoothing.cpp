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
// negative bin d - K) takes column (d + K/2) mod K; bins the row does not
// reach are zero.
void applyKernelRow(KernelRows::Row kernel, std::int32_t k, double* re, double* im) {
    const std::ptrdiff_t half = k / 2;
    const std::ptrdiff_t upper = k - half;
    const auto weight = [&](std::ptrdiff_t column) {
        const std::ptrdiff_t distance = column < half ? half - column : column - half;
        return distance < kernel.support ? kernel.values[column] : 0.0;
    };
    for (std::ptrdiff_t d = 0; d < upper; ++d) {
        const double w = weight(half + d);
        re[d] *= w;
        im[d] *= w;
    }
    for (std::ptrdiff_t d = upper; d < k; ++d) {
        const double w = weight(d - upper);
        re[d] *= w;
        im[d] *= w;
    }
}

// The same on an Hc spectrum with the row averaged over +d and -d.
void applySymmetrisedKernelRow(KernelRows::Row kernel, std::int32_t k, double* hc) {
    const double* row = kernel.values;
    const std::ptrdiff_t half = k / 2;
    const std::ptrdiff_t reach = std::min<std::ptrdiff_t>(kernel.support, (k + 1) / 2);
    hc[0] *= kernel.support > 0 ? row[half] : 0.0;
    for (std::ptrdiff_t d = 1; d < reach; ++d) {
        const double weight = (row[half - d] + row[half + d]) * 0.5;
        hc[d] *= weight;
        hc[k - d] *= weight;
    }
    for (std::ptrdiff_t d = std::max<std::ptrdiff_t>(reach, 1); d <= (k + 1) / 2 - 1; ++d) {
        hc[d] *= 0.0;
        hc[k - d] *= 0.0;
    }
    if (k % 2 == 0) hc[half] *= kernel.support > half ? row[0] : 0.0;
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

// A row reaching no further than K2/2 bins from zero Doppler leaves no two
// weighted bins to meet in the fold: the folded spectrum is the weighted
// bins below K2/2 and their mirrors, scaled, the rest zeros. The products
// are those of the weighting and folding above, in the same order.
bool foldsNarrowly(const SmoothingGrid& grid, KernelRows::Row kernel) {
    return kernel.support <= grid.foldedLength / 2;
}

void foldNarrowSpectrum(const SmoothingGrid& grid, KernelRows::Row kernel, double* re, double* im) {
    const std::ptrdiff_t k = grid.fullLength;
    const std::ptrdiff_t k2 = grid.foldedLength;
    const std::ptrdiff_t centre = k / 2;
    const double scale = 1.0 / grid.timeStep;
    for (std::ptrdiff_t d = 1; d < kernel.support; ++d) {  // negative bins K - d onto K2 - d
        const double w = kernel.values[centre - d];
        re[k2 - d] = re[k - d] * w * scale;
        im[k2 - d] = im[k - d] * w * scale;
    }
    for (std::ptrdiff_t d = 0; d < kernel.support; ++d) {
        const double w = kernel.values[centre + d];
        re[d] = re[d] * w * scale;
        im[d] = im[d] * w * scale;
    }
    // Bins support .. K2 - support stay empty (all of them for support 0).
    const std::ptrdiff_t end = k2 - std::max<std::ptrdiff_t>(kernel.support, 1) + 1;
    std::fill(re + kernel.support, re + end, 0.0);
    std::fill(im + kernel.support, im + end, 0.0);
}

void foldNarrowHalfComplex(const SmoothingGrid& grid, KernelRows::Row kernel, const double* hc, double* folded) {
    const std::ptrdiff_t k = grid.fullLength;
    const std::ptrdiff_t k2 = grid.foldedLength;
    const std::ptrdiff_t centre = k / 2;
    const double scale = 1.0 / grid.timeStep;
    double* im = folded + k2;  // im[-i]: imaginary part of folded bin i
    std::fill(folded, folded + k2, 0.0);
    if (kernel.support > 0) folded[0] = hc[0] * kernel.values[centre] * scale;
    for (std::ptrdiff_t d = 1; d < kernel.support; ++d) {
        const double weight = (kernel.values[centre - d] + kernel.values[centre + d]) * 0.5;
        folded[d] = hc[d] * weight * scale;
        im[-d] = hc[k - d] * weight * scale;
    }
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
    const fft::Workspace<2> work(fft::Workspace<2>::parts(4, k), {grid.fullLength, grid.foldedLength});
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
        const KernelRows::Row row = kernel.row(t);
        if (foldsNarrowly(grid, row)) {
            foldNarrowSpectrum(grid, row, spectrumRe, spectrumIm);
        } else {
            applyKernelRow(row, k, spectrumRe, spectrumIm);
            foldSpectrum(grid, spectrumRe, spectrumIm);
        }
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
    const fft::Workspace<2> work(fft::Workspace<2>::parts(2, k), {grid.fullLength, grid.foldedLength});
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
        // The row buffer takes the folded spectrum, which the inverse
        // transform consumes; the smoothed row lands in the spectrum buffer.
        const KernelRows::Row kernelRow = kernel.row(t);
        if (foldsNarrowly(grid, kernelRow)) {
            foldNarrowHalfComplex(grid, kernelRow, hc, row);
        } else {
            applySymmetrisedKernelRow(kernelRow, k, hc);
            foldHalfComplexSpectrum(grid, hc, row);
        }
        status = fft::reIfft(foldedPlan, row, hc, 1, 1, grid.foldedLength, work.fftScratch(1));
        if (status != kStatusOk) return status;
        std::copy(hc, hc + grid.sliceCount, tab + t * grid.sliceCount);
    }
    return kStatusOk;
}

}  // namespace varnel::wigner
