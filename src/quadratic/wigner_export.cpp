// The Wigner-Ville distribution: analysed sequence, lag-time table, lag
// transform.
#include <cstddef>
#include <cstdint>

#include "frame/export_guard.h"
#include "frame/numbers.h"
#include "quadratic/wigner_grid.h"
#include "quadratic/wigner_stages.h"
#include "varnel.h"

extern "C" VARNEL_API int32_t WVD(const double* re, const double* im, int32_t N, int32_t nFreq, int32_t timeStep,
                                  int32_t analytic, double* out) {
    using namespace varnel::wigner;
    return varnel::guardedExport([&]() -> std::int32_t {
        if (N < 1) return kStatusBadLength;
        if (!varnel::isPowerOfTwo(nFreq)) return kStatusBadBinCount;
        // The slice count divides by the time step; the Cohen class rejects
        // the same values with the same code.
        if (timeStep < 1) return kStatusBadDecimation;
        const WignerGrid grid = wignerGrid(im, analytic, N, nFreq, timeStep);
        if (grid.outputCount() == 0) return kStatusOk;
        if (const std::int32_t status = signalArrays(grid, re, im, N, out).status(); status != kStatusOk) return status;
        if (N > kMaxSignalLength) return kStatusNoMemory;

        // The lags of each slice, or pair of slices, are made just before
        // their transform; the complex sequences have margins of M zeros,
        // for the lags that reach past their ends. Every allocation comes
        // before the first write to out.
        const WignerScratch scratch(grid, 0, grid.complexSequence() ? grid.lagLength : 0);
        if (!scratch.ok()) return kStatusNoMemory;
        if (const std::int32_t status = prepareSequence(grid, re, im, N, scratch); status != kStatusOk) {
            return status;
        }
        LagSpectrum spectrum(grid.lagLength, grid.binCount);
        if (!spectrum.ok()) return kStatusNoMemory;
        const double evenScale = 2.0 / grid.lagLength;
        const std::ptrdiff_t step = grid.gridStep();
        for (std::ptrdiff_t j = 0; j < grid.sliceCount; j += grid.complexSequence() ? 2 : 1) {
            double* sliceOut = out + j * grid.binCount;
            std::int32_t status;
            if (grid.complexSequence()) {
                // A last slice without a partner is paired with itself.
                const bool partner = j + 1 < grid.sliceCount;
                cxPairedLags(scratch.sequenceRe(), scratch.sequenceIm(), grid.lagLength, j * step,
                             (partner ? j + 1 : j) * step, spectrum.lagsRe(), spectrum.lagsIm());
                status = spectrum.complexPair(sliceOut, partner ? sliceOut + grid.binCount : nullptr);
            } else {
                reLocalAutocorr(scratch.sequenceRe(), grid.length, grid.lagLength, j * step, evenScale,
                                spectrum.lagsRe());
                status = spectrum.realSlice(sliceOut);
            }
            if (status != kStatusOk) return status;
        }
        return kStatusOk;
    });
}
