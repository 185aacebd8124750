// Tables of complex unit roots for plans.
#pragma once

#include <cstddef>
#include <cstdint>

namespace varnel::fft {

// Writes exp(-2 pi i * step * k / period) for k = first .. first+count-1 to
// re[(k-first)*stride], im[(k-first)*stride].
//
// The values come from the rotation recurrence
//   re' = re - (b*im + a*re),  im' = im - (a*im - b*re),
//   a = 2 sin^2(step*pi/period), b = -sin(2 pi step/period),
// which needs no sine or cosine per entry. Its rounding error grows with
// the number of steps, enough to break 1e-15 accuracy on stages of 2^15
// entries, so the recurrence restarts from an exactly rounded value every
// kRestartInterval entries.
void unitRootsByRecurrence(std::int64_t step, std::int64_t period, std::int64_t first,
                           std::int64_t count, double* re, double* im, std::ptrdiff_t stride) noexcept;

inline constexpr std::int64_t kRestartInterval = 16;

}  // namespace varnel::fft
