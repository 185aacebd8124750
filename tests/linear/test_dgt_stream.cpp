#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
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

TEST_F(DgtStream, FramesAreTheWrittenOutSumOverHistoryAndBlock) {
    const std::vector<double> g = randomReals(16, 1);
    const WindowSpec spec = makeSpec(g, 4, 8);
    const std::vector<double> kept = randomReals(5, 2), x = randomReals(37, 3);
    std::vector<double> combined = kept;
    combined.insert(combined.end(), x.begin(), x.end());

    const Stream s = streamTransform(x, {37}, spec, kept);
    ASSERT_EQ(s.framesPerCall[0], 7);  // (42 - 16)/4 + 1
    EXPECT_LT(relativeRmsError(directBlockFrames(combined, g, 4, 8, 7), halfComplexFrames(s.coef.data(), 7, 8)), 1e-13);
    ASSERT_EQ(s.historyLength, 14);  // from the eighth frame's start on
    for (int i = 0; i < 14; ++i) EXPECT_EQ(s.history[i], combined[28 + i]);
}

// Blocks too short for a window are kept whole; the call that completes
// exactly one window transforms it, also with a unit time step.
TEST_F(DgtStream, ShortBlocksAccumulateUntilAWindowFits) {
    for (const LatticeCase c : {LatticeCase{16, 4, 8}, LatticeCase{4, 1, 4}, LatticeCase{8, 8, 8}}) {
        SCOPED_TRACE(::testing::Message() << "L=" << c.L << " dM=" << c.dM);
        const std::vector<double> g = randomReals(c.L, 4);
        const WindowSpec spec = makeSpec(g, c.dM, c.N);
        const std::vector<double> x = randomReals(c.L, 5);
        const std::int32_t first = c.L / 2 + 1;
        const Stream s = streamTransform(x, {first, c.L - first}, spec, {});
        EXPECT_EQ(s.framesPerCall, (std::vector<std::int64_t>{0, 1}));
        EXPECT_LT(relativeRmsError(directBlockFrames(x, g, c.dM, c.N, 1), halfComplexFrames(s.coef.data(), 1, c.N)),
                  1e-13);
        EXPECT_EQ(s.historyLength, c.L - c.dM);
    }
}

// With L - dM zeros as the starting history and blocks of multiples of N
// samples, every call yields n/dM frames and the stream is one long call.
TEST_F(DgtStream, BlocksOfWholeBinCountsGiveTheFramesOfOneLongCall) {
    const std::vector<double> g = randomReals(32, 6);
    const WindowSpec spec = makeSpec(g, 8, 16);
    const std::vector<std::int32_t> blocks = {16, 48, 32, 16, 64};
    const std::vector<double> x = randomReals(176, 7);
    const std::vector<double> zeros(32 - 8, 0.0);

    const Stream streamed = streamTransform(x, blocks, spec, zeros);
    const Stream whole = streamTransform(x, {176}, spec, zeros);
    EXPECT_EQ(streamed.framesPerCall, (std::vector<std::int64_t>{2, 6, 4, 2, 8}));
    ASSERT_EQ(streamed.coef.size(), whole.coef.size());
    EXPECT_LT(maxAbsDifference(streamed.coef, whole.coef), 1e-13 * maxAbs(whole.coef));
    EXPECT_EQ(streamed.historyLength, whole.historyLength);
    for (std::int32_t i = 0; i < whole.historyLength; ++i) EXPECT_EQ(streamed.history[i], whole.history[i]);
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

TEST_F(DgtStream, InvalidArgumentsLeaveTheHistoryAlone) {
    const std::vector<double> g = randomReals(24, 11), x = randomReals(48, 12);
    std::vector<double> out(256, kSentinel), history(32, kSentinel);
    std::int32_t historyLength = -1;
    const WindowSpec spec = makeSpec(g, 4, 8);
    EXPECT_EQ(ReDGTWithIC(x.data(), 48, history.data(), &historyLength, &spec, out.data()), kStatusBadLength);
    EXPECT_EQ(ReDGTWithIC(x.data(), 48, history.data(), nullptr, &spec, out.data()), kStatusBadLength);
    EXPECT_EQ(historyLength, -1);
    // A time step of 6 suits the one-shot transform but not the stream.
    historyLength = 0;
    const WindowSpec sixes = makeSpec(g, 6, 8);
    EXPECT_EQ(ReDGTWithIC(x.data(), 48, history.data(), &historyLength, &sixes, out.data()), kStatusBadWindowSpec);
    EXPECT_EQ(historyLength, 0);
    EXPECT_TRUE(allEqual(out, kSentinel) && allEqual(history, kSentinel));
    EXPECT_EQ(ReDGT(x.data(), 48, &sixes, out.data()), kStatusOk);
}

}  // namespace
}  // namespace varnel::testing::gabor
