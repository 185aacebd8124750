// Real discrete Gabor transform: the STFT of the periodically extended
// signal, one Hc spectrum of N bins per time step.
#include <cstdint>

#include "fft/plan_hold.h"
#include "frame/array_check.h"
#include "frame/export_guard.h"
#include "linear/dgt_lattice.h"
#include "linear/dgt_periodic_signal.h"
#include "varnel.h"

extern "C" VARNEL_API int32_t ReDGT(const double* x, int32_t n, const WindowSpec* spec, double* out) {
    using namespace varnel::gabor;
    return varnel::guardedExport([&]() -> std::int32_t {
        Lattice lattice;
        PeriodicSignal signal;
        if (const std::int32_t status = checkTransform(n, spec, lattice, signal); status != kStatusOk) return status;
        if (const std::int32_t status = varnel::ArrayCheck()
                                            .reads(x, n)
                                            .reads(lattice.window, lattice.length)
                                            .writes(out, signal.frames * lattice.bins)
                                            .status();
            status != kStatusOk) {
            return status;
        }
        const varnel::fft::Workspace<2> work(realTransformScratch(lattice, signal),
                                             {lattice.bins, signal.correlationLength});
        if (!work.ok()) return kStatusNoMemory;
        return realTransform(x, lattice, signal, out, transformPlans(work), work.data());
    });
}
