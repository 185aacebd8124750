// The sampled Gaussian window, shared by the Gaussian export and the
// adaptive transform's analysis windows.
#pragma once

#include <cstddef>

namespace varnel {

// out[i] = (pi v)^(-1/4) exp(-(centre - i)^2 / (2 v)) for i < n, of unit
// energy when densely sampled. Nothing is written for n < 1.
void gaussianWindow(std::ptrdiff_t n, double centre, double variance, double* out) noexcept;

}  // namespace varnel
