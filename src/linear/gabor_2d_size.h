// Size of the intermediate that both two-dimensional routines keep: one
// complex value per image column and first-dimension index.
#pragma once

#include <cstddef>
#include <cstdint>

namespace varnel::gabor {

// Doubles for nCols * depth complex values, or SIZE_MAX (which no
// allocation satisfies) when the count does not fit a size_t.
inline std::size_t intermediateDoubles(std::int32_t nCols, std::int64_t depth) noexcept {
    const auto columns = static_cast<std::size_t>(nCols);
    const auto rows = static_cast<std::size_t>(depth);
    if (rows > SIZE_MAX / 2 / columns) return SIZE_MAX;
    return 2 * columns * rows;
}

}  // namespace varnel::gabor
