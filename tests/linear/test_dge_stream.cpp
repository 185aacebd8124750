#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "support/allocation_faults.h"
#include "test_dgt_support.h"

namespace varnel::testing::gabor {
namespace {

class DgeStream : public PlanCacheTest {};

// One block against the unwrapped overlap-add: out[t] = A[t] + state[t],
// the new state the L - dM accumulator values after the block.
TEST_F(DgeStream, BlockIsTheUnwrappedOverlapAddPlusTheCarriedState) {
    for (const auto& [F, c] : {std::pair{5, LatticeCase{16, 4, 8}}, std::pair{2, LatticeCase{32, 8, 16}},
                               std::pair{3, LatticeCase{8, 8, 8}}, std::pair{6, LatticeCase{4, 1, 2}}}) {
        SCOPED_TRACE(::testing::Message() << "F=" << F << " L=" << c.L << " dM=" << c.dM);
        const std::vector<double> g = randomReals(c.L, 61);
        const WindowSpec spec = makeSpec(g, c.dM, c.N);
        const std::vector<double> coef = randomReals(static_cast<std::size_t>(F) * c.N, 62);
        const std::int32_t overlap = c.L - c.dM, P = F * c.dM;
        const std::vector<double> carried = randomReals(overlap, 63);
        std::vector<double> state = carried, out(P + 1, kSentinel);
        state.push_back(kSentinel);
        std::int32_t stateLength = overlap;
        ASSERT_EQ(ReDGEWithIC(coef.data(), F, c.N, &spec, out.data(), state.data(), &stateLength), kStatusOk);
        EXPECT_EQ(stateLength, overlap);
        EXPECT_EQ(out[P], kSentinel);
        EXPECT_EQ(state[overlap], kSentinel);

        std::vector<LongComplex> want = overlapAdd(halfComplexFrames(coef.data(), F, c.N), g, c.dM, c.N);
        for (std::int32_t i = 0; i < overlap; ++i) want[i] += carried[i];
        std::vector<double> got(out.begin(), out.begin() + P);
        got.insert(got.end(), state.begin(), state.begin() + overlap);
        want.resize(got.size());
        EXPECT_LT(relativeRmsError(want, realValues(got)), 1e-13);
    }
}

// Blocks whose F*dM is a multiple of N continue one long call exactly.
TEST_F(DgeStream, BlocksOfWholeBinCountsContinueOneLongCall) {
    const LatticeCase c{32, 4, 16};
    const std::vector<double> g = randomReals(c.L, 64);
    const WindowSpec spec = makeSpec(g, c.dM, c.N);
    const std::vector<std::int32_t> blocks = {4, 12, 8, 4, 16};  // frames; multiples of N/dM
    const std::int32_t total = 44;
    const std::vector<double> coef = randomReals(static_cast<std::size_t>(total) * c.N, 65);

    std::vector<double> whole(total * c.dM), wholeState(c.L - c.dM);
    std::int32_t wholeLength = 0;
    ASSERT_EQ(ReDGEWithIC(coef.data(), total, c.N, &spec, whole.data(), wholeState.data(), &wholeLength), kStatusOk);

    std::vector<double> streamed, state(c.L - c.dM);
    std::int32_t stateLength = 0;
    std::size_t offset = 0;
    for (const std::int32_t F : blocks) {
        std::vector<double> out(F * c.dM);
        ASSERT_EQ(ReDGEWithIC(coef.data() + offset, F, c.N, &spec, out.data(), state.data(), &stateLength), kStatusOk);
        streamed.insert(streamed.end(), out.begin(), out.end());
        offset += static_cast<std::size_t>(F) * c.N;
    }
    EXPECT_LT(maxAbsDifference(streamed, whole), 1e-13 * maxAbs(whole));
    EXPECT_LT(maxAbsDifference(state, wholeState), 1e-13 * maxAbs(whole));
}

TEST_F(DgeStream, StateCountOutsideTheOverlapIsRefused) {
    const std::vector<double> g = randomReals(16, 66), coef = randomReals(64, 67);
    const WindowSpec spec = makeSpec(g, 4, 8);
    std::vector<double> out(32, kSentinel), state(16, kSentinel);
    for (const std::int32_t bad : {-1, 13, 1 << 30}) {
        std::int32_t stateLength = bad;
        EXPECT_EQ(ReDGEWithIC(coef.data(), 2, 8, &spec, out.data(), state.data(), &stateLength), kStatusBadLength);
        EXPECT_EQ(stateLength, bad);
    }
    EXPECT_EQ(ReDGEWithIC(coef.data(), 2, 8, &spec, out.data(), state.data(), nullptr), kStatusBadLength);
    // A time step that is not a power of two suits only the one-shot expansion.
    const std::vector<double> g24 = randomReals(24, 68);
    const WindowSpec sixes = makeSpec(g24, 6, 8);
    std::int32_t stateLength = 0;
    EXPECT_EQ(ReDGEWithIC(coef.data(), 2, 8, &sixes, out.data(), state.data(), &stateLength), kStatusBadWindowSpec);
    EXPECT_TRUE(allEqual(out, kSentinel) && allEqual(state, kSentinel));
    EXPECT_EQ(ReDGE(coef.data(), 2, 8, &sixes, out.data(), 12), kStatusOk);
}

}  // namespace
}  // namespace varnel::testing::gabor
