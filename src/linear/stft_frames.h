// What every STFT export does per call: hold its frame buffers and the
// plan of length M for all frames, and walk the frames with the rotation
// that keeps their phases on the absolute time axis.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fft/plan.h"
#include "frame/scratch.h"
#include "linear/stft_grid.h"
#include "linear/stft_loops.h"
#include "varnel.h"

namespace varnel::stft {

// bufferCount buffers of M doubles in one block, then the plan (scratch
// first, so that a call without memory never touches the plan cache). ok()
// is false when either is missing; the caller then reports kStatusNoMemory,
// and the destructor gives back whatever was obtained. The frame loops are
// chosen once here for all frames of the call.
class FrameWorkspace {
public:
    FrameWorkspace(std::int32_t binCount, int bufferCount) noexcept
        : binCount_(binCount), scratch_(static_cast<std::size_t>(binCount) * static_cast<std::size_t>(bufferCount)) {
        if (scratch_.ok()) plan_ = fft::fftPlanCreate(binCount);
    }
    ~FrameWorkspace() { fft::fftPlanRelease(plan_); }

    FrameWorkspace(const FrameWorkspace&) = delete;
    FrameWorkspace& operator=(const FrameWorkspace&) = delete;

    bool ok() const noexcept { return plan_ != nullptr; }
    const fft::FftPlan* plan() const noexcept { return plan_; }
    const FrameLoops& loops() const noexcept { return loops_; }
    double* buffer(int index) const noexcept {
        return scratch_.data() + static_cast<std::ptrdiff_t>(index) * binCount_;
    }

private:
    std::int32_t binCount_;
    ScratchBuffer<double> scratch_;
    fft::FftPlan* plan_ = nullptr;
    const FrameLoops& loops_ = frameLoops();
};

// Calls frame(i, frameStart, shift) for i = 0..F-1 with frameStart = i*D
// and shift = (reduced + i*D) mod M, stopping at the first status that is
// not kStatusOk and returning it.
template <class Frame>
std::int32_t forEachFrame(const Grid& grid, std::int32_t reduced, Frame&& frame) {
    const std::int32_t m = grid.binCount;
    const std::int32_t advance = grid.timeStep % m;
    std::int32_t shift = reduced;
    std::int64_t frameStart = 0;
    for (std::int64_t i = 0; i < grid.frameCount; ++i, frameStart += grid.timeStep) {
        const std::int32_t status = frame(i, frameStart, shift);
        if (status != kStatusOk) return status;
        // Both terms are below M <= 2^30, so the sum cannot overflow.
        shift += advance;
        if (shift >= m) shift -= m;
    }
    return kStatusOk;
}

}  // namespace varnel::stft
