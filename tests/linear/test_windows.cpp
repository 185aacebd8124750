// Gaussian window against its closed form; dual window against the
// biorthogonality conditions it is defined by.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "varnel.h"

namespace varnel {
namespace {

constexpr long double kPiL = 3.141592653589793238462643383279502884L;

TEST(Gaussian, MatchesTheClosedForm) {
    struct Case {
        int n;
        double centre, variance;
    };
    for (const Case cs : {Case{1, 0.0, 1.0}, Case{16, 7.5, 4.0}, Case{33, 10.25, 0.3}, Case{200, 99.5, 50.0},
                          Case{64, -3.0, 100.0}}) {
        std::vector<double> out(cs.n);
        ASSERT_EQ(Gaussian(cs.n, cs.centre, cs.variance, out.data()), kStatusOk);
        const long double c = std::pow(kPiL * cs.variance, -0.25L);
        for (int i = 0; i < cs.n; ++i) {
            const long double d = cs.centre - i;
            const long double expected = c * std::exp(-d * d / (2.0L * cs.variance));
            EXPECT_NEAR(out[i], static_cast<double>(expected), 1e-14 * static_cast<double>(c)) << "n " << cs.n << " i " << i;
        }
    }
}

TEST(Gaussian, NonPositiveLengthWritesNothing) {
    double out[2] = {-7.0, -7.0};
    EXPECT_EQ(Gaussian(0, 0.0, 1.0, out), kStatusOk);
    EXPECT_EQ(Gaussian(-5, 0.0, 1.0, out), kStatusOk);
    EXPECT_TRUE(out[0] == -7.0 && out[1] == -7.0);
}

struct Lattice {
    int L, dM, N, mode;
};

std::ostream& operator<<(std::ostream& os, const Lattice& l) {
    return os << "L" << l.L << " dM" << l.dM << " N" << l.N << " mode" << l.mode;
}

std::vector<double> gaussianWindow(int L, double spreadFraction) {
    std::vector<double> g(L);
    const double sigma = spreadFraction * L;
    Gaussian(L, L / 2.0, sigma * sigma, g.data());
    return g;
}

// Lattices whose residue systems have full rank for a centred Gaussian
// (critically sampled periodic ones do not: the Gaussian's Zak transform
// vanishes there).
class FastDualLattices : public ::testing::TestWithParam<Lattice> {};

// Underdetermined residue systems are met exactly: sum_c g[j0 + aN + c dM]
// dual[j0 + c dM] = delta(a) / dM. Overdetermined ones in the least-squares
// sense: the residual is orthogonal to every column.
TEST_P(FastDualLattices, SatisfiesBiorthogonalityOrItsNormalEquations) {
    const Lattice lat = GetParam();
    const std::vector<double> g = gaussianWindow(lat.L, 0.25);
    std::vector<double> dual(lat.L);
    ASSERT_EQ(FastDual(g.data(), lat.L, lat.dM, lat.N, lat.mode, dual.data()), kStatusOk);
    // Row a, column c of the residue-j0 system: the window shifted by a*N,
    // read with period L (mode 0) or zero-padded to 2L - N (mode 1).
    const int rows = lat.mode == 0 ? lat.L / lat.N : 2 * (lat.L / lat.N) - 1, cols = lat.L / lat.dM;
    const int period = lat.mode == 0 ? lat.L : 2 * lat.L - lat.N;
    const auto entry = [&](int j0, int a, int c) {
        const int index = (j0 + a * lat.N + c * lat.dM) % period;
        return index < lat.L ? static_cast<long double>(g[index]) : 0.0L;
    };
    for (int j0 = 0; j0 < lat.dM; ++j0) {
        std::vector<long double> residual(rows);
        for (int a = 0; a < rows; ++a) {
            for (int c = 0; c < cols; ++c) residual[a] += entry(j0, a, c) * dual[j0 + c * lat.dM];
            residual[a] -= a == 0 ? 1.0L / lat.dM : 0.0L;
        }
        if (rows <= cols) {
            for (int a = 0; a < rows; ++a) EXPECT_NEAR(static_cast<double>(residual[a]), 0.0, 1e-12) << "j0 " << j0 << " a " << a;
        } else {
            for (int c = 0; c < cols; ++c) {
                long double projection = 0.0L;
                for (int a = 0; a < rows; ++a) projection += entry(j0, a, c) * residual[a];
                EXPECT_NEAR(static_cast<double>(projection), 0.0, 1e-12) << "j0 " << j0 << " c " << c;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Lattices, FastDualLattices,
                         ::testing::Values(Lattice{16, 4, 8, 0}, Lattice{16, 4, 8, 1}, Lattice{16, 4, 4, 1}, Lattice{32, 2, 8, 0}, Lattice{32, 2, 8, 1},
                                           Lattice{48, 8, 16, 1}, Lattice{64, 16, 16, 1}, Lattice{24, 3, 8, 0},
                                           Lattice{96, 12, 32, 1}, Lattice{8, 1, 1, 1}));

// One frame per window: each 1 x 1 system inverts its sample unless the
// sample is not above the tolerance.
TEST(FastDual, OneFramePerWindowInvertsEachSample) {
    const std::vector<double> g = {2.0, -4.0, 1e-11, -4.9e-320, 0.5, 1e-10, -1e-10, 3.0};
    for (int mode : {0, 1}) {
        std::vector<double> dual(8, -7.0);
        ASSERT_EQ(FastDual(g.data(), 8, 8, 8, mode, dual.data()), kStatusOk);
        for (int j = 0; j < 8; ++j)
            EXPECT_DOUBLE_EQ(dual[j], std::fabs(g[j]) > 1e-10 ? 1.0 / (8.0 * g[j]) : 0.0) << "mode " << mode << " j " << j;
    }
}

// A residue whose window samples vanish has the zero matrix, whose
// pseudo-inverse is zero (a subnormal sample counts as zero); a non-finite
// sample makes the decomposition fail to converge, and that residue's dual
// is zero too. Other residues keep their values.
TEST(FastDual, DegenerateResidueGivesZerosAndLeavesTheOthersAlone) {
    const Lattice lat{16, 4, 8, 0};
    const std::vector<double> clean = gaussianWindow(16, 0.25);
    std::vector<double> cleanDual(16);
    ASSERT_EQ(FastDual(clean.data(), 16, 4, 8, 0, cleanDual.data()), kStatusOk);
    for (double poison : {0.0, 4.9e-320, std::numeric_limits<double>::quiet_NaN()}) {
        std::vector<double> g = clean;
        for (int c = 0; c < 4; ++c) g[1 + c * lat.dM] = c == 2 ? poison : 0.0;
        std::vector<double> dual(16, -7.0);
        ASSERT_EQ(FastDual(g.data(), 16, 4, 8, 0, dual.data()), kStatusOk);
        for (int j = 0; j < 16; ++j) EXPECT_EQ(dual[j], j % 4 == 1 ? 0.0 : cleanDual[j]) << "j " << j;
    }
}

TEST(FastDual, ArgumentStatusesInOrderAndNothingWritten) {
    struct Case {
        int L, dM, N, mode;
        std::int32_t status;
    };
    const Case cases[] = {
        {16, 0, 8, 0, kStatusBadWindowSpec},  {16, 4, 0, 0, kStatusBadWindowSpec},
        {24, 4, 6, 0, kStatusBadWindowSpec},  {16, 4, -8, 0, kStatusBadWindowSpec},
        {0, 0, 8, 9, kStatusBadWindowSpec},   {0, 4, 8, 0, kStatusBadLength},
        {-16, 4, 8, 0, kStatusBadLength},     {12, 4, 8, 0, kStatusBadLength},
        {18, 4, 2, 0, kStatusBadLength},      {24, 16, 8, 0, kStatusBadLength},
        {16, 16, 8, 0, kStatusBadWindowSpec}, {16, 16, 8, 7, kStatusBadWindowSpec},
        {16, 4, 8, 2, kStatusBadSelector},    {16, 4, 8, -1, kStatusBadSelector},
    };
    const std::vector<double> g(32, 1.0);
    for (const Case& cs : cases) {
        std::vector<double> dual(32, -7.0);
        EXPECT_EQ(FastDual(g.data(), cs.L, cs.dM, cs.N, cs.mode, dual.data()), cs.status)
            << Lattice{cs.L, cs.dM, cs.N, cs.mode};
        for (double x : dual) EXPECT_EQ(x, -7.0);
    }
}

}  // namespace
}  // namespace varnel
