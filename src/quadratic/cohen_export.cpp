// Cohen-class distribution with the caller's kernel table: the
// Wigner-Ville computation with the lag-time table smoothed along time.
#include <cstdint>

#include "frame/export_guard.h"
#include "frame/numbers.h"
#include "quadratic/cohen_stages.h"
#include "quadratic/wigner_grid.h"
#include "varnel.h"

namespace varnel::wigner {
namespace {

std::int32_t smoothedTable(const WignerGrid& grid, const KernelRows& kernel, const WignerScratch& scratch) {
    if (grid.complexSequence()) {
        return cxKernelSmooth(scratch.sequenceRe(), scratch.sequenceIm(), grid.length, grid.lagLength, grid.up,
                              grid.timeStep, kernel, scratch.tableRe(), scratch.tableIm());
    }
    return reKernelSmooth(scratch.sequenceRe(), grid.length, grid.lagLength, grid.up, grid.timeStep, kernel,
                          scratch.tableRe());
}

}  // namespace

std::int32_t cohenDistribution(const double* re, const double* im, std::int32_t n, const KernelRows& kernel,
                               std::int32_t nFreq, std::int32_t timeStep, std::int32_t analytic,
                               double* out) noexcept {
    const WignerGrid grid = wignerGrid(im, analytic, n, nFreq, timeStep);
    const WignerScratch scratch(grid, grid.sliceCount);
    if (!scratch.ok()) return kStatusNoMemory;
    if (const std::int32_t status = prepareSequence(grid, re, im, n, scratch); status != kStatusOk) return status;
    // The smoothing checks that the kernel width is the smoothing period of
    // this time step: the last test, after the signal preparation.
    if (const std::int32_t status = smoothedTable(grid, kernel, scratch); status != kStatusOk) return status;
    return lagTransform(grid, scratch, out);
}

}  // namespace varnel::wigner

extern "C" VARNEL_API int32_t Cohen(const double* re, const double* im, int32_t N, const double* kernel,
                                    int32_t nFreq, int32_t kernelWidth, int32_t timeStep, int32_t analytic,
                                    double* out) {
    using namespace varnel::wigner;
    return varnel::guardedExport([&]() -> std::int32_t {
        if (N < 1) return kStatusBadLength;
        if (!varnel::isPowerOfTwo(nFreq)) return kStatusBadKernelSize;
        if (!varnel::isPowerOfTwo(kernelWidth) || kernelWidth < N) return kStatusBadKernelSize;
        if (!varnel::isPowerOfTwo(timeStep)) return kStatusBadDecimation;
        // kernelWidth >= N keeps N within the FFT lengths (2^30), so the
        // sequence lengths below cannot overflow.
        const WignerGrid grid = wignerGrid(im, analytic, N, nFreq, timeStep);
        // The signal is prepared even when there is nothing to write.
        varnel::ArrayCheck arrays = signalArrays(grid, re, im, N, out);
        if (const std::int32_t status = arrays.status(); status != kStatusOk) return status;
        if (kernel == nullptr) return kStatusBadKernelSize;
        const std::int64_t kernelValues = std::int64_t{grid.lagLength} * kernelWidth;
        if (const std::int32_t status = arrays.reads(kernel, kernelValues).status(); status != kStatusOk) return status;
        return cohenDistribution(re, im, N, KernelRows::table(kernel, nFreq, kernelWidth), nFreq, timeStep,
                                 analytic, out);
    });
}
