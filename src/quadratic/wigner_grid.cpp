#include "quadratic/wigner_grid.h"

#include <algorithm>

#include "quadratic/wigner_stages.h"
#include "varnel.h"

namespace varnel::wigner {

WignerGrid wignerGrid(const double* im, std::int32_t analytic, std::int32_t n, std::int32_t nFreq,
                      std::int32_t timeStep) noexcept {
    WignerGrid grid{};
    grid.timeStep = timeStep;
    grid.sliceCount = n / timeStep;
    if (im != nullptr) {
        grid.mode = SignalMode::Complex;
        grid.up = 2;
        grid.lagLength = nFreq;
        grid.binCount = nFreq;
    } else if (analytic != 0) {
        // Whole-sample lags advance the product's phase twice as fast, so
        // half as many lags cover the same band.
        grid.mode = SignalMode::Analytic;
        grid.up = 1;
        grid.lagLength = nFreq / 2;
        grid.binCount = nFreq / 2;
    } else {
        // A real signal's spectrum is even: only 0 <= f < 1/2 is kept.
        grid.mode = SignalMode::Real;
        grid.up = 2;
        grid.lagLength = nFreq;
        grid.binCount = nFreq / 2;
    }
    grid.length = std::ptrdiff_t{grid.up} * n;
    return grid;
}

WignerScratch::WignerScratch(const WignerGrid& grid, std::ptrdiff_t tableSlices, std::ptrdiff_t margin) noexcept
    : complex_(grid.complexSequence()),
      margin_(margin),
      plane_(grid.length + 2 * margin),
      tableSize_(std::ptrdiff_t{grid.lagLength} * tableSlices),
      sequence_(static_cast<std::size_t>(plane_) * (complex_ ? 2 : 1)),
      table_(sequence_.ok() && tableSize_ > 0
                 ? ScratchBuffer<double>(static_cast<std::size_t>(tableSize_) * (complex_ ? 2 : 1))
                 : ScratchBuffer<double>()) {
    if (!sequence_.ok() || margin == 0) return;
    for (int part = 0; part < (complex_ ? 2 : 1); ++part) {
        double* plane = sequence_.data() + part * plane_;
        std::fill(plane, plane + margin, 0.0);
        std::fill(plane + plane_ - margin, plane + plane_, 0.0);
    }
}

std::int32_t prepareSequence(const WignerGrid& grid, const double* re, const double* im, std::int32_t n,
                             const WignerScratch& scratch) noexcept {
    switch (grid.mode) {
        case SignalMode::Complex:
            return cxHalfSampleInterp(re, im, n, scratch.sequenceRe(), scratch.sequenceIm());
        case SignalMode::Analytic:
            return analyticSignal(re, n, scratch.sequenceRe(), scratch.sequenceIm());
        case SignalMode::Real:
            break;
    }
    return reHalfSampleInterp(re, n, scratch.sequenceRe());
}

std::int32_t lagTransform(const WignerGrid& grid, const WignerScratch& scratch, double* out) noexcept {
    if (grid.complexSequence()) {
        return cxLagSpectrum(scratch.tableRe(), scratch.tableIm(), grid.lagLength, grid.sliceCount, grid.binCount,
                             out);
    }
    return reLagSpectrum(scratch.tableRe(), grid.lagLength, grid.sliceCount, grid.binCount, out);
}

}  // namespace varnel::wigner
