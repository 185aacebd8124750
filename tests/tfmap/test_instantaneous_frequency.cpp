// The repair of invalid slice centroids by straight lines (inner runs
// through the export, the runs at the ends and the limits through the
// repair itself). Centroids and energies of valid slices against direct
// sums: tests/python/test_package_gabor_sp.py.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "tfmap/instantaneous_frequency_gap_fill.h"
#include "support/fft_fixtures.h"
#include "varnel.h"

namespace varnel {
namespace {

class InstantaneousFrequencyTrack : public testing::PlanCacheTest {};

// A slice with all its mass in one bin has that bin as centroid: bin 0 is
// not a valid centroid, bin F-1 is. A zero slice (0/0), a slice of zero sum
// with negative values (an infinite quotient) and a slice holding a NaN are
// invalid too; the runs are bridged by straight lines.
TEST_F(InstantaneousFrequencyTrack, InvalidCentroidsAreBridged) {
    const int F = 5;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<std::vector<double>> slices = {
        {0, 0, 1.0, 0, 0},   // 2
        {0, 0, 0, 0, 0},     // 0/0
        {0, 0, 0, 0, 2.0},   // F-1: valid
        {3.0, 0, 0, 0, 0},   // exactly 0
        {0, nan, 0, 0, 0},   // NaN
        {1.0, -1.0, 0, 0, 0},  // -1/0
        {0, 0, 0, 1.0, 0},   // 3
    };
    std::vector<double> map;
    for (const auto& slice : slices) map.insert(map.end(), slice.begin(), slice.end());
    const int T = static_cast<int>(slices.size());
    std::vector<double> freq(T, -1.0), energy(T, -1.0);
    ASSERT_EQ(InstantaneousFrequency(map.data(), T, F, 123, -456, freq.data(), energy.data()), kStatusOk);
    // Slice 1 halfway between 2 and 4; slices 3..5 on the line from 4 at
    // slice 2 to 3 at slice 6.
    const double want[] = {2.0, 3.0, 4.0, 3.75, 3.5, 3.25, 3.0};
    for (int t = 0; t < T; ++t) EXPECT_NEAR(freq[t], want[t], 1e-15) << "t " << t;
    EXPECT_EQ(energy[1], 0.0);
    EXPECT_EQ(energy[3], 3.0);
    EXPECT_TRUE(std::isnan(energy[4]));
    EXPECT_EQ(energy[5], 0.0);
}

TEST_F(InstantaneousFrequencyTrack, EmptyMapIsRejectedUntouched) {
    double map[1] = {1.0}, freq[1] = {-7.25}, energy[1] = {-7.25};
    for (const auto& [T, F] : {std::pair{0, 4}, std::pair{3, 0}, std::pair{-1, -1}})
        EXPECT_EQ(InstantaneousFrequency(map, T, F, 0, 0, freq, energy), kStatusBadLength) << T << " x " << F;
    EXPECT_TRUE(freq[0] == -7.25 && energy[0] == -7.25);
}

struct GapCase {
    const char* name;
    std::vector<double> track;
    double maxValue;
    std::vector<double> want;
};

class GapFill : public testing::PlanCacheTestWithParam<GapCase> {};

TEST_P(GapFill, ReplacesInvalidRunsByStraightLines) {
    std::vector<double> x = GetParam().track;
    instfreq::ifGapFill(x.data(), static_cast<int>(x.size()), GetParam().maxValue);
    ASSERT_EQ(x.size(), GetParam().want.size());
    for (std::size_t i = 0; i < x.size(); ++i) EXPECT_NEAR(x[i], GetParam().want[i], 1e-15) << "index " << i;
}

const double kNan = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Runs, GapFill,
    ::testing::Values(GapCase{"leading_rises_from_zero", {kNan, -1.0, 3.0, 5.0}, 10.0, {1.0, 2.0, 3.0, 5.0}},
                      GapCase{"trailing_falls_to_zero", {4.0, kNan, 11.0, kInf}, 10.0, {4.0, 3.0, 2.0, 1.0}},
                      GapCase{"all_invalid", {0.0, kNan, -2.0, 12.0}, 10.0, {0.0, 0.0, 0.0, 0.0}},
                      GapCase{"above_max_invalid_max_valid", {5.0, 10.5, 7.0, 10.0}, 10.0, {5.0, 6.0, 7.0, 10.0}},
                      GapCase{"zero_invalid", {0.0, 4.0}, 10.0, {2.0, 4.0}},
                      GapCase{"single_invalid", {kNan}, 3.0, {0.0}},
                      GapCase{"single_valid", {3.0}, 3.0, {3.0}},
                      GapCase{"zero_max_nothing_valid", {0.0, 1.0}, 0.0, {0.0, 0.0}}),
    [](const ::testing::TestParamInfo<GapCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace varnel
