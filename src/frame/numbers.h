// Constants and tests on numbers that every subsystem uses.
#pragma once

#include <cstdint>
#include <numbers>

namespace varnel {

inline constexpr double kPi = std::numbers::pi;
inline constexpr double kTwoPi = 2.0 * std::numbers::pi;

// True for 1, 2, 4, ... 2^30; false for 0 and for negative values.
constexpr bool isPowerOfTwo(std::int32_t n) noexcept { return n >= 1 && (n & (n - 1)) == 0; }

}  // namespace varnel
