// Block-wise real Gabor transform. The caller keeps the samples that the
// next block's frames still need; each call transforms the frames whose
// windows lie wholly inside history + block, so a stream cut into blocks
// gives the frames of one call over the whole stream, in order.
#include <algorithm>
#include <climits>
#include <cstdint>

#include "frame/array_check.h"
#include "frame/export_guard.h"
#include "frame/scratch.h"
#include "linear/dgt_lattice.h"
#include "varnel.h"

namespace {

// Frames whose windows fit in `total` samples, starting at 0, dM, 2dM, ...
std::int64_t framesThatFit(std::int64_t total, const varnel::gabor::Lattice& lattice) {
    return total < lattice.length ? 0 : (total - lattice.length) / lattice.step + 1;
}

// Runs the real STFT over exactly `frames` (>= 1) frames of block, which
// holds at least (frames - 1)*dM + L + 1 samples. The STFT wants more
// samples than one window, so a single frame gets one spare sample and a
// step long enough that no second frame follows; the step does not enter
// the first frame's values.
std::int32_t transformFrames(const double* block, std::int64_t frames, const WindowSpec* spec,
                             const varnel::gabor::Lattice& lattice, double* out) {
    const std::int64_t windowSpan = (frames - 1) * lattice.step + lattice.length;
    if (frames > 1) return ReSTFT(block, static_cast<std::int32_t>(windowSpan), spec, out);
    WindowSpec single = *spec;
    single.timeStep = 2;
    return ReSTFT(block, static_cast<std::int32_t>(windowSpan + 1), &single, out);
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
        // The transform's length argument is 32-bit; one spare sample on top.
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

        varnel::ScratchBuffer<double> block(static_cast<std::size_t>(total) + 1);
        if (!block.ok()) return kStatusNoMemory;
        std::copy(history, history + kept, block.data());
        std::copy(x, x + n, block.data() + kept);
        block[static_cast<std::size_t>(total)] = 0.0;

        if (frames > 0) {
            if (const std::int32_t status = transformFrames(block.data(), frames, spec, lattice, out);
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
