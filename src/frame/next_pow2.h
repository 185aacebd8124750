#pragma once

#include <cstdint>

namespace varnel {

// Smallest power of two not below n; 0 for n < 1 and for n above 2^30,
// whose next power of two does not fit an int32.
constexpr std::int32_t nextPow2(std::int32_t n) noexcept {
    if (n < 1 || n > (std::int32_t{1} << 30)) return 0;
    std::int32_t p = 1;
    while (p < n) p *= 2;
    return p;
}

}  // namespace varnel
