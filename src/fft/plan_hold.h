// FFT plans held for a whole call or stage. A routine that runs many
// transforms of one length takes the plan once, which keeps it built and
// cached for all of them, and the destructor gives it back on every path,
// so the plan cache is empty again between calls.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "fft/plan.h"
#include "frame/scratch.h"

namespace varnel::fft {

class PlanHold {
public:
    // A length below 1 holds no plan, as does a plan that cannot be built;
    // ok() is false in both cases.
    explicit PlanHold(std::int32_t length) noexcept : plan_(length >= 1 ? fftPlanCreate(length) : nullptr) {}
    ~PlanHold() { fftPlanRelease(plan_); }

    PlanHold(const PlanHold&) = delete;
    PlanHold& operator=(const PlanHold&) = delete;

    bool ok() const noexcept { return plan_ != nullptr; }
    const FftPlan* get() const noexcept { return plan_; }

private:
    FftPlan* plan_;
};

// Everything a call or stage works with: a block of scratch doubles, the
// plans of the given lengths and a second block for their transforms'
// scratch. The blocks come first, so that a call without memory never
// touches the plan cache, and the plans follow in order; the first thing
// that cannot be had stops the rest, ok() is then false and the destructor
// gives back whatever was obtained. A length of 0 asks for no plan (plan(i)
// is then null), for calls whose routes need a plan only in some cases.
// Callers carve their arrays out of the first block; no transform of the
// call allocates. Two blocks rather than one keep each below the size from
// which the allocator hands out fresh memory on every call (see
// frame/scratch.cpp): ReSTFTsp with frames of 2^20 took 15.5 instead of
// 14.8 ms with its 40 MB in one block.
template <std::size_t PlanCount = 1>
class Workspace {
public:
    Workspace(std::size_t doubles, const std::array<std::int32_t, PlanCount>& lengths) noexcept
        : scratch_(doubles) {
        if (!scratch_.ok()) return;
        transformScratch_ = ScratchBuffer<double>(transformScratchOffsets(lengths, fftScratch_));
        if (!transformScratch_.ok()) return;
        for (std::size_t i = 0; i < PlanCount; ++i) {
            if (lengths[i] != 0 && !plans_[i].emplace(lengths[i]).ok()) return;
        }
        ok_ = true;
    }

    bool ok() const noexcept { return ok_; }
    double* data() const noexcept { return scratch_.data(); }
    // Part i of a block cut into parts of `size` doubles, planeSpacing(size)
    // apart, and the doubles that `count` such parts take.
    double* part(std::ptrdiff_t i, std::ptrdiff_t size) const noexcept {
        return scratch_.data() + i * planeSpacing(size);
    }
    static std::size_t parts(std::ptrdiff_t count, std::ptrdiff_t size) noexcept {
        return static_cast<std::size_t>(count * planeSpacing(size));
    }
    const FftPlan* plan(std::size_t i = 0) const noexcept { return plans_[i] ? plans_[i]->get() : nullptr; }
    // The scratch for transforms with plan(i).
    double* fftScratch(std::size_t i = 0) const noexcept { return transformScratch_.data() + fftScratch_[i]; }

private:
    // The transform block's size; offsets[i] is where plan i's scratch
    // starts, on a cache line as the block does (see frame/scratch.h).
    static std::size_t transformScratchOffsets(const std::array<std::int32_t, PlanCount>& lengths,
                                               std::size_t (&offsets)[PlanCount]) noexcept {
        std::size_t doubles = 0;
        for (std::size_t i = 0; i < PlanCount; ++i) {
            offsets[i] = doubles = static_cast<std::size_t>(lineRounded(static_cast<std::ptrdiff_t>(doubles)));
            doubles += lengths[i] >= 1 ? fftScratchSize(lengths[i]) : 0;
        }
        return doubles;
    }

    std::size_t fftScratch_[PlanCount] = {};
    ScratchBuffer<double> scratch_;
    ScratchBuffer<double> transformScratch_;
    std::optional<PlanHold> plans_[PlanCount];
    bool ok_ = false;
};

}  // namespace varnel::fft
