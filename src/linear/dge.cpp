// Real discrete Gabor expansion: Hc frames back to one period of a real
// signal, with the overhang of the first and last frames wrapped around.
#include <cstdint>

#include "fft/plan_hold.h"
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
        const ExpansionRoute route = expansionRoute(lattice, F, 1);
        const varnel::fft::Workspace<2> work(route.scratch, {lattice.bins, route.correlationLength});
        if (!work.ok()) return kStatusNoMemory;
        return expandReal(coef, F, lattice, out, 1, outLength, transformPlans(work), work.data());
    });
}
