// Real discrete Gabor expansion: Hc frames back to one period of a real
// signal, with the overhang of the first and last frames wrapped around.
#include <algorithm>
#include <cstdint>

#include "frame/array_check.h"
#include "frame/export_guard.h"
#include "linear/dge_synthesis.h"
#include "linear/dgt_lattice.h"
#include "varnel.h"

extern "C" VARNEL_API int32_t ReDGE(const double* coef, int32_t F, int32_t N, const WindowSpec* spec, double* out,
                                    int32_t outLength) {
    using namespace varnel::gabor;
    return varnel::guardedExport([&]() -> std::int32_t {
        if (outLength < 1 || F < 1 || N < 1) return kStatusBadLength;
        Lattice lattice;
        if (const std::int32_t status = checkLatticeWithBins(spec, N, false, lattice); status != kStatusOk) {
            return status;
        }
        if (const std::int32_t status = varnel::ArrayCheck()
                                            .reads(coef, std::int64_t{F} * N)
                                            .reads(lattice.window, lattice.length)
                                            .writes(out, outLength)
                                            .status();
            status != kStatusOk) {
            return status;
        }
        SynthesisWorkspace workspace(lattice, F, 1);
        if (!workspace.ok()) return kStatusNoMemory;
        if (const std::int32_t status = workspace.addRealFrames(coef); status != kStatusOk) return status;

        double* a = workspace.accumulator();
        const std::int64_t span = workspace.span();
        wrapAroundPeriod(a, span, lattice, 1);
        const std::int64_t written = std::min<std::int64_t>(outLength, span);
        std::copy(a + lattice.half, a + lattice.half + written, out);
        std::fill(out + written, out + outLength, 0.0);
        return kStatusOk;
    });
}
