// Complex discrete Gabor expansion with coefficients and signal in any
// strided layout (interleaved, split, or strided pairs of arrays).
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "frame/array_check.h"
#include "frame/export_guard.h"
#include "linear/dge_synthesis.h"
#include "linear/dgt_lattice.h"
#include "linear/dgt_pairs.h"
#include "varnel.h"

extern "C" VARNEL_API int32_t CxDGEEx(const double* inRe, const double* inIm, int32_t inStride, int32_t F, int32_t N,
                                      const WindowSpec* spec, double* outRe, double* outIm, int32_t outStride,
                                      int32_t outLength) {
    using namespace varnel::gabor;
    return varnel::guardedExport([&]() -> std::int32_t {
        if (outLength < 1 || F < 1 || N < 1) return kStatusBadLength;
        Lattice lattice;
        if (const std::int32_t status = checkLatticeWithBins(spec, N, false, lattice); status != kStatusOk) {
            return status;
        }
        if (const std::int32_t status = varnel::ArrayCheck()
                                            .readsPair(inRe, inIm, std::int64_t{F} * N, inStride)
                                            .reads(lattice.window, lattice.length)
                                            .writesPair(outRe, outIm, outLength, outStride)
                                            .status();
            status != kStatusOk) {
            return status;
        }
        SynthesisWorkspace workspace(lattice, F, 2);
        if (!workspace.ok()) return kStatusNoMemory;
        if (const std::int32_t status = workspace.addComplexFrames(inRe, inIm, inStride); status != kStatusOk) {
            return status;
        }

        double* a = workspace.accumulator();
        const std::int64_t span = workspace.span();
        wrapAroundPeriod(a, span, lattice, 2);
        const double* period = a + 2 * static_cast<std::ptrdiff_t>(lattice.half);
        const std::ptrdiff_t stride = outStride;
        const std::int64_t written = std::min<std::int64_t>(outLength, span);
        for (std::ptrdiff_t t = 0; t < written; ++t) {
            outRe[t * stride] = period[2 * t];
            outIm[t * stride] = period[2 * t + 1];
        }
        for (std::ptrdiff_t t = written; t < outLength; ++t) {
            outRe[t * stride] = 0.0;
            outIm[t * stride] = 0.0;
        }
        return kStatusOk;
    });
}

extern "C" VARNEL_API int32_t CxDGE(const double* coef, int32_t F, int32_t N, const WindowSpec* spec, double* out,
                                    int32_t outLength) {
    return CxDGEEx(coef, varnel::gabor::imaginaryParts(coef), 2, F, N, spec, out, varnel::gabor::imaginaryParts(out), 2,
                   outLength);
}
