// One FFT plan held for a whole call: the term loops of the Gabor
// spectrogram and of the mean instantaneous frequency run hundreds of
// transforms of the same lengths, and taking the plan once keeps it built
// and cached for all of them. The destructor gives it back on every path.
#pragma once

#include <cstdint>

#include "fft/plan.h"

namespace varnel::gaborsp {

class PlanHold {
public:
    explicit PlanHold(std::int32_t length) noexcept : plan_(fft::fftPlanCreate(length)) {}
    ~PlanHold() { fft::fftPlanRelease(plan_); }

    PlanHold(const PlanHold&) = delete;
    PlanHold& operator=(const PlanHold&) = delete;

    bool ok() const noexcept { return plan_ != nullptr; }
    const fft::FftPlan* get() const noexcept { return plan_; }

private:
    fft::FftPlan* plan_;
};

}  // namespace varnel::gaborsp
