// One FFT plan held for the length of a stage, so that every path out of the
// stage gives it back and the plan cache is empty again between calls.
#pragma once

#include <cstdint>

#include "fft/plan.h"

namespace varnel::wigner {

class PlanHold {
public:
    // A length below 1 holds no plan, as does a plan that cannot be built;
    // ok() is false in both cases.
    explicit PlanHold(std::int32_t length) noexcept : plan_(length >= 1 ? fft::fftPlanCreate(length) : nullptr) {}
    ~PlanHold() { fft::fftPlanRelease(plan_); }

    PlanHold(const PlanHold&) = delete;
    PlanHold& operator=(const PlanHold&) = delete;

    bool ok() const noexcept { return plan_ != nullptr; }
    const fft::FftPlan* get() const noexcept { return plan_; }

private:
    fft::FftPlan* plan_;
};

}  // namespace varnel::wigner
