#include "solver/pseudo_inverse.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "solver/svd.h"

namespace varnel {

namespace {

// dst (cols x rows) = src (rows x cols) transposed; both row-major.
void transposeInto(const double* src, std::int32_t rows, std::int32_t cols, double* dst) noexcept {
    for (std::ptrdiff_t i = 0; i < rows; ++i)
        for (std::ptrdiff_t j = 0; j < cols; ++j) dst[j * rows + i] = src[i * cols + j];
}

// Columns of the factor that multiplies from the left divided by their
// singular values; columns of negligible ones cannot contribute.
void invertSingularValues(double* factor, std::ptrdiff_t rows, std::ptrdiff_t cols, const double* w,
                          double tolerance) noexcept {
    for (std::ptrdiff_t j = 0; j < cols; ++j) {
        const bool kept = w[j] > tolerance;
        const double inverse = kept ? 1.0 / w[j] : 0.0;
        for (std::ptrdiff_t i = 0; i < rows; ++i) factor[i * cols + j] = kept ? factor[i * cols + j] * inverse : 0.0;
    }
}

// p (rows x cols) = left (rows x inner) * right^T (right: cols x inner).
void multiplyByTransposed(const double* left, const double* right, std::ptrdiff_t rows, std::ptrdiff_t cols,
                          std::ptrdiff_t inner, double* p) noexcept {
    for (std::ptrdiff_t i = 0; i < rows; ++i)
        for (std::ptrdiff_t j = 0; j < cols; ++j) {
            double s = 0.0;
            for (std::ptrdiff_t k = 0; k < inner; ++k) s += left[i * inner + k] * right[j * inner + k];
            p[i * cols + j] = s;
        }
}

}  // namespace

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
    ok_ = superdiagonal_.ok();
}

bool pseudoInverse(const double* a, std::int32_t m, std::int32_t n, double tolerance, double* p,
                   PseudoInverseWorkspace& workspace) noexcept {
    if (tolerance < 0.0) tolerance = std::ldexp(1.0, -52) * std::min(m, n);

    // The decomposition wants at least as many rows as columns: a wide A
    // is decomposed as A^T = U W V^T, so that A^+ = U W^+ V^T.
    const bool wide = m < n;
    const std::int32_t rows = wide ? n : m;
    const std::int32_t cols = wide ? m : n;
    double* u = workspace.factor_.data();
    double* w = workspace.singularValues_.data();
    double* v = workspace.right_.data();
    if (wide)
        transposeInto(a, m, n, u);
    else
        std::copy(a, a + static_cast<std::ptrdiff_t>(m) * n, u);

    if (!svdDecompose(u, rows, cols, w, v, workspace.superdiagonal_.data())) return false;

    // A^+ = V W^+ U^T for a tall A, U W^+ V^T for a wide one; either way
    // the factor with n rows is scaled and multiplied by the other's transpose.
    double* left = wide ? u : v;
    const double* right = wide ? v : u;
    invertSingularValues(left, n, cols, w, tolerance);
    multiplyByTransposed(left, right, n, m, cols, p);
    return true;
}

}  // namespace varnel
