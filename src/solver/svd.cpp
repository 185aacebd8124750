// Golub–Reinsch: Householder reduction to upper bidiagonal form, explicit
// accumulation of the right transformation, then implicit-shift QR sweeps
// on the bidiagonal until every superdiagonal element is negligible. The
// sweeps' left rotations go into the small matrix B (or the one row of U
// asked for); the left reflectors stay in place and are applied to vectors
// when asked.
#include "solver/svd.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "frame/vector_paths.h"

namespace varnel {

namespace {

constexpr int kMaxSweeps = 30;

// The decomposition is written once, as always-inline bodies, and built
// twice, for the baseline target and for AVX2, by wrappers that differ
// only in their target. Neither build contracts or reorders arithmetic,
// so the two give the same bits.
#define VARNEL_SOLVER_BODY [[gnu::always_inline]] inline

// Element (i, j) of a matrix of `rows` rows held column by column (svd.h
// says why).
struct ColumnMajor {
    double* data;
    std::ptrdiff_t rows;
    double& operator()(std::ptrdiff_t i, std::ptrdiff_t j) const noexcept { return data[j * rows + i]; }
};

VARNEL_SOLVER_BODY double square(double x) noexcept { return x * x; }

// sqrt(a^2 + b^2) without overflow or destructive underflow; NaN stays NaN.
VARNEL_SOLVER_BODY double hypotenuse(double a, double b) noexcept {
    const double absA = std::fabs(a);
    const double absB = std::fabs(b);
    if (absA > absB) return absA * std::sqrt(1.0 + square(absB / absA));
    if (absB > 0.0) return absB * std::sqrt(1.0 + square(absA / absB));
    return absA + absB;
}

// |magnitude| with the sign of sign (zero counts as positive).
VARNEL_SOLVER_BODY double withSignOf(double magnitude, double sign) noexcept {
    return sign >= 0.0 ? std::fabs(magnitude) : -std::fabs(magnitude);
}

// Negligible on the bidiagonal: x vanishes next to eps, the size of the
// matrix, up to what the rounding of that sum leaves over, or x is within
// one rounding unit of eps. The second test catches a superdiagonal that
// the sweeps cannot take below one rounding unit of its neighbours: with
// two equal singular values (which a circulant block has in pairs) it can
// settle at exactly half a unit of eps, which the sum rounds up when eps
// is odd, and the block would never split. A non-finite eps (a matrix
// with non-finite elements) still splits nothing, so that such a
// decomposition fails instead of returning non-finite factors.
VARNEL_SOLVER_BODY bool isNegligible(double x, double eps) noexcept {
    return (std::fabs(x) + eps) - eps < 1e-16 || (std::isfinite(eps) && std::fabs(x) <= std::ldexp(eps, -52));
}

// A column or row whose absolute values sum to less than this is taken as
// zero, as one summing to exactly zero is: no reflector is formed from it
// and the bidiagonal gets a 0 there. A reflector is divided by its new
// diagonal value, at least scale / sqrt(count) in size; from subnormal
// values that quotient overflows, and inf * 0 would then put NaN into V
// (a window holding one subnormal sample did). Below 2^-1000 it cannot
// overflow for any count below 2^31, and what is dropped is far below
// any singular value a tolerance keeps.
constexpr double kNegligibleScale = 0x1p-1000;

// Householder vector from a(i..m-1, i) scaled by 1/scale: returns g, the
// new diagonal value divided by scale, and leaves the vector in place.
// h = f*g - s is the normaliser the updates divide by.
struct Reflector {
    double g;
    double h;
};

VARNEL_SOLVER_BODY Reflector makeReflector(double& pivot, double sumOfSquares) noexcept {
    const double f = pivot;
    const double g = -withSignOf(std::sqrt(sumOfSquares), f);
    const double h = f * g - sumOfSquares;
    pivot = f - g;
    return {g, h};
}

// dots[j] = the sum over k = from .. to-1, in that order, of x[k] times
// column j of a (rows from .. to-1), for j = first .. last-1. Four columns
// go together, so that four sums progress at once: each addition has to
// wait for the one before it in its own sum only.
VARNEL_SOLVER_BODY void columnDots(const double* x, ColumnMajor a, std::ptrdiff_t from, std::ptrdiff_t to,
                                   std::ptrdiff_t first, std::ptrdiff_t last, double* dots) noexcept {
    std::ptrdiff_t j = first;
    for (; j + 4 <= last; j += 4) {
        const double* c0 = &a(0, j);
        const double* c1 = c0 + a.rows;
        const double* c2 = c1 + a.rows;
        const double* c3 = c2 + a.rows;
        double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
        for (std::ptrdiff_t k = from; k < to; ++k) {
            const double xk = x[k];
            s0 += xk * c0[k];
            s1 += xk * c1[k];
            s2 += xk * c2[k];
            s3 += xk * c3[k];
        }
        dots[j] = s0;
        dots[j + 1] = s1;
        dots[j + 2] = s2;
        dots[j + 3] = s3;
    }
    for (; j < last; ++j) {
        const double* c = &a(0, j);
        double s = 0.0;
        for (std::ptrdiff_t k = from; k < to; ++k) s += x[k] * c[k];
        dots[j] = s;
    }
}

// Column i: annihilate a(i+1..m-1, i). Returns the new diagonal w[i].
// dots holds n doubles.
VARNEL_SOLVER_BODY double reduceColumn(ColumnMajor a, std::ptrdiff_t m, std::ptrdiff_t n, std::ptrdiff_t i,
                                       double* dots) noexcept {
    double scale = 0.0;
    for (std::ptrdiff_t k = i; k < m; ++k) scale += std::fabs(a(k, i));
    if (scale < kNegligibleScale) return 0.0;
    double s = 0.0;
    for (std::ptrdiff_t k = i; k < m; ++k) {
        a(k, i) /= scale;
        s += square(a(k, i));
    }
    const Reflector r = makeReflector(a(i, i), s);
    columnDots(&a(0, i), a, i, m, i + 1, n, dots);
    for (std::ptrdiff_t j = i + 1; j < n; ++j) {
        const double f = dots[j] / r.h;
        for (std::ptrdiff_t k = i; k < m; ++k) a(k, j) += f * a(k, i);
    }
    for (std::ptrdiff_t k = i; k < m; ++k) a(k, i) *= scale;
    return scale * r.g;
}

// Row i: annihilate a(i, i+2..n-1). Returns the new superdiagonal e[i+1];
// e[i+1..n-1] serves as scratch for the reflector meanwhile, and dots
// (m doubles) for the products of the rows below with row i, which are
// summed over k in order for each row, column by column.
VARNEL_SOLVER_BODY double reduceRow(ColumnMajor a, std::ptrdiff_t m, std::ptrdiff_t n, std::ptrdiff_t i, double* e,
                                    double* dots) noexcept {
    const std::ptrdiff_t l = i + 1;
    double scale = 0.0;
    for (std::ptrdiff_t k = l; k < n; ++k) scale += std::fabs(a(i, k));
    if (scale < kNegligibleScale) return 0.0;
    double s = 0.0;
    for (std::ptrdiff_t k = l; k < n; ++k) {
        a(i, k) /= scale;
        s += square(a(i, k));
    }
    const Reflector r = makeReflector(a(i, l), s);
    for (std::ptrdiff_t k = l; k < n; ++k) e[k] = a(i, k) / r.h;
    std::fill(dots + l, dots + m, 0.0);
    for (std::ptrdiff_t k = l; k < n; ++k) {
        const double rowValue = a(i, k);
        for (std::ptrdiff_t j = l; j < m; ++j) dots[j] += a(j, k) * rowValue;
    }
    for (std::ptrdiff_t k = l; k < n; ++k)
        for (std::ptrdiff_t j = l; j < m; ++j) a(j, k) += dots[j] * e[k];
    for (std::ptrdiff_t k = l; k < n; ++k) a(i, k) *= scale;
    return scale * r.g;
}

// Diagonal into w, superdiagonal into e (e[0] = 0, e[i] couples i-1 and i).
// Returns eps, the largest |w_i| + |e_i|, which scales the split test.
VARNEL_SOLVER_BODY double bidiagonalise(ColumnMajor a, std::ptrdiff_t m, std::ptrdiff_t n, double* w, double* e,
                                        double* dots) noexcept {
    double eps = 0.0;
    e[0] = 0.0;
    for (std::ptrdiff_t i = 0; i < n; ++i) {
        w[i] = reduceColumn(a, m, n, i, dots);
        eps = std::max(eps, std::fabs(w[i]) + std::fabs(e[i]));
        if (i + 1 < n) {
            // reduceRow borrows e[i+1..] as scratch before e[i+1] is final.
            const double superdiagonal = reduceRow(a, m, n, i, e, dots);
            e[i + 1] = superdiagonal;
        }
    }
    return eps;
}

// V from the row reflectors still stored in the upper part of a; row
// holds 2n doubles, a contiguous copy of each reflector and its products.
VARNEL_SOLVER_BODY void accumulateRight(ColumnMajor a, ColumnMajor v, std::ptrdiff_t n, const double* e,
                                        double* row) noexcept {
    double* dots = row + n;
    for (std::ptrdiff_t i = n - 1; i >= 0; --i) {
        const std::ptrdiff_t l = i + 1;
        if (l < n) {
            const double g = e[l];
            if (g != 0.0) {
                for (std::ptrdiff_t k = l; k < n; ++k) row[k] = a(i, k);
                // Two divisions rather than one product avoid underflow.
                for (std::ptrdiff_t j = l; j < n; ++j) v(j, i) = (row[j] / row[l]) / g;
                columnDots(row, v, l, n, l, n, dots);
                for (std::ptrdiff_t j = l; j < n; ++j)
                    for (std::ptrdiff_t k = l; k < n; ++k) v(k, j) += dots[j] * v(k, i);
            }
            for (std::ptrdiff_t j = l; j < n; ++j) v(i, j) = v(j, i) = 0.0;
        }
        v(i, i) = 1.0;
    }
}

// The weight of each column reflector, 1 / w_i with the diagonal w as the
// reduction left it: reflector i maps x to x + (r.x / r_i) * weight * r,
// r = a(i..m-1, i), r_i its first element. A column the reduction took
// as zero has no reflector and a diagonal of 0, whose reciprocal is no
// weight: it gets 0, the identity, instead of inf * 0 = NaN.
void weighReflectors(const double* w, std::ptrdiff_t n, double* weights) noexcept {
    for (std::ptrdiff_t i = 0; i < n; ++i) {
        const double g = 1.0 / w[i];
        weights[i] = std::isfinite(g) ? g : 0.0;
    }
}

// x <- reflector i applied to x (m doubles).
void reflect(ColumnMajor a, std::ptrdiff_t i, double weight, double* x) noexcept {
    const double* r = &a(0, i);
    double dot = 0.0;
    for (std::ptrdiff_t k = i; k < a.rows; ++k) dot += r[k] * x[k];
    const double f = (dot / r[i]) * weight;
    for (std::ptrdiff_t k = i; k < a.rows; ++k) x[k] += f * r[k];
}

// Row r of V before the sweeps, the product of the row reflectors:
// (K^T e_r)^T with each reflector symmetric, so applied to e_r first one
// first, in the same arithmetic as accumulateRight. row holds n doubles.
void rightReflectorsRow(ColumnMajor a, std::ptrdiff_t n, const double* e, std::ptrdiff_t r, double* row) noexcept {
    std::fill(row, row + n, 0.0);
    row[r] = 1.0;
    for (std::ptrdiff_t i = 0; i + 1 < n; ++i) {
        const std::ptrdiff_t l = i + 1;
        const double g = e[l];
        if (g == 0.0) continue;
        double dot = 0.0;
        for (std::ptrdiff_t k = l; k < n; ++k) dot += a(i, k) * row[k];
        for (std::ptrdiff_t k = l; k < n; ++k) row[k] += dot * ((a(i, k) / a(i, l)) / g);
    }
}

// Row r of U before the sweeps, (H^T e_r)^T [I; 0]: the column reflectors
// applied to e_r first one first. scratch holds m doubles.
void leftReflectorsRow(ColumnMajor a, std::ptrdiff_t n, const double* weights, std::ptrdiff_t r, double* row,
                       double* scratch) noexcept {
    std::fill(scratch, scratch + a.rows, 0.0);
    scratch[r] = 1.0;
    for (std::ptrdiff_t i = 0; i < n; ++i)
        if (weights[i] != 0.0) reflect(a, i, weights[i], scratch);
    std::copy(scratch, scratch + n, row);
}

// Columns p and q of x rotated by (c, s).
VARNEL_SOLVER_BODY void rotateColumns(ColumnMajor x, std::ptrdiff_t p, std::ptrdiff_t q, double c, double s) noexcept {
    for (std::ptrdiff_t r = 0; r < x.rows; ++r) {
        const double y = x(r, p);
        const double z = x(r, q);
        x(r, p) = y * c + z * s;
        x(r, q) = z * c - y * s;
    }
}

struct Bidiagonal {
    double* w;
    double* e;
    double eps;
    bool negligible(double x) const noexcept { return isNegligible(x, eps); }
};

// The largest l <= k such that e[l] is negligible (l = 0 always qualifies,
// so a NaN eps cannot walk off the start), or such that w[l-1] is, in
// which case needsCancel is set.
VARNEL_SOLVER_BODY std::ptrdiff_t findSplit(const Bidiagonal& b, std::ptrdiff_t k, bool& needsCancel) noexcept {
    for (std::ptrdiff_t l = k; l > 0; --l) {
        if (b.negligible(b.e[l])) {
            needsCancel = false;
            return l;
        }
        if (b.negligible(b.w[l - 1])) {
            needsCancel = true;
            return l;
        }
    }
    needsCancel = false;
    return 0;
}

// w[l-1] is negligible: chase e[l] off the matrix with rotations against
// row l-1 so that the block l..k splits off.
VARNEL_SOLVER_BODY void cancelSuperdiagonal(const Bidiagonal& b, ColumnMajor u, std::ptrdiff_t l,
                                            std::ptrdiff_t k) noexcept {
    const std::ptrdiff_t nm = l - 1;
    double c = 0.0;
    double s = 1.0;
    for (std::ptrdiff_t i = l; i <= k; ++i) {
        const double f = s * b.e[i];
        b.e[i] *= c;
        if (b.negligible(f)) break;
        const double g = b.w[i];
        const double h = hypotenuse(f, g);
        b.w[i] = h;
        c = g / h;
        s = -f / h;
        rotateColumns(u, nm, i, c, s);
    }
}

// One implicit-shift QR sweep over the block l..k, shift from its bottom
// 2 x 2 minor.
VARNEL_SOLVER_BODY void qrSweep(const Bidiagonal& b, ColumnMajor u, ColumnMajor v, std::ptrdiff_t l,
                                std::ptrdiff_t k) noexcept {
    double* w = b.w;
    double* e = b.e;
    double x = w[l];
    const std::ptrdiff_t nm = k - 1;
    double y = w[nm];
    double z = w[k];
    double g = e[nm];
    double h = e[k];
    double f = ((y - z) * (y + z) + (g - h) * (g + h)) / (2.0 * h * y);
    g = hypotenuse(f, 1.0);
    f = ((x - z) * (x + z) + h * ((y / (f + withSignOf(g, f))) - h)) / x;
    double c = 1.0;
    double s = 1.0;
    for (std::ptrdiff_t j = l; j <= nm; ++j) {
        const std::ptrdiff_t i = j + 1;
        g = e[i];
        y = w[i];
        h = s * g;
        g = c * g;
        z = hypotenuse(f, h);
        e[j] = z;
        c = f / z;
        s = h / z;
        f = x * c + g * s;
        g = g * c - x * s;
        h = y * s;
        y *= c;
        rotateColumns(v, j, i, c, s);
        z = hypotenuse(f, h);
        w[j] = z;
        if (z != 0.0) {
            c = f / z;
            s = h / z;
        }
        f = c * g + s * y;
        x = c * y - s * g;
        rotateColumns(u, j, i, c, s);
    }
    e[l] = 0.0;
    e[k] = f;
    w[k] = x;
}

VARNEL_SOLVER_BODY bool diagonalise(const Bidiagonal& b, ColumnMajor u, ColumnMajor v, std::ptrdiff_t n) noexcept {
    for (std::ptrdiff_t k = n - 1; k >= 0; --k) {
        for (int sweep = 0;; ++sweep) {
            bool needsCancel = false;
            const std::ptrdiff_t l = findSplit(b, k, needsCancel);
            if (needsCancel) cancelSuperdiagonal(b, u, l, k);
            if (l == k) {
                if (b.w[k] < 0.0) {
                    b.w[k] = -b.w[k];
                    for (std::ptrdiff_t j = 0; j < v.rows; ++j) v(j, k) = -v(j, k);
                }
                break;
            }
            if (sweep == kMaxSweeps) return false;
            qrSweep(b, u, v, l, k);
        }
    }
    return true;
}

VARNEL_SOLVER_BODY bool decompose(const SvdFactors& f, double* superdiagonal, double* rowScratch) noexcept {
    const ColumnMajor a{f.a, f.m};
    const std::ptrdiff_t n = f.n;
    // A single row is a matrix of one row to the sweeps' rotations.
    const ColumnMajor left{f.left, f.leftRow < 0 ? n : 1};
    const ColumnMajor right{f.right, f.rightRow < 0 ? n : 1};
    const double eps = bidiagonalise(a, f.m, n, f.w, superdiagonal, rowScratch);
    weighReflectors(f.w, n, f.reflectorWeights);
    if (f.rightRow < 0)
        accumulateRight(a, right, n, superdiagonal, rowScratch);
    else
        rightReflectorsRow(a, n, superdiagonal, f.rightRow, f.right);
    if (f.leftRow < 0) {
        for (std::ptrdiff_t j = 0; j < n; ++j)
            for (std::ptrdiff_t i = 0; i < n; ++i) left(i, j) = i == j ? 1.0 : 0.0;
    } else {
        leftReflectorsRow(a, n, f.reflectorWeights, f.leftRow, f.left, rowScratch);
    }
    const Bidiagonal b{f.w, superdiagonal, eps};
    return diagonalise(b, left, right, n);
}

bool baselineDecompose(const SvdFactors& f, double* superdiagonal, double* rowScratch) noexcept {
    return decompose(f, superdiagonal, rowScratch);
}

[[gnu::target("avx2")]] bool avx2Decompose(const SvdFactors& f, double* superdiagonal, double* rowScratch) noexcept {
    return decompose(f, superdiagonal, rowScratch);
}

#undef VARNEL_SOLVER_BODY

}  // namespace

bool svdDecompose(const SvdFactors& f, double* superdiagonal, double* rowScratch) noexcept {
    return (avx2PathsEnabled() ? avx2Decompose : baselineDecompose)(f, superdiagonal, rowScratch);
}

// U z = H [B z; 0], the reflectors applied last one first.
void applyLeftFactor(const SvdFactors& f, const double* z, double* x) noexcept {
    const ColumnMajor a{f.a, f.m};
    const ColumnMajor left{f.left, f.n};
    std::fill(x, x + f.m, 0.0);
    for (std::ptrdiff_t k = 0; k < f.n; ++k)
        for (std::ptrdiff_t i = 0; i < f.n; ++i) x[i] += left(i, k) * z[k];
    for (std::ptrdiff_t i = f.n - 1; i >= 0; --i)
        if (f.reflectorWeights[i] != 0.0) reflect(a, i, f.reflectorWeights[i], x);
}

}  // namespace varnel
