// Block-wise real Gabor expansion: instead of wrapping around, the part of
// a block's frames that reaches past its end is handed to the caller and
// added to the start of the next block.
#include <algorithm>
#include <cstdint>

#include "fft/plan_hold.h"
#include "frame/array_check.h"
#include "frame/export_guard.h"
#include "linear/dge_synthesis.h"
#include "linear/dgt_lattice.h"
#include "varnel.h"

extern "C" VARNEL_API int32_t ReDGEWithIC(const double* coef, int32_t F, int32_t N, const WindowSpec* spec, double* out,
                                          double* state, int32_t* stateLength) {
    using namespace varnel::gabor;
    return varnel::guardedExport([&]() -> std::int32_t {
        if (F < 1 || N < 1) return kStatusBadLength;
        Lattice lattice;
        if (const std::int32_t status = checkLatticeWithBins(spec, N, true, lattice); status != kStatusOk) {
            return status;
        }
        // The carried overlap is never longer than L - dM; a count outside
        // that range did not come from a previous call.
        const std::int32_t overlap = lattice.length - lattice.step;
        if (stateLength == nullptr || *stateLength < 0 || *stateLength > overlap) return kStatusBadLength;
        if (const std::int32_t status = varnel::ArrayCheck()
                                            .reads(coef, std::int64_t{F} * N)
                                            .reads(lattice.window, lattice.length)
                                            .writes(out, std::int64_t{F} * lattice.step)
                                            .writes(state, overlap)
                                            .writes(stateLength, 1)
                                            .status();
            status != kStatusOk) {
            return status;
        }

        const varnel::fft::Workspace<> work(synthesisScratch(lattice, F, 1), {lattice.bins});
        if (!work.ok()) return kStatusNoMemory;
        Synthesis synthesis(lattice, F, 1, work.plan(), work.data(), work.fftScratch());
        if (const std::int32_t status = synthesis.addRealFrames(coef); status != kStatusOk) return status;

        double* a = synthesis.accumulator();
        const std::int64_t span = synthesis.span();
        for (std::int32_t i = 0; i < *stateLength; ++i) a[i] += state[i];
        std::copy(a, a + span, out);
        // The last frame ends at P - dM + L - 1: nothing lies beyond P + L - dM.
        std::copy(a + span, a + span + overlap, state);
        *stateLength = overlap;
        return kStatusOk;
    });
}
