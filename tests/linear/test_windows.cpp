// The dual window's corner cases: 1 x 1 residue systems and degenerate
// residues. Its general values are checked against scipy's pseudo-inverse
// in the package tests.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "varnel.h"

namespace varnel {
namespace {

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
    std::vector<double> clean(16), cleanDual(16);
    ASSERT_EQ(Gaussian(16, 8.0, 16.0, clean.data()), kStatusOk);
    ASSERT_EQ(FastDual(clean.data(), 16, 4, 8, 0, cleanDual.data()), kStatusOk);
    for (double poison : {0.0, 4.9e-320, std::numeric_limits<double>::quiet_NaN()}) {
        std::vector<double> g = clean;
        for (int c = 0; c < 4; ++c) g[1 + c * 4] = c == 2 ? poison : 0.0;
        std::vector<double> dual(16, -7.0);
        ASSERT_EQ(FastDual(g.data(), 16, 4, 8, 0, dual.data()), kStatusOk);
        for (int j = 0; j < 16; ++j) EXPECT_EQ(dual[j], j % 4 == 1 ? 0.0 : cleanDual[j]) << "j " << j;
    }
}

}  // namespace
}  // namespace varnel
