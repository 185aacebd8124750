// The working set of the stages that transform a signal zero-padded to the
// next power of two (analytic signal, half-sample interpolation): a few
// planes of that length and its FFT plan, obtained in that order, so that a
// failure leaves nothing held.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "fft/plan_hold.h"
#include "frame/next_pow2.h"
#include "frame/scratch.h"

namespace varnel::wigner {

class PaddedWorkspace {
public:
    // n >= 1 and small enough for nextPow2(n) to be an int32.
    PaddedWorkspace(std::int32_t n, std::ptrdiff_t planeCount) noexcept
        : length_(nextPow2(n)),
          scratch_(static_cast<std::size_t>(planeCount) * static_cast<std::size_t>(length_)),
          plan_(scratch_.ok() ? length_ : 0) {}

    bool ok() const noexcept { return plan_.ok(); }
    std::int32_t length() const noexcept { return length_; }
    const fft::FftPlan* plan() const noexcept { return plan_.get(); }
    double* plane(std::ptrdiff_t i) const noexcept { return scratch_.data() + i * length_; }

    // Plane i receives x[0..n-1] followed by zeros.
    double* load(std::ptrdiff_t i, const double* x, std::int32_t n) const noexcept {
        double* p = plane(i);
        std::copy(x, x + n, p);
        std::fill(p + n, p + length_, 0.0);
        return p;
    }

private:
    std::int32_t length_;
    ScratchBuffer<double> scratch_;
    fft::PlanHold plan_;
};

}  // namespace varnel::wigner
