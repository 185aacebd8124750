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

        // Frames that begin in the history are made from a copy of what
        // they span; the others are read from the block itself, so a long
        // block is not copied.
        const std::int64_t fromHistory = std::min(frames, (kept + lattice.step - 1) / lattice.step);
        const std::int64_t joined = fromHistory > 0 ? (fromHistory - 1) * lattice.step + lattice.length : 0;
        if (frames > 0) {
            const std::size_t frameBuffers =
                static_cast<std::size_t>(lattice.bins) + varnel::fft::fftScratchSize(lattice.bins);
            const varnel::ScratchBuffer<double> scratch(static_cast<std::size_t>(joined) + frameBuffers);
            if (!scratch.ok()) return kStatusNoMemory;
            const varnel::fft::PlanHold plan(lattice.bins);
            if (!plan.ok()) return kStatusNoMemory;
            // The frame buffers first, where the scratch is aligned.
            double* head = scratch.data() + frameBuffers;
            std::copy(history, history + std::min(kept, joined), head);
            if (joined > kept) std::copy(x, x + (joined - kept), head + kept);
            const varnel::stft::FrameWork work{plan.get(), scratch.data(), scratch.data() + lattice.bins};
            // Window sample g[0] on sample k*dM, phases referred to the
            // combined block's start.
            const auto run = [&](const double* from, std::int64_t first, std::int64_t count) {
                return varnel::stft::realFrames(lattice.frames(count), from, lattice.phaseOf(first),
                                                out + first * lattice.bins, work);
            };
            std::int32_t status = fromHistory > 0 ? run(head, 0, fromHistory) : kStatusOk;
            if (status == kStatusOk && frames > fromHistory)
                status = run(x + (fromHistory * lattice.step - kept), fromHistory, frames - fromHistory);
            if (status != kStatusOk) return status;  // history untouched: the block can be offered again
        }
        // Keep everything from the first frame not yet transformed: fewer
        // than L samples, since that frame did not fit.
        const std::int64_t next = frames * lattice.step;
        const std::int64_t nextKept = total - next;
        if (next < kept) {
            std::copy(history + next, history + kept, history);
            std::copy(x, x + n, history + (kept - next));
        } else {
            std::copy(x + (next - kept), x + n, history);
        }
        *historyLength = static_cast<std::int32_t>(nextKept);
        return kStatusOk;
    });
}
