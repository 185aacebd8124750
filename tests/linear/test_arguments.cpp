// Which calls of the linear exports are refused, with which status and in
// what order; a refused call writes nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <functional>
#include <tuple>
#include <utility>
#include <vector>

#include "frame/scratch.h"
#include "support/fft_fixtures.h"
#include "support/reference_dft.h"
#include "varnel.h"

namespace varnel::testing::gabor {
namespace {

// Written into outputs before a call that must not write them.
constexpr double kSentinel = -31415.9265;

bool allEqual(const std::vector<double>& a, double value) {
    return std::all_of(a.begin(), a.end(), [=](double v) { return v == value; });
}

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
    // The bin count handed to an expansion: the WindowSpec's own, so that
    // only the WindowSpec can be at fault.
    static std::int32_t binsOf(const WindowSpec* s) { return s != nullptr && s->binCount > 0 ? s->binCount : 8; }

    // Every export behind one signature: the count is the signal length,
    // the frame count (and output length), or every side of an image; the
    // 2-D exports take the WindowSpec in one dimension and `good` in the other.
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

// Counts before the WindowSpec, then each of its rules, in every export.
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

// The expansions' other counts; a bin count that differs from the WindowSpec's.
TEST_F(GaborArguments, ExpansionCountsAndBinsRefused) {
    const double* c = x.data();
    double* o = out.data();
    const WindowSpec bad = kBadSpecs[0].on(window);
    using Counts = std::tuple<std::int32_t, std::int32_t, std::int32_t>;  // N, outLength, status
    for (const auto& [N, outLength, status] :
         {Counts{0, 8, kStatusBadLength}, Counts{-8, 8, kStatusBadLength}, Counts{8, 0, kStatusBadLength},
          Counts{8, -1, kStatusBadLength}, Counts{16, 8, kStatusBadWindowSpec}, Counts{4, 8, kStatusBadWindowSpec}}) {
        SCOPED_TRACE(::testing::Message() << "N " << N << " out " << outLength);
        const WindowSpec* s = status == kStatusBadLength ? &bad : &good;  // counts come first
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

// The carried samples (history: max(kept, L - 1), state: L - dM) may end
// where the output begins, and not one sample later.
TEST_F(GaborArguments, StreamsCarriedSamplesMayEndWhereTheOutputBegins) {
    for (const std::int32_t gap : {0, -1}) {
        std::vector<double> shared(128, kSentinel);
        std::int32_t count = 0;
        const std::int32_t want = gap == 0 ? kStatusOk : kStatusBadLength;
        EXPECT_EQ(ReDGTWithIC(x.data(), 48, shared.data(), &count, &good, shared.data() + 15 + gap), want);
        count = 0;
        EXPECT_EQ(ReDGEWithIC(x.data(), 3, 8, &good, shared.data() + 12 + gap, shared.data(), &count), want);
    }
}

TEST_F(GaborArguments, UnsupportedComplexLayoutIsRefusedWithoutOutput) {
    const std::vector<double> g = randomReals(8, 8);
    const WindowSpec spec{g.data(), 8, 4, 8};
    const std::vector<double> x = randomReals(40, 9);
    std::vector<double> re(64, kSentinel), im(64, kSentinel);
    const auto run = [&](std::size_t reAt, std::size_t imAt, std::int32_t stride, std::int32_t n, const WindowSpec& s) {
        return CxDGTEx(x.data() + reAt, x.data() + imAt, stride, n, &s, re.data(), im.data(), 1);
    };
    const int layouts[][3] = {{0, 1, 3}, {0, 2, 2}, {1, 0, 2}, {0, 1, 0}};  // re at, im at, stride
    for (const auto& [reAt, imAt, stride] : layouts)
        EXPECT_EQ(run(reAt, imAt, stride, 12, spec), kStatusBadLayout) << reAt << " " << imAt << " " << stride;
    // A bad length or spec is reported before the layout, the layout
    // before the plan is taken (and after the scratch).
    EXPECT_EQ(run(0, 2, 2, 0, spec), kStatusBadLength);
    EXPECT_EQ(run(0, 2, 2, 12, WindowSpec{g.data(), 8, 4, 6}), kStatusBadWindowSpec);
    scratch_testing::failAllocationAt(2);
    EXPECT_EQ(run(0, 2, 2, 12, spec), kStatusBadLayout);
    scratch_testing::failAllocationAt(1);
    EXPECT_EQ(run(0, 2, 2, 12, spec), kStatusNoMemory);
    scratch_testing::failAllocationAt(0);
    EXPECT_TRUE(allEqual(re, kSentinel) && allEqual(im, kSentinel));
}

class StftArguments : public PlanCacheTest {};

// Every STFT export refuses a signal no longer than the window before
// looking at the grid, then the grid, then a missing window; the shift and
// the output stay as they were.
TEST_F(StftArguments, RefusedInOrderWithNothingWritten) {
    struct Case {
        std::int32_t n, length, step, m;
        bool nullWindow, nullSpec;
        std::int32_t status;
    };
    const Case cases[] = {
        {8, 8, 1, 8, false, false, kStatusBadLength},        {5, 8, 1, 8, false, false, kStatusBadLength},
        {8, 8, 0, 3, false, false, kStatusBadLength},        {0, 0, 1, 8, false, false, kStatusBadLength},
        {20, 8, 0, 8, false, false, kStatusBadWindowSpec},   {20, 8, -4, 8, false, false, kStatusBadWindowSpec},
        {20, 8, 1, 0, false, false, kStatusBadWindowSpec},   {20, 8, 1, INT32_MIN, false, false, kStatusBadWindowSpec},
        {20, 8, 1, 3, false, false, kStatusBadWindowSpec},   {20, 8, 1, 12, false, false, kStatusBadWindowSpec},
        {20, 8, 1, 8, true, false, kStatusBadWindowSpec},    {8, 8, 1, 8, true, false, kStatusBadLength},
        {20, 8, 1, 8, false, true, kStatusBadWindowSpec}};
    const std::vector<double> x(2 * 64, 0.5), window(64, 1.0);
    for (const Case& a : cases) {
        SCOPED_TRACE(::testing::Message() << "n " << a.n << " L " << a.length << " D " << a.step << " M " << a.m);
        const WindowSpec spec{a.nullWindow ? nullptr : window.data(), a.length, a.step, a.m};
        const WindowSpec* s = a.nullSpec ? nullptr : &spec;
        const double* in = x.data();
        std::vector<double> out(2 * 1024, kSentinel);
        double* o = out.data();
        std::int32_t shift = 77;
        const std::int32_t got[] = {ReSTFT(in, a.n, s, o), ReSTFTWithShift(in, a.n, s, &shift, o),
                                    CxSTFT(in, a.n, s, o), CxSTFTEx(in, in + 1, 2, a.n, s, o, o + 1024, 1),
                                    CxSTFTExWithShift(in, in + 1, 2, a.n, s, &shift, o, o + 1024, 1),
                                    ReSTFTsp(in, a.n, s, o), CxSTFTsp(in, a.n, s, o)};
        for (int k = 0; k < 7; ++k) EXPECT_EQ(got[k], a.status) << "export " << k;
        EXPECT_EQ(shift, 77);
        EXPECT_TRUE(allEqual(out, kSentinel));
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
            << "L " << cs.L << " dM " << cs.dM << " N " << cs.N << " mode " << cs.mode;
        for (double x : dual) EXPECT_EQ(x, -7.0);
    }
}

// An unknown mode is reported before the lengths; a side of no samples is
// no work for any rule. Nothing is written in either case.
TEST(Extension, RefusedAndEmptyCallsWriteNothing) {
    const double a = 1.25, b = -2.5, c = 4.0;
    struct Case {
        std::vector<double> x;
        int mode, m;
        std::int32_t status;
    };
    std::vector<Case> cases = {
        {{a}, Linear, 3, kStatusBadLength},           {{}, Linear, 3, kStatusBadLength},
        {{a, b}, Quadratic, 3, kStatusBadLength},     {{}, Periodic, 3, kStatusBadLength},
        {{a, b, c}, Zero, -1, kStatusBadLength},      {{a, b, c}, Quadratic, -4, kStatusBadLength},
        {{a, b, c}, 4, 3, kStatusBadExtensionMode},   {{a, b, c}, 7, 3, kStatusBadExtensionMode},
        {{a, b, c}, -1, 3, kStatusBadExtensionMode},  {{a, b, c}, INT_MIN, 3, kStatusBadExtensionMode},
        {{a, b, c}, INT_MAX, 3, kStatusBadExtensionMode}};
    for (int mode : {Zero, Symmetric, Periodic, TaperedSymmetric, Linear, Quadratic})
        cases.push_back({{a, b, c, c, b, a}, mode, 0, kStatusOk});
    for (const Case& cs : cases) {
        SCOPED_TRACE(::testing::Message() << "mode " << cs.mode << " n " << cs.x.size() << " m " << cs.m);
        const int n = static_cast<int>(cs.x.size());
        std::vector<double> left(4, kSentinel), right(4, kSentinel);
        EXPECT_EQ(ReExtension(cs.x.data(), n, cs.mode, cs.m, left.data(), right.data()), cs.status);
        // The same samples read as complex pairs, where the count allows.
        if (n % 2 == 0) EXPECT_EQ(CxExtension(cs.x.data(), n / 2, cs.mode, cs.m, left.data(), right.data()), cs.status);
        EXPECT_TRUE(left == std::vector<double>(4, kSentinel) && right == left);
    }
    EXPECT_EQ(ReExtension(nullptr, 0, 4, -1, nullptr, nullptr), kStatusBadExtensionMode);
}

}  // namespace
}  // namespace varnel::testing::gabor
