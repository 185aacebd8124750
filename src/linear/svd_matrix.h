// Mechanical matrix helpers of the linear solver.
#pragma once

#include <cstddef>
#include <cstdint>

namespace varnel {

inline void copyDoubles(const double* src, double* dst, std::ptrdiff_t count) noexcept {
    for (std::ptrdiff_t i = 0; i < count; ++i) dst[i] = src[i];
}

// dst (cols x rows) = src (rows x cols) transposed; both row-major.
inline void transposeInto(const double* src, std::int32_t rows, std::int32_t cols, double* dst) noexcept {
    for (std::ptrdiff_t i = 0; i < rows; ++i)
        for (std::ptrdiff_t j = 0; j < cols; ++j) dst[j * rows + i] = src[i * cols + j];
}

}  // namespace varnel
