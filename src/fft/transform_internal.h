// Transforms with strides in std::ptrdiff_t, for callers inside the engine
// whose strides are products of a caller's stride and a sub-length.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fft/plan_record.h"
#include "frame/scratch.h"
#include "varnel.h"

namespace varnel::fft {

// scratch: fftScratchSize(length) doubles, or null for a length without
// prime stages (a long one then reads its input in place) when the output
// is at unit stride or the plan has no factored twiddles.
std::int32_t cxFftStrided(const FftPlan* plan, const double* inRe, const double* inIm, double* outRe,
                          double* outIm, std::ptrdiff_t is, std::ptrdiff_t os, double* scratch) noexcept;

std::int32_t reFftStrided(const FftPlan* plan, const double* in, double* out, std::ptrdiff_t is,
                          std::ptrdiff_t os, double* scratch) noexcept;

// Whether the sub-transforms of stage s run their leaf passes together, as
// one pass over their interleaved inputs (see cxSiblingLeafVec): s is the
// third-last stage, its input and output are contiguous, the leaf
// transforms of all its sub-transforms fill whole vectors (or a pair of
// lanes at the end) and the leaf has the kernel.
template <class Kernel>
bool runsSiblingLeaves(const FftPlan& plan, int s, std::ptrdiff_t is, std::ptrdiff_t os, Kernel FftStage::*kernel) {
    return s + 3 == plan.factorCount && plan.stages[s + 2]->*kernel && is == 1 && os == 1 &&
           plan.factors[s] * plan.factors[s + 1] % kSiblingLeafMultiple == 0;
}

// Runs run(scratch) with scratch of the plan's size taken for this one
// transform: the forms of the transforms without the caller's scratch.
// Without memory only lengths whose transforms never need it run (with
// null scratch): those without prime stages, writing at unit stride or
// with no factored twiddles.
template <class Run>
std::int32_t withOwnScratch(const FftPlan& plan, std::ptrdiff_t outStride, Run run) noexcept {
    if (plan.scratchDoubles == 0) return run(nullptr);
    ScratchBuffer<double> scratch(plan.scratchDoubles);
    if (!scratch.ok()) {
        if (plan.factoredStages && outStride != 1) return kStatusNoMemory;
        for (std::int32_t s = 0; s < plan.factorCount; ++s)
            if (plan.kinds[s] != KernelStage) return kStatusNoMemory;
    }
    return run(scratch.data());
}

}  // namespace varnel::fft
