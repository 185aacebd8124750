// Transforms with strides in std::ptrdiff_t, for callers inside the engine
// whose strides are products of a caller's stride and a sub-length.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fft/plan_record.h"

namespace varnel::fft {

std::int32_t cxFftStrided(const FftPlan* plan, const double* inRe, const double* inIm, double* outRe,
                          double* outIm, std::ptrdiff_t is, std::ptrdiff_t os) noexcept;

std::int32_t reFftStrided(const FftPlan* plan, const double* in, double* out, std::ptrdiff_t is,
                          std::ptrdiff_t os) noexcept;

}  // namespace varnel::fft
