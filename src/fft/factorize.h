// Factorisation of an FFT length into the radices its stages use.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>

#include "fft/generated/kernel_radices.h"
#include "fft/plan_record.h"

namespace varnel::fft {

struct Factorization {
    std::int32_t factors[kMaxFactors] = {};
    std::int32_t kinds[kMaxFactors] = {};
    std::int32_t count = 0;
};

// The kernel radices in the order they are tried: largest first, so that
// the stages are as few and as large as the kernels allow, except that 10
// comes before all of them: taking 10 first pairs every factor 5 with a 2
// while both remain (1000 = 10*10*10 instead of 8*5*5*5).
inline constexpr auto kRadixPreference = [] {
    constexpr int kCount = static_cast<int>(std::size(generated::kKernelRadices));
    std::array<std::int32_t, kCount> order{};
    int next = 0;
    order[next++] = 10;
    for (int i = kCount - 1; i >= 0; --i)
        if (generated::kKernelRadices[i] != 10) order[next++] = generated::kKernelRadices[i];
    return order;
}();
static_assert(std::count(std::begin(generated::kKernelRadices), std::end(generated::kKernelRadices), 10) == 1,
              "the preference order starts with the radix 10");

// Factors in ascending order with their stage kinds; count 0 for n <= 1.
Factorization factorize(std::int32_t n) noexcept;

}  // namespace varnel::fft
