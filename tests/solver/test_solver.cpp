// Decomposition and pseudo-inverse against their defining identities,
// evaluated in long double.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "frame/vector_paths.h"
#include "solver/pseudo_inverse.h"
#include "solver/svd.h"
#include "support/reference_dft.h"

namespace varnel {
namespace {

using Matrix = std::vector<double>;  // row-major

Matrix randomMatrix(int rows, int cols, unsigned seed) { return testing::randomReals(std::size_t(rows) * cols, seed); }

// rows x inner times inner x cols; transposes read in place.
Matrix multiply(const Matrix& a, bool ta, const Matrix& b, bool tb, int rows, int inner, int cols) {
    Matrix c(static_cast<std::size_t>(rows) * cols);
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < cols; ++j) {
            long double s = 0;
            for (int k = 0; k < inner; ++k) {
                const double x = ta ? a[k * rows + i] : a[i * inner + k];
                const double y = tb ? b[j * inner + k] : b[k * cols + j];
                s += static_cast<long double>(x) * y;
            }
            c[i * cols + j] = static_cast<double>(s);
        }
    return c;
}

using testing::maxAbs;
using testing::maxAbsDifference;

// The whole pseudo-inverse P (n x m, row-major), column by column, in a
// workspace of its own; false when a column fails, before it is written.
bool pseudoInverse(const double* a, int m, int n, double tolerance, double* p) {
    PseudoInverseWorkspace workspace(m, n);
    EXPECT_TRUE(workspace.ok());
    std::vector<double> x(n);
    for (int j = 0; j < m; ++j) {
        if (!pseudoInverseColumn(a, m, n, tolerance, j, x.data(), workspace)) return false;
        for (int i = 0; i < n; ++i) p[i * m + j] = x[i];
    }
    return true;
}

struct Shape {
    int m;
    int n;
};

class SvdShapes : public ::testing::TestWithParam<Shape> {};

// A = U diag(w) V^T with orthonormal columns in U and V and w >= 0
// characterises the decomposition completely; checked for full-rank,
// rank-deficient, zero and badly scaled matrices. V comes column by
// column (its row-major transpose); U is built here, column by column, by
// applying it to unit vectors.
TEST_P(SvdShapes, FactorsReproduceTheMatrixAndAreOrthonormal) {
    const auto [m, n] = GetParam();
    const int rank = std::max(1, n / 2);
    std::vector<Matrix> inputs = {randomMatrix(m, n, 1),
                                  multiply(randomMatrix(m, rank, 2), false, randomMatrix(rank, n, 3), false, m, rank, n),
                                  Matrix(static_cast<std::size_t>(m) * n, 0.0)};
    Matrix graded = randomMatrix(m, n, 4);
    for (int i = 0; i < m; ++i)
        for (int j = 0; j < n; ++j) graded[i * n + j] *= std::pow(10.0, -2.0 * j);
    inputs.push_back(graded);

    for (const Matrix& a : inputs) {
        const auto columnMajor = [&] {
            Matrix t(a.size());
            for (int i = 0; i < m; ++i)
                for (int j = 0; j < n; ++j) t[j * m + i] = a[i * n + j];
            return t;
        };
        Matrix t = columnMajor(), u(a.size()), v(static_cast<std::size_t>(n) * n), b(v.size());
        std::vector<double> w(n), weights(n), superdiagonal(n), rowScratch(m + n), unit(n, 0.0);
        const SvdFactors f{t.data(), weights.data(), w.data(), b.data(), v.data(), m, n};
        ASSERT_TRUE(svdDecompose(f, superdiagonal.data(), rowScratch.data()));
        for (int k = 0; k < n; ++k) {
            unit.assign(n, 0.0);
            unit[k] = 1.0;
            applyLeftFactor(f, unit.data(), &u[std::size_t(k) * m]);
        }
        // A decomposition asked for one row of U and one of V gives those
        // rows of the whole factors; the baseline build gives the AVX2
        // build's bits.
        for (int i = 0; i < m; ++i) {
            Matrix t2 = columnMajor(), rowU(n), rowV(n), weights2(n), w2(n);
            setAvx2PathsEnabled(i % 2 == 0);
            ASSERT_TRUE(svdDecompose({t2.data(), weights2.data(), w2.data(), rowU.data(), rowV.data(), m, n, i, i % n},
                                     superdiagonal.data(), rowScratch.data()));
            setAvx2PathsEnabled(true);
            EXPECT_EQ(w2, w);
            for (int k = 0; k < n; ++k) {
                EXPECT_NEAR(rowU[k], u[std::size_t(k) * m + i], 1e-14);
                EXPECT_NEAR(rowV[k], v[std::size_t(k) * n + i % n], 1e-14);
            }
        }
        Matrix uw = u;
        for (int i = 0; i < m; ++i)
            for (int j = 0; j < n; ++j) uw[j * m + i] *= w[j];
        const double scale = std::max(maxAbs(a), 1e-300);
        EXPECT_LE(maxAbsDifference(multiply(uw, true, v, false, m, n, n), a), 1e-13 * scale * n);
        for (double x : w) EXPECT_GE(x, 0.0);
        Matrix identity(static_cast<std::size_t>(n) * n, 0.0);
        for (int j = 0; j < n; ++j) identity[j * n + j] = 1.0;
        EXPECT_LE(maxAbsDifference(multiply(v, false, v, true, n, n, n), identity), 1e-13 * n);
        EXPECT_LE(maxAbsDifference(multiply(u, false, u, true, n, m, n), identity), 1e-13 * m);
    }
}

INSTANTIATE_TEST_SUITE_P(Shapes, SvdShapes,
                         ::testing::Values(Shape{1, 1}, Shape{5, 1}, Shape{3, 3}, Shape{7, 4}, Shape{12, 12},
                                           Shape{40, 9}, Shape{91, 90}));

class PseudoInverseShapes : public ::testing::TestWithParam<Shape> {};

// The four Moore–Penrose conditions determine the pseudo-inverse; checked
// with the tolerance relative to the norms involved, for a matrix of full
// rank and one of rank r < min(m, n).
TEST_P(PseudoInverseShapes, SatisfiesMoorePenrose) {
    const auto [m, n] = GetParam();
    for (const int rank : {std::min(m, n), std::max(1, std::min(m, n) - 2)}) {
        SCOPED_TRACE(::testing::Message() << "rank " << rank);
        const Matrix a = multiply(randomMatrix(m, rank, 21), false, randomMatrix(rank, n, 22), false, m, rank, n);
        Matrix p(static_cast<std::size_t>(n) * m);
        ASSERT_TRUE(pseudoInverse(a.data(), m, n, 1e-10, p.data()));
        const Matrix ap = multiply(a, false, p, false, m, n, m);
        const Matrix pa = multiply(p, false, a, false, n, m, n);
        // Rounding grows with the size and with the condition |A| |P|.
        const double tol = 1e-14 * std::max(m, n) * maxAbs(a) * maxAbs(p);
        EXPECT_LE(maxAbsDifference(multiply(ap, false, a, false, m, m, n), a), tol * maxAbs(a));
        EXPECT_LE(maxAbsDifference(multiply(pa, false, p, false, n, n, m), p), tol * maxAbs(p));
        for (int i = 0; i < m; ++i)
            for (int j = 0; j < m; ++j) EXPECT_NEAR(ap[i * m + j], ap[j * m + i], tol);
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) EXPECT_NEAR(pa[i * n + j], pa[j * n + i], tol);
    }
}

INSTANTIATE_TEST_SUITE_P(Shapes, PseudoInverseShapes,
                         ::testing::Values(Shape{5, 3}, Shape{3, 5}, Shape{8, 8}, Shape{30, 7}, Shape{7, 30},
                                           Shape{16, 15}));

// Paired singular values (a circulant block has them) can leave a
// superdiagonal at exactly half a rounding unit of the matrix's size; this
// A[i][j] = h[(i + j) mod 8] stalled there for 30 sweeps when only the
// rounded sum decided whether it was negligible. A is invertible.
TEST(PseudoInverse, ConvergesWithPairedSingularValues) {
    const double h[8] = {3.130908989244301,   0.12567845832397478, -0.08760962121343764, 0.9108217428253541,
                         1.2717542563901822,  1.0250902580240144,  -1.2242639149552117,  0.11946069029471142};
    Matrix a(64), p(64);
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 8; ++j) a[i * 8 + j] = h[(i + j) % 8];
    ASSERT_TRUE(pseudoInverse(a.data(), 8, 8, 1e-10, p.data()));
    const Matrix ap = multiply(a, false, p, false, 8, 8, 8);
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 8; ++j) EXPECT_NEAR(ap[i * 8 + j], i == j ? 1.0 : 0.0, 1e-14);
}

// Singular values at or below the tolerance contribute nothing: with
// A = diag(-3, 1e-10, 1e-9) the pseudo-inverse is diag(-1/3, 0, 1e9). A
// negative tolerance stands for 2^-52 * min(m, n), 2.2e-16 for 1 x 2 and
// 4.4e-16 for 2 x 2.
TEST(PseudoInverse, DropsSingularValuesAtTheTolerance) {
    struct Case {
        int m, n;
        double tolerance;
        std::vector<double> a, expected;
    };
    for (const Case& c : {Case{3, 3, 1e-10, {-3, 0, 0, 0, 1e-10, 0, 0, 0, 1e-9}, {-1.0 / 3.0, 0, 0, 0, 0, 0, 0, 0, 1e9}},
                          Case{1, 2, -1.0, {3e-16, 0.0}, {1.0 / 3e-16, 0.0}}, Case{1, 2, -1.0, {2e-16, 0.0}, {0.0, 0.0}},
                          Case{2, 2, -1.0, {1.0, 0.0, 0.0, 3e-16}, {1.0, 0.0, 0.0, 0.0}}}) {
        std::vector<double> p(c.a.size());
        ASSERT_TRUE(pseudoInverse(c.a.data(), c.m, c.n, c.tolerance, p.data()));
        for (std::size_t i = 0; i < p.size(); ++i)
            EXPECT_NEAR(p[i], c.expected[i], 4e-16 * std::max(1.0, std::fabs(c.expected[i]))) << c.m << "x" << c.n << " " << i;
    }
}

TEST(PseudoInverse, NonFiniteMatrixDoesNotConvergeAndWritesNothing) {
    Matrix a = randomMatrix(4, 3, 31);
    a[4] = std::numeric_limits<double>::quiet_NaN();
    std::vector<double> p(12, -7.0);
    EXPECT_FALSE(pseudoInverse(a.data(), 4, 3, 1e-10, p.data()));
    for (double x : p) EXPECT_EQ(x, -7.0);
}

}  // namespace
}  // namespace varnel
