// Real discrete Gabor transform: the STFT of the periodically extended
// signal, one Hc spectrum of N bins per time step.
#include <cstdint>

#include "frame/array_check.h"
#include "frame/export_guard.h"
#include "frame/scratch.h"
#include "linear/dgt_lattice.h"
#include "linear/dgt_periodic_signal.h"
#include "varnel.h"

extern "C" VARNEL_API int32_t ReDGT(const double* x, int32_t n, const WindowSpec* spec, double* out) {
    return varnel::guardedExport([&]() -> std::int32_t {
        if (n < 1) return kStatusBadLength;
        varnel::gabor::Lattice lattice;
        if (const std::int32_t status = varnel::gabor::checkLattice(spec, false, lattice); status != kStatusOk) {
            return status;
        }
        varnel::gabor::PeriodicSignal signal;
        if (const std::int32_t status = varnel::gabor::describePeriodicSignal(n, lattice, signal);
            status != kStatusOk) {
            return status;
        }
        if (const std::int32_t status = varnel::ArrayCheck()
                                            .reads(x, n)
                                            .reads(lattice.window, lattice.length)
                                            .writes(out, signal.frames * lattice.bins)
                                            .status();
            status != kStatusOk) {
            return status;
        }
        varnel::ScratchBuffer<double> buffer(signal.slots);
        if (!buffer.ok()) return kStatusNoMemory;
        if (const std::int32_t status = varnel::gabor::extendRealSignal(x, 1, n, lattice, signal, buffer.data());
            status != kStatusOk) {
            return status;
        }
        return ReSTFT(buffer.data(), signal.stftLength, spec, out);
    });
}
