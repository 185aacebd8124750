#pragma once

#include <cstdint>

namespace varnel::instfreq {

// Repairs a track in place: a value is valid when 0 < x <= maxValue (so 0,
// negatives, values above maxValue and NaN are not). Each run of invalid
// values is replaced by the straight line between its valid neighbours; a
// leading run starts from 0 as if index -1 held 0, a trailing run falls to
// 0 at index T, and a track without a valid value becomes all zeros.
void ifGapFill(double* x, std::int32_t T, double maxValue) noexcept;

}  // namespace varnel::instfreq
