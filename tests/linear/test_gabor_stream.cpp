// The block-wise transform and expansion: each call against the written-out
// sums, and a stream of blocks against one long call.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numeric>
#include <vector>

#include "test_dgt_support.h"

namespace varnel::testing::gabor {
namespace {

class DgtStream : public PlanCacheTest {};

struct Stream {
    std::vector<double> coef;  // all frames, in order
    std::vector<std::int64_t> framesPerCall;
    std::vector<double> history;
    std::int32_t historyLength;
};

// Feeds x block by block, checking that no call writes past its frames.
Stream streamTransform(const std::vector<double>& x, const std::vector<std::int32_t>& blocks, const WindowSpec& spec,
                       const std::vector<double>& initialHistory) {
    const std::int32_t L = spec.windowLength, dM = spec.timeStep, N = spec.binCount;
    Stream s{{}, {}, initialHistory, static_cast<std::int32_t>(initialHistory.size())};
    s.history.resize(std::max<std::size_t>(initialHistory.size(), L - 1), kSentinel);
    std::size_t start = 0;
    for (const std::int32_t n : blocks) {
        const std::int64_t total = s.historyLength + n;
        const std::int64_t frames = total < L ? 0 : (total - L) / dM + 1;
        std::vector<double> out(static_cast<std::size_t>((total / dM + 1) * N), kSentinel);
        EXPECT_EQ(ReDGTWithIC(x.data() + start, n, s.history.data(), &s.historyLength, &spec, out.data()), kStatusOk);
        EXPECT_EQ(s.historyLength, total - frames * dM);
        EXPECT_LT(s.historyLength, L);
        EXPECT_EQ(out[frames * N], kSentinel) << "more frames than fit";
        s.coef.insert(s.coef.end(), out.begin(), out.begin() + frames * N);
        s.framesPerCall.push_back(frames);
        start += n;
    }
    return s;
}

// Frames over the kept history followed by the blocks, against the
// written-out sum; blocks too short for a window are kept whole, and the
// call that completes exactly one window transforms it, also with a unit
// time step. What is left is kept from the first frame not made.
TEST_F(DgtStream, FramesAreTheWrittenOutSumOverHistoryAndBlocks) {
    struct Case {
        LatticeCase c;
        std::int32_t kept;
        std::vector<std::int32_t> blocks;
        std::vector<std::int64_t> frames;
    };
    for (const Case& cs : {Case{{16, 4, 8}, 5, {37}, {7}}, Case{{16, 4, 8}, 0, {9, 7}, {0, 1}},
                           Case{{4, 1, 4}, 0, {3, 1}, {0, 1}}, Case{{8, 8, 8}, 0, {5, 3}, {0, 1}}}) {
        const LatticeCase c = cs.c;
        SCOPED_TRACE(::testing::Message() << "L=" << c.L << " dM=" << c.dM << " kept " << cs.kept);
        const std::vector<double> g = randomReals(c.L, 1), kept = randomReals(cs.kept, 2);
        std::vector<double> combined = kept, x = randomReals(std::accumulate(cs.blocks.begin(), cs.blocks.end(), 0), 3);
        combined.insert(combined.end(), x.begin(), x.end());
        const Stream s = streamTransform(x, cs.blocks, makeSpec(g, c.dM, c.N), kept);
        ASSERT_EQ(s.framesPerCall, cs.frames);
        const std::int64_t F = std::accumulate(cs.frames.begin(), cs.frames.end(), std::int64_t{0});
        EXPECT_LT(relativeRmsError(directBlockFrames(combined, g, c.dM, c.N, F), halfComplexFrames(s.coef.data(), F, c.N)),
                  1e-13);
        ASSERT_EQ(s.historyLength, static_cast<std::int64_t>(combined.size()) - F * c.dM);
        for (std::int32_t i = 0; i < s.historyLength; ++i) EXPECT_EQ(s.history[i], combined[F * c.dM + i]);
    }
}

// Each call's frames handed to the streaming expansion as one block: with
// an aperiodic dual, the output is the input delayed by L - dM samples.
TEST_F(DgtStream, StreamingExpansionOfEachCallRebuildsTheDelayedSignal) {
    const LatticeCase c{16, 4, 8};
    const WindowPair pair = gaussianPair(c, 1);
    const WindowSpec analysis = makeSpec(pair.dual, c.dM, c.N), synthesis = makeSpec(pair.window, c.dM, c.N);
    const std::vector<std::int32_t> blocks = {13, 3, 40, 8, 21, 64, 7, 36};
    const std::vector<double> x = randomReals(192, 10);
    const Stream s = streamTransform(x, blocks, analysis, std::vector<double>(c.L - c.dM, 0.0));

    std::vector<double> rebuilt, state(c.L - c.dM, kSentinel);
    std::int32_t stateLength = 0;
    std::size_t offset = 0;
    for (const std::int64_t frames : s.framesPerCall) {
        if (frames == 0) continue;
        std::vector<double> block(frames * c.dM);
        ASSERT_EQ(ReDGEWithIC(s.coef.data() + offset, static_cast<std::int32_t>(frames), c.N, &synthesis, block.data(),
                              state.data(), &stateLength),
                  kStatusOk);
        rebuilt.insert(rebuilt.end(), block.begin(), block.end());
        offset += frames * c.N;
    }
    ASSERT_EQ(rebuilt.size(), x.size());
    const std::size_t delay = c.L - c.dM;
    double worst = 0.0;
    for (std::size_t t = delay; t < rebuilt.size(); ++t) worst = std::max(worst, std::abs(rebuilt[t] - x[t - delay]));
    EXPECT_LT(worst, 1e-12 * maxAbs(x));
}


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

}  // namespace
}  // namespace varnel::testing::gabor
