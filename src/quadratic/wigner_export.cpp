// The Wigner-Ville distribution: analysed sequence, lag-time table, lag
// transform.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "frame/export_guard.h"
#include "quadratic/wigner_grid.h"
#include "quadratic/wigner_stages.h"
#include "varnel.h"

extern "C" VARNEL_API int32_t WVD(const double* re, const double* im, int32_t N, int32_t nFreq, int32_t timeStep,
                                  int32_t analytic, double* out) {
    using namespace varnel::wigner;
    return varnel::guardedExport([&]() -> std::int32_t {
        if (N < 1) return kStatusBadLength;
        if (!isPowerOfTwo(nFreq)) return kStatusBadBinCount;
        // The slice count divides by the time step; the Cohen class rejects
        // the same values with the same code.
        if (timeStep < 1) return kStatusBadDecimation;
        const WignerGrid grid = wignerGrid(im, analytic, N, nFreq, timeStep);
        if (grid.outputCount() == 0) return kStatusOk;
        if (re == nullptr || out == nullptr) return kStatusBadLength;
        if (N > kMaxSignalLength) return kStatusNoMemory;

        // The table is built and transformed a tile of slices at a time, so
        // that it stays in the cache instead of going out to memory and back;
        // every allocation comes before the first write to out.
        const std::ptrdiff_t blockSlices = std::min<std::ptrdiff_t>(kLagSliceTile, grid.sliceCount);
        const WignerScratch scratch(grid, blockSlices);
        if (!scratch.ok()) return kStatusNoMemory;
        if (const std::int32_t status = prepareSequence(grid, re, im, N, scratch); status != kStatusOk) {
            return status;
        }
        LagSpectrum spectrum(grid.lagLength, grid.binCount);
        if (!spectrum.ok()) return kStatusNoMemory;
        for (std::ptrdiff_t j0 = 0; j0 < grid.sliceCount; j0 += blockSlices) {
            const SliceBlock block{j0, std::min<std::ptrdiff_t>(blockSlices, grid.sliceCount - j0), blockSlices};
            const SliceBlock inTable{0, block.count, blockSlices};
            double* blockOut = out + j0 * grid.binCount;
            std::int32_t status;
            if (grid.complexSequence()) {
                cxLocalAutocorrBlock(scratch.sequenceRe(), scratch.sequenceIm(), grid.length, grid.lagLength,
                                     grid.gridStep(), block, scratch.tableRe(), scratch.tableIm());
                status = spectrum.complexBlock(scratch.tableRe(), scratch.tableIm(), inTable, blockOut);
            } else {
                reLocalAutocorrBlock(scratch.sequenceRe(), grid.length, grid.lagLength, grid.gridStep(), block,
                                     scratch.tableRe());
                status = spectrum.realBlock(scratch.tableRe(), inTable, blockOut);
            }
            if (status != kStatusOk) return status;
        }
        return kStatusOk;
    });
}
