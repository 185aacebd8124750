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
    reflectorWeights_ = ScratchBuffer<double>(shortSide);
    if (!reflectorWeights_.ok()) return;
    singularValues_ = ScratchBuffer<double>(shortSide);
    if (!singularValues_.ok()) return;
    left_ = ScratchBuffer<double>(shortSide * shortSide);
    if (!left_.ok()) return;
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
    // T^+ = V W^+ U^T. For a tall A the column asked for is that column of
    // T^+: V W^+ times row `column` of U; for a wide one it is that row of
    // T^+: U W^+ times row `column` of V. Singular values not above the
    // tolerance contribute nothing.
    const auto asked = static_cast<std::int32_t>(column);
    const SvdFactors f{workspace.factor_.data(),
                       workspace.reflectorWeights_.data(),
                       workspace.singularValues_.data(),
                       workspace.left_.data(),
                       workspace.right_.data(),
                       static_cast<std::int32_t>(rows),
                       static_cast<std::int32_t>(cols),
                       wide ? -1 : asked,
                       wide ? asked : -1};
    if (wide) {
        std::copy(a, a + rows * cols, f.a);
    } else {
        for (std::ptrdiff_t i = 0; i < m; ++i)
            for (std::ptrdiff_t j = 0; j < n; ++j) f.a[j * rows + i] = a[i * n + j];
    }
    if (!svdDecompose(f, workspace.superdiagonal_.data(), workspace.rowScratch_.data())) return false;

    // The decomposition's scratch is free again: it holds W^+ times the row.
    double* y = workspace.rowScratch_.data();
    for (std::ptrdiff_t k = 0; k < cols; ++k) y[k] = f.w[k] > tolerance ? (wide ? f.right : f.left)[k] / f.w[k] : 0.0;
    if (wide) {
        applyLeftFactor(f, y, x);
    } else {
        std::fill(x, x + cols, 0.0);
        for (std::ptrdiff_t k = 0; k < cols; ++k)
            for (std::ptrdiff_t r = 0; r < cols; ++r) x[r] += f.right[k * cols + r] * y[k];
    }
    return true;
}

}  // namespace varnel
