// Sizes the exports derive from their 32-bit arguments: frame counts times
// bin counts, several dimensions multiplied together, counts times strides.
// They are formed without wrapping around and measured against what one
// array can span, so that a size beyond the address space is refused
// before anything is allocated, read or written.
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

// Elements from the first to the last of count elements |stride| apart:
// (count - 1)*|stride| + 1, none for count 0, SIZE_MAX when it does not fit.
inline std::size_t stridedCount(std::uint64_t count, std::int64_t stride) noexcept {
    if (count == 0) return 0;
    const std::uint64_t step = stride < 0 ? 0 - static_cast<std::uint64_t>(stride) : static_cast<std::uint64_t>(stride);
    const std::size_t span = elementCount({count - 1, step});
    return span == SIZE_MAX ? SIZE_MAX : span + 1;
}

// Whether count elements of T span at most PTRDIFF_MAX bytes: the most one
// array can hold with every index and pointer difference into it defined.
template <class T = double>
constexpr bool fitsOneArray(std::size_t count) noexcept {
    return count <= static_cast<std::size_t>(PTRDIFF_MAX) / sizeof(T);
}

// Whether rows*cols elements of T (both counts non-negative), element i at
// i*stride, fit one array.
template <class T = double>
inline bool tableFits(std::int64_t rows, std::int64_t cols, std::int64_t stride = 1) noexcept {
    const std::size_t count = elementCount({static_cast<std::uint64_t>(rows), static_cast<std::uint64_t>(cols)});
    return fitsOneArray<T>(stridedCount(count, stride));
}

}  // namespace varnel
