#include "solver/pseudo_inverse.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "solver/svd.h"

namespace varnel {

PseudoInverseWorkspace::PseudoInverseWorkspace(std::int32_t m, std::int32_t n) noexcept {
    if (m < 1 || n < 1) return;
    const auto longSide = static_cast<std::size_t>(std::max(m, n));
    const auto shortSide = static_cast<std::size_t>(std::min(m, n));
    factor_ = ScratchBuffer<double>(longSide * shortSide);
    if (!factor_.ok()) return;
    singularValues_ = ScratchBuffer<double>(shortSide);
    if (!singularValues_.ok()) return;
    right_ = ScratchBuffer<double>(shortSide * shortSide);
    if (!right_.ok()) return;
    superdiagonal_ = ScratchBuffer<double>(shortSide);
    if (!superdiagonal_.ok()) return;
    rowScratch_ = ScratchBuffer<double>(longSide + shortSide);
    ok_ = rowScratch_.ok();
}

bool pseudoInverseColumn(const double* a, std::int32_t m, std::int32_t n, double tolerance, std::int32_t column,
                         double* x, PseudoInverseWorkspace& workspace) noexcept {
    if (tolerance < 0.0) tolerance = std::ldexp(1.0, -52) * std::min(m, n);

    // The decomposition wants at least as many rows as columns, held
    // column by column: a wide or square A is decomposed as T = A^T, whose
    // columns are A's rows, and a tall one as T = A, transposed into place.
    const bool wide = m <= n;
    const std::ptrdiff_t rows = wide ? n : m;
    const std::ptrdiff_t cols = wide ? m : n;
    double* u = workspace.factor_.data();
    double* w = workspace.singularValues_.data();
    double* v = workspace.right_.data();
    if (wide) {
        std::copy(a, a + rows * cols, u);
    } else {
        for (std::ptrdiff_t i = 0; i < m; ++i)
            for (std::ptrdiff_t j = 0; j < n; ++j) u[j * rows + i] = a[i * n + j];
    }
    if (!svdDecompose(u, static_cast<std::int32_t>(rows), static_cast<std::int32_t>(cols), w, v,
                      workspace.superdiagonal_.data(), workspace.rowScratch_.data()))
        return false;

    // T^+ = V W^+ U^T. For a tall A the column asked for is that column of
    // T^+: the sum over k of V's column k over w_k times U[column][k]; for
    // a wide one it is that row of T^+: the sum of U's column k times
    // V[column][k] over w_k. Singular values not above the tolerance
    // contribute nothing.
    const std::ptrdiff_t length = wide ? rows : cols;
    std::fill(x, x + length, 0.0);
    for (std::ptrdiff_t k = 0; k < cols; ++k) {
        const bool kept = w[k] > tolerance;
        const double inverse = kept ? 1.0 / w[k] : 0.0;
        const double* uk = u + k * rows;
        const double* vk = v + k * cols;
        if (wide) {
            const double scaled = kept ? vk[column] * inverse : 0.0;
            for (std::ptrdiff_t r = 0; r < length; ++r) x[r] += scaled * uk[r];
        } else {
            const double weight = uk[column];
            for (std::ptrdiff_t r = 0; r < length; ++r) x[r] += (kept ? vk[r] * inverse : 0.0) * weight;
        }
    }
    return true;
}

}  // namespace varnel
