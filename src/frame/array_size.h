// Sizes the library derives from its 32-bit arguments, formed without
// wrapping around, so that a size beyond the address space is refused
// instead of turning into a small allocation or index.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>

namespace varnel {

// Product of element counts, or SIZE_MAX (which no allocation satisfies
// and no array fits) when it does not fit a size_t.
inline std::size_t elementCount(std::initializer_list<std::uint64_t> factors) noexcept {
    std::uint64_t product = 1;
    for (const std::uint64_t f : factors) {
        if (__builtin_mul_overflow(product, f, &product) || product > SIZE_MAX) return SIZE_MAX;
    }
    return static_cast<std::size_t>(product);
}

// Sum of element counts, or SIZE_MAX when it does not fit a size_t.
inline std::size_t elementSum(std::initializer_list<std::size_t> terms) noexcept {
    std::size_t sum = 0;
    for (const std::size_t t : terms) {
        if (__builtin_add_overflow(sum, t, &sum)) return SIZE_MAX;
    }
    return sum;
}

}  // namespace varnel
