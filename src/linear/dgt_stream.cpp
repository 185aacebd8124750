// Block-wise real Gabor transform. The caller keeps the samples that the
// next block's frames still need; each call transforms the frames whose
// windows lie wholly inside history + block, so a stream cut into blocks
// gives the frames of one call over the whole stream, in order.
#include <algorithm>
#include <climits>
#include <cstdint>

#include "fft/plan_hold.h"
#include "frame/array_check.h"
#include "frame/export_guard.h"
#include "frame/scratch.h"
#include "linear/dgt_lattice.h"
#include "linear/stft_frames.h"
#include "linear/stft_grid.h"
#include "varnel.h"

namespace {

// Frames whose windows fit in `total` samples, starting at 0, dM, 2dM, ...
std::int64_t framesThatFit(std::int64_t total, const varnel::gabor::Lattice& lattice) {
    return total < lattice.length ? 0 : (total - lattice.length) / lattice.step + 1;
}

}  // namespace

extern "C" VARNEL_API int32_t ReDGTWithIC(const double* x, int32_t n, double* history, int32_t* historyLength,
                                          const WindowSpec* spec, double* out) {
    using namespace varnel::gabor;
    return varnel::guardedExport([&]() -> std::int32_t {
        if (n < 1 || historyLength == nullptr || *historyLength < 0) return kStatusBadLength;
        Lattice lattice;
        if (const std::int32_t status = checkLattice(spec, true, lattice); status != kStatusOk) return status;
        const std::int64_t kept = *historyLength;
        const std::int64_t total = kept + n;
        const std::int64_t frames = framesThatFit(total, lattice);
        // The frames must stay within what one STFT call could make: it
        // needs a sample more than they span.
        if (frames > 0 && (frames - 1) * lattice.step + lattice.length + 1 > INT32_MAX) return kStatusBadLength;
        if (const std::int32_t status = varnel::ArrayCheck()
                                            .reads(x, n)
                                            .reads(lattice.window, lattice.length)
                                            .writes(history, std::max<std::int64_t>(kept, lattice.length - 1))
                                            .writes(historyLength, 1)
                                            .writes(out, frames * lattice.bins)
                                            .status();
            status != kStatusOk) {
            return status;
        }

        // The combined block, then the frame buffer and the transforms'
        // scratch when there are frames.
        const std::size_t frameBuffers =
            frames > 0 ? static_cast<std::size_t>(lattice.bins) + varnel::fft::fftScratchSize(lattice.bins) : 0;
        const varnel::ScratchBuffer<double> block(static_cast<std::size_t>(total) + frameBuffers);
        if (!block.ok()) return kStatusNoMemory;
        std::copy(history, history + kept, block.data());
        std::copy(x, x + n, block.data() + kept);

        if (frames > 0) {
            const varnel::fft::PlanHold plan(lattice.bins);
            if (!plan.ok()) return kStatusNoMemory;
            // Window sample g[0] on sample k*dM, phases referred to the block's start.
            const varnel::stft::Grid grid{lattice.window, lattice.length, lattice.step, lattice.bins, frames};
            if (const std::int32_t status =
                    varnel::stft::realFrames(grid, block.data(), 0, out,
                                             {plan.get(), block.data() + total, block.data() + total + lattice.bins});
                status != kStatusOk) {
                return status;  // history untouched: the block can be offered again
            }
        }
        // Keep everything from the first frame not yet transformed: fewer
        // than L samples, since that frame did not fit.
        const std::int64_t nextKept = total - frames * lattice.step;
        std::copy(block.data() + (total - nextKept), block.data() + total, history);
        *historyLength = static_cast<std::int32_t>(nextKept);
        return kStatusOk;
    });
}
