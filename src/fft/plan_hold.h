// One FFT plan held for a whole call or stage. A routine that runs many
// transforms of one length takes the plan once, which keeps it built and
// cached for all of them, and the destructor gives it back on every path,
// so the plan cache is empty again between calls.
#pragma once

#include <cstdint>

#include "fft/plan.h"

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

}  // namespace varnel::fft
