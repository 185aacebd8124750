// Factorisation of an FFT length into the radices its stages use.
#pragma once

#include <cstdint>

#include "fft/plan.h"

namespace varnel::fft {

struct Factorization {
    std::int32_t factors[kMaxFactors] = {};
    std::int32_t kinds[kMaxFactors] = {};
    std::int32_t count = 0;
};

// Radices with generated kernels, in the order they are tried: 10 first,
// then the large prime kernels before 32, and 32 before its divisors, so
// that the stages are as few and as large as the kernels allow.
inline constexpr std::int32_t kRadixPreference[] = {10, 43, 41, 37, 32, 31, 29, 19, 18, 17, 16,
                                                    14, 13, 11, 9,  8,  7,  5,  4,  3,  2,  -1};

// Factors in ascending order with their stage kinds; count 0 for n <= 1.
Factorization factorize(std::int32_t n) noexcept;

}  // namespace varnel::fft
