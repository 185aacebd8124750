// The two-dimensional routines make one one-dimensional call per image
// row or column. Each of those takes and gives back the FFT plan of its bin
// count; holding a reference to both plans for the whole call keeps them
// in the cache, so they are built once instead of once per row or column.
#pragma once

#include <cstdint>

#include "fft/plan.h"

namespace varnel::gabor {

class PlanPairHold {
public:
    PlanPairHold(std::int32_t firstBins, std::int32_t secondBins) noexcept
        : first_(fft::fftPlanCreate(firstBins)), second_(first_ ? fft::fftPlanCreate(secondBins) : nullptr) {}
    ~PlanPairHold() {
        fft::fftPlanRelease(second_);
        fft::fftPlanRelease(first_);
    }

    PlanPairHold(const PlanPairHold&) = delete;
    PlanPairHold& operator=(const PlanPairHold&) = delete;

    bool ok() const noexcept { return second_ != nullptr; }

private:
    fft::FftPlan* first_;
    fft::FftPlan* second_;
};

}  // namespace varnel::gabor
