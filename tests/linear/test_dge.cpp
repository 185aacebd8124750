#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>
#include <vector>

#include "support/allocation_faults.h"
#include "test_dgt_support.h"

namespace varnel::testing::gabor {
namespace {

struct PairCase {
    LatticeCase lattice;
    std::int32_t mode;  // FastDual mode of the analysis window
    std::int32_t n;
};

std::ostream& operator<<(std::ostream& os, const PairCase& c) {
    return os << "L=" << c.lattice.L << " dM=" << c.lattice.dM << " N=" << c.lattice.N << " mode " << c.mode
              << " n=" << c.n;
}

// The periodic dual rebuilds signals of exactly one window; the aperiodic
// one any signal whose padded period spans at least half a window.
const PairCase kPairCases[] = {
    {{16, 4, 8}, 0, 16},     {{32, 8, 16}, 0, 32},    {{64, 16, 32}, 0, 64},   {{16, 4, 8}, 1, 16},
    {{16, 4, 8}, 1, 20},     {{16, 4, 8}, 1, 40},     {{16, 4, 8}, 1, 9},      {{32, 8, 16}, 1, 100},
    {{64, 16, 32}, 1, 1000}, {{128, 16, 32}, 1, 333}, {{256, 32, 64}, 1, 777}, {{8, 4, 8}, 0, 8},
};

class GaborPair : public PlanCacheTestWithParam<PairCase> {};

constexpr double kReconstruction = 1e-12;

TEST_P(GaborPair, TransformThenExpansionReturnsTheSignal) {
    const auto [c, mode, n] = GetParam();
    const WindowPair pair = gaussianPair(c, mode);
    const WindowSpec analysis = makeSpec(pair.dual, c.dM, c.N), synthesis = makeSpec(pair.window, c.dM, c.N);
    const std::int32_t frames = (n + c.dM - 1) / c.dM;
    for (const int parts : {1, 2}) {  // real, then complex (Cx) samples
        SCOPED_TRACE(parts == 1 ? "real" : "complex");
        const std::vector<double> x = randomReals(parts * static_cast<std::size_t>(n), 30 + parts);
        std::vector<double> coef(parts * static_cast<std::size_t>(frames) * c.N), rebuilt(x.size());
        ASSERT_EQ((parts == 1 ? ReDGT : CxDGT)(x.data(), n, &analysis, coef.data()), kStatusOk);
        ASSERT_EQ((parts == 1 ? ReDGE : CxDGE)(coef.data(), frames, c.N, &synthesis, rebuilt.data(), n), kStatusOk);
        EXPECT_LT(maxAbsDifference(rebuilt, x), kReconstruction * maxAbs(x));
    }
}

INSTANTIATE_TEST_SUITE_P(DualWindows, GaborPair, ::testing::ValuesIn(kPairCases));

struct ExpansionCase {
    std::int32_t F;
    LatticeCase lattice;
};

std::ostream& operator<<(std::ostream& os, const ExpansionCase& c) {
    return os << "F=" << c.F << " L=" << c.lattice.L << " dM=" << c.lattice.dM << " N=" << c.lattice.N;
}

// F*dM from just half a window (F = 1, L = 8, dM = 4, N = 4: the single
// frame's first half wraps onto its second) to many windows.
const ExpansionCase kExpansionCases[] = {
    {1, {8, 4, 4}},    {2, {8, 4, 8}}, {5, {16, 4, 8}}, {3, {32, 8, 16}},
    {9, {64, 16, 32}}, {7, {2, 1, 2}}, {4, {1, 1, 1}},  {10, {32, 2, 4}},
};

class ExpansionAgainstFormula : public PlanCacheTestWithParam<ExpansionCase> {};

constexpr double kTolerance = 1e-13;

TEST_P(ExpansionAgainstFormula, RealExpansionIsTheWrappedOverlapAdd) {
    const auto [F, c] = GetParam();
    const std::vector<double> g = randomReals(c.L, 41);
    const WindowSpec spec = makeSpec(g, c.dM, c.N);
    const std::vector<double> coef = randomReals(static_cast<std::size_t>(F) * c.N, 42);
    const std::vector<double> before = coef;
    const std::int32_t P = F * c.dM;
    std::vector<double> out(P + 1, kSentinel);
    ASSERT_EQ(ReDGE(coef.data(), F, c.N, &spec, out.data(), P), kStatusOk);
    EXPECT_EQ(out[P], kSentinel);
    out.pop_back();
    EXPECT_LT(
        relativeRmsError(periodicExpansion(halfComplexFrames(coef.data(), F, c.N), g, c.dM, c.N), realValues(out)),
        kTolerance);
    EXPECT_EQ(coef, before) << "coefficients modified";
}

TEST_P(ExpansionAgainstFormula, ComplexExpansionInEveryLayout) {
    const auto [F, c] = GetParam();
    const std::vector<double> g = randomReals(c.L, 43);
    const WindowSpec spec = makeSpec(g, c.dM, c.N);
    const std::int64_t count = std::int64_t{F} * c.N;
    const std::int32_t P = F * c.dM;
    const std::vector<double> re = randomReals(count, 44), im = randomReals(count, 45);
    const std::vector<LongComplex> want = periodicExpansion(complexValues(re, im), g, c.dM, c.N);

    for (const std::int32_t stride : {1, 2, 3}) {
        SCOPED_TRACE(::testing::Message() << "strides " << stride);
        std::vector<double> inRe(count * stride, 0.0), inIm(count * stride, 0.0);
        for (std::int64_t i = 0; i < count; ++i) {
            inRe[i * stride] = re[i];
            inIm[i * stride] = im[i];
        }
        std::vector<double> outRe(P * stride, kSentinel), outIm(P * stride, kSentinel);
        ASSERT_EQ(CxDGEEx(inRe.data(), inIm.data(), stride, F, c.N, &spec, outRe.data(), outIm.data(), stride, P),
                  kStatusOk);
        std::vector<LongComplex> got(P);
        for (std::int32_t t = 0; t < P; ++t) got[t] = {outRe[t * stride], outIm[t * stride]};
        EXPECT_LT(relativeRmsError(want, got), kTolerance);
        if (stride > 1) {
            EXPECT_EQ(outRe[1], kSentinel);
        }
    }
    std::vector<double> interleaved(2 * count), out(2 * P + 1, kSentinel);
    for (std::int64_t i = 0; i < count; ++i) {
        interleaved[2 * i] = re[i];
        interleaved[2 * i + 1] = im[i];
    }
    ASSERT_EQ(CxDGE(interleaved.data(), F, c.N, &spec, out.data(), P), kStatusOk);
    EXPECT_LT(relativeRmsError(want, interleavedValues(out.data(), P)), kTolerance);
    EXPECT_EQ(out[2 * P], kSentinel);
}

INSTANTIATE_TEST_SUITE_P(Lattices, ExpansionAgainstFormula, ::testing::ValuesIn(kExpansionCases));

class DgeCases : public PlanCacheTest {};

// Beyond the period the output is zero in every layout; a shorter output
// receives the period's first samples only.
TEST_F(DgeCases, OutputLengthTruncatesOrPadsWithZeros) {
    const std::vector<double> g = randomReals(16, 51);
    const WindowSpec spec = makeSpec(g, 4, 8);
    const std::vector<double> coef = randomReals(2 * 3 * 8, 52);  // F = 3, P = 12
    std::vector<double> full(12), longer(20, kSentinel), shorter(21, kSentinel);
    ASSERT_EQ(ReDGE(coef.data(), 3, 8, &spec, full.data(), 12), kStatusOk);
    ASSERT_EQ(ReDGE(coef.data(), 3, 8, &spec, longer.data(), 20), kStatusOk);
    ASSERT_EQ(ReDGE(coef.data(), 3, 8, &spec, shorter.data(), 5), kStatusOk);
    for (int t = 0; t < 20; ++t) EXPECT_EQ(longer[t], t < 12 ? full[t] : 0.0);
    for (int t = 0; t < 21; ++t) EXPECT_EQ(shorter[t], t < 5 ? full[t] : kSentinel);

    std::vector<double> cx(40, kSentinel), re(20, kSentinel), im(20, kSentinel), strided(60, kSentinel);
    ASSERT_EQ(CxDGE(coef.data(), 3, 8, &spec, cx.data(), 20), kStatusOk);
    ASSERT_EQ(CxDGEEx(coef.data(), coef.data() + 1, 2, 3, 8, &spec, re.data(), im.data(), 1, 20), kStatusOk);
    ASSERT_EQ(CxDGEEx(coef.data(), coef.data() + 1, 2, 3, 8, &spec, strided.data(), strided.data() + 1, 3, 20),
              kStatusOk);
    for (int t = 12; t < 20; ++t)
        for (const double v : {cx[2 * t], cx[2 * t + 1], re[t], im[t], strided[3 * t], strided[3 * t + 1]})
            EXPECT_EQ(v, 0.0) << "t " << t;
    for (int t = 0; t < 20; ++t) EXPECT_EQ(strided[3 * t + 2], kSentinel);
    for (int t = 0; t < 12; ++t) EXPECT_TRUE(cx[2 * t] == re[t] && cx[2 * t + 1] == im[t]) << "t " << t;
}

struct BadSpec {
    const char* what;
    std::int32_t L, dM, N;
    bool nullWindow = false;
};
const BadSpec kBadSpecs[] = {
    {"L not a multiple of N", 12, 4, 8},  {"N not a power of two", 12, 4, 6}, {"N smaller than dM", 16, 8, 4},
    {"L not a multiple of dM", 16, 3, 4}, {"zero time step", 8, 0, 8},        {"negative time step", 8, -4, 8},
    {"zero window length", 0, 4, 8},      {"missing window", 8, 4, 8, true},
};

// 1 for counts before the WindowSpec is read, 29 for a bad WindowSpec or a bin count
// that differs from its binCount; nothing written, state untouched.
TEST_F(DgeCases, InvalidArgumentsWriteNothing) {
    const std::vector<double> window(64, 1.0);
    const std::vector<double> coef = randomReals(512, 53);
    std::vector<double> out(512, kSentinel), out2(512, kSentinel), state(64, kSentinel);
    const auto run = [&](const WindowSpec* spec, std::int32_t F, std::int32_t N, std::int32_t outLength) {
        std::int32_t stateLength = 0;
        std::vector<std::int32_t> statuses = {
            ReDGE(coef.data(), F, N, spec, out.data(), outLength),
            CxDGE(coef.data(), F, N, spec, out.data(), outLength),
            CxDGEEx(coef.data(), coef.data() + 1, 2, F, N, spec, out.data(), out2.data(), 1, outLength),
        };
        if (outLength >= 1)
            statuses.push_back(ReDGEWithIC(coef.data(), F, N, spec, out.data(), state.data(), &stateLength));
        EXPECT_EQ(stateLength, 0);
        return statuses;
    };
    const WindowSpec good{window.data(), 16, 4, 8};
    const WindowSpec bad{window.data(), 12, 4, 8};
    const std::tuple<std::int32_t, std::int32_t, std::int32_t> badCounts[] = {{0, 8, 8},  {-3, 8, 8}, {3, 0, 8},
                                                                              {3, -8, 8}, {3, 8, 0},  {3, 8, -1}};
    for (const auto& [F, N, outLength] : badCounts) {
        for (const std::int32_t status : run(&good, F, N, outLength)) EXPECT_EQ(status, kStatusBadLength);
        for (const std::int32_t status : run(&bad, F, N, outLength)) EXPECT_EQ(status, kStatusBadLength);
    }
    for (const BadSpec& b : kBadSpecs) {
        const WindowSpec spec{b.nullWindow ? nullptr : window.data(), b.L, b.dM, b.N};
        for (const std::int32_t status : run(&spec, 3, b.N > 0 ? b.N : 8, 8))
            EXPECT_EQ(status, kStatusBadWindowSpec) << b.what;
    }
    for (const std::int32_t N : {16, 4})
        for (const std::int32_t status : run(&good, 3, N, 8)) EXPECT_EQ(status, kStatusBadWindowSpec) << "N differs";
    for (const std::int32_t status : run(nullptr, 3, 8, 8)) EXPECT_EQ(status, kStatusBadWindowSpec) << "no spec";
    EXPECT_TRUE(allEqual(out, kSentinel) && allEqual(out2, kSentinel) && allEqual(state, kSentinel));
}

TEST_F(DgeCases, AllocationFailuresAreReportedAndNothingLeaks) {
    const std::vector<double> g = randomReals(16, 54);
    const WindowSpec spec = makeSpec(g, 4, 8);
    const std::vector<double> coef = randomReals(2 * 5 * 8, 55);
    std::vector<double> out(2 * 20), out2(20);
    const auto expectStatus = [](bool expectFailure, std::int32_t status) {
        EXPECT_EQ(status, expectFailure ? kStatusNoMemory : kStatusOk);
    };
    sweepAllocationFaults([&](bool f) { expectStatus(f, ReDGE(coef.data(), 5, 8, &spec, out.data(), 20)); });
    sweepAllocationFaults([&](bool f) { expectStatus(f, CxDGE(coef.data(), 5, 8, &spec, out.data(), 20)); });
    sweepAllocationFaults([&](bool f) {
        expectStatus(f, CxDGEEx(coef.data(), coef.data() + 40, 1, 5, 8, &spec, out.data(), out2.data(), 1, 20));
    });
    const std::vector<double> kept = randomReals(12, 56);
    sweepAllocationFaults([&](bool f) {
        std::vector<double> state = kept;
        std::int32_t stateLength = 12;
        expectStatus(f, ReDGEWithIC(coef.data(), 4, 8, &spec, out.data(), state.data(), &stateLength));
        if (f) {
            EXPECT_EQ(stateLength, 12);
            EXPECT_EQ(state, kept);
        }
    });
}

}  // namespace
}  // namespace varnel::testing::gabor
