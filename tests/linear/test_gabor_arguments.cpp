// Which Gabor transform and expansion calls are refused, with which status
// and in what order; a refused call writes nothing.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <tuple>
#include <utility>
#include <vector>

#include "test_dgt_support.h"

namespace varnel::testing::gabor {
namespace {

// Lattices that break one rule each, over a valid window array.
struct BadSpec {
    const char* what;
    std::int32_t L, dM, N;
    bool nullWindow = false;
    WindowSpec on(const std::vector<double>& w) const { return {nullWindow ? nullptr : w.data(), L, dM, N}; }
};
const BadSpec kBadSpecs[] = {
    {"L not a multiple of N", 12, 4, 8}, {"N not a power of two", 12, 4, 6}, {"N smaller than dM", 16, 8, 4},
    {"L not a multiple of dM", 16, 3, 4}, {"zero time step", 8, 0, 8},       {"zero bins", 8, 4, 0},
    {"negative time step", 8, -4, 8},    {"zero window length", 0, 4, 8},   {"negative window length", -8, 4, 8},
    {"negative bins", 8, 4, -8},         {"missing window", 8, 4, 8, true},
};

using Call = std::function<std::int32_t(const WindowSpec*, std::int32_t)>;

class GaborArguments : public PlanCacheTest {
protected:
    // The bin count handed to an expansion: the spec's own, so that only
    // the spec can be at fault.
    static std::int32_t binsOf(const WindowSpec* s) { return s != nullptr && s->binCount > 0 ? s->binCount : 8; }

    // Every export behind one signature: the count is the signal length,
    // the frame count (and output length), or every side of an image; the
    // 2-D exports take the spec in one dimension and `good` in the other.
    std::vector<std::pair<const char*, Call>> calls() {
        const double* c = x.data();
        double *o = out.data(), *k = kept.data();
        std::int32_t* kl = &keptLength;
        return {
            {"ReDGT", [=](auto s, auto n) { return ReDGT(c, n, s, o); }},
            {"CxDGT", [=](auto s, auto n) { return CxDGT(c, n, s, o); }},
            {"CxDGTEx", [=](auto s, auto n) { return CxDGTEx(c, c + 1, 2, n, s, o, o + 1, 2); }},
            {"ReDGTWithIC", [=](auto s, auto n) { return ReDGTWithIC(c, n, k, kl, s, o); }},
            {"ReDGE", [=](auto s, auto F) { return ReDGE(c, F, binsOf(s), s, o, F); }},
            {"CxDGE", [=](auto s, auto F) { return CxDGE(c, F, binsOf(s), s, o, F); }},
            {"CxDGEEx", [=](auto s, auto F) { return CxDGEEx(c, c + 1, 2, F, binsOf(s), s, o, o + 1, 2, F); }},
            {"ReDGEWithIC", [=](auto s, auto F) { return ReDGEWithIC(c, F, binsOf(s), s, o, k, kl); }},
            {"DGT2d rows", [=, this](auto s, auto n) { return DGT2d(c, n, n, s, &good, o); }},
            {"DGT2d columns", [=, this](auto s, auto n) { return DGT2d(c, n, n, &good, s, o); }},
            {"DGE2d rows", [=, this](auto s, auto F) { return DGE2d(c, F, binsOf(s), F, 8, s, &good, o, F, F); }},
            {"DGE2d columns", [=, this](auto s, auto F) { return DGE2d(c, F, 8, F, binsOf(s), &good, s, o, F, F); }},
        };
    }
    bool untouched() const { return allEqual(out, kSentinel) && allEqual(kept, kSentinel) && keptLength == 0; }

    std::vector<double> window = std::vector<double>(64, 1.0), x = randomReals(2 * 160 * 160, 7);
    std::vector<double> out = std::vector<double>(4096, kSentinel), kept = std::vector<double>(64, kSentinel);
    std::int32_t keptLength = 0;
    WindowSpec good{window.data(), 16, 4, 8};
};

// Counts before the spec, then each of the spec's rules, in every export.
TEST_F(GaborArguments, CountsThenSpecRefusedInEveryExport) {
    const WindowSpec bad = kBadSpecs[0].on(window);
    for (const auto& [name, call] : calls()) {
        SCOPED_TRACE(name);
        for (const std::int32_t count : {0, -1}) {
            EXPECT_EQ(call(&good, count), kStatusBadLength);
            EXPECT_EQ(call(&bad, count), kStatusBadLength);
        }
        for (const BadSpec& b : kBadSpecs) {
            const WindowSpec spec = b.on(window);
            EXPECT_EQ(call(&spec, 20), kStatusBadWindowSpec) << b.what;
        }
        EXPECT_EQ(call(nullptr, 20), kStatusBadWindowSpec);
        ASSERT_TRUE(untouched());
        EXPECT_EQ(call(&good, 20), kStatusOk) << "the other arguments must be good";
        std::fill(out.begin(), out.end(), kSentinel), std::fill(kept.begin(), kept.end(), kSentinel), keptLength = 0;
    }
}

// The expansions' other counts; a bin count that differs from the spec's.
TEST_F(GaborArguments, ExpansionCountsAndBinsRefused) {
    const double* c = x.data();
    double* o = out.data();
    const WindowSpec bad = kBadSpecs[0].on(window);
    using Counts = std::tuple<std::int32_t, std::int32_t, std::int32_t>;  // N, outLength, status
    for (const auto& [N, outLength, status] :
         {Counts{0, 8, kStatusBadLength}, Counts{-8, 8, kStatusBadLength}, Counts{8, 0, kStatusBadLength},
          Counts{8, -1, kStatusBadLength}, Counts{16, 8, kStatusBadWindowSpec}, Counts{4, 8, kStatusBadWindowSpec}}) {
        SCOPED_TRACE(::testing::Message() << "N " << N << " out " << outLength);
        const WindowSpec* s = status == kStatusBadLength ? &bad : &good;  // counts come before the spec
        EXPECT_EQ(ReDGE(c, 3, N, s, o, outLength), status);
        EXPECT_EQ(CxDGE(c, 3, N, s, o, outLength), status);
        EXPECT_EQ(CxDGEEx(c, c + 1, 2, 3, N, s, o, o + 1, 2, outLength), status);
        EXPECT_EQ(DGE2d(c, 3, N, 3, 8, s, &good, o, outLength, 10), status);
        EXPECT_EQ(DGE2d(c, 3, 8, 3, N, &good, s, o, 10, outLength), status);
        if (outLength > 0) EXPECT_EQ(ReDGEWithIC(c, 3, N, s, o, kept.data(), &keptLength), status);
    }
    EXPECT_TRUE(untouched());
}

// A signal, row or column of a single time step would ask the STFT for
// exactly one window of samples.
TEST_F(GaborArguments, OneTimeStepIsTooShort) {
    const WindowSpec short8{window.data(), 8, 4, 8};
    EXPECT_EQ(ReDGT(x.data(), 4, &short8, out.data()), kStatusBadLength);
    EXPECT_EQ(DGT2d(x.data(), 4, 20, &short8, &short8, out.data()), kStatusBadLength);
    EXPECT_EQ(DGT2d(x.data(), 20, 4, &short8, &short8, out.data()), kStatusBadLength);
    EXPECT_TRUE(untouched());
}

// A history or state count no earlier call could have left, and a time
// step of 6 (fine for the one-shot calls, not for the streams).
TEST_F(GaborArguments, StreamsRefuseForeignCountsAndSteps) {
    const WindowSpec sixes{window.data(), 24, 6, 8};
    for (const std::int32_t bad : {-1, 13, 1 << 30}) {
        std::int32_t count = bad;
        EXPECT_EQ(ReDGEWithIC(x.data(), 2, 8, &good, out.data(), kept.data(), &count), kStatusBadLength);
        if (bad < 0) EXPECT_EQ(ReDGTWithIC(x.data(), 48, kept.data(), &count, &good, out.data()), kStatusBadLength);
        EXPECT_EQ(count, bad);
    }
    EXPECT_EQ(ReDGEWithIC(x.data(), 2, 8, &good, out.data(), kept.data(), nullptr), kStatusBadLength);
    EXPECT_EQ(ReDGTWithIC(x.data(), 48, kept.data(), nullptr, &good, out.data()), kStatusBadLength);
    EXPECT_EQ(ReDGTWithIC(x.data(), 48, kept.data(), &keptLength, &sixes, out.data()), kStatusBadWindowSpec);
    EXPECT_EQ(ReDGEWithIC(x.data(), 2, 8, &sixes, out.data(), kept.data(), &keptLength), kStatusBadWindowSpec);
    EXPECT_TRUE(untouched());
    EXPECT_EQ(ReDGT(x.data(), 48, &sixes, out.data()), kStatusOk);
    EXPECT_EQ(ReDGE(x.data(), 2, 8, &sixes, out.data(), 12), kStatusOk);
}

}  // namespace
}  // namespace varnel::testing::gabor
