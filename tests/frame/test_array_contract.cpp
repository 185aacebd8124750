// Every export against missing and overlapping arrays and failing working
// memory: a call whose other arguments are good must answer a null input or
// output, and an output laid over its input (by as little as one element at
// either documented end), with status 1, and each of its allocations
// failing in turn with -20001, and leave the caller's memory as it was,
// nothing leaked and no plan cached.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "support/allocation_faults.h"
#include "support/fft_fixtures.h"
#include "varnel.h"

namespace {

using Vec = std::vector<double>;
constexpr double kUntouched = 7.25;
constexpr int kOutDoubles = 16384;
constexpr std::int32_t kNotAStatus = -999;  // the void conversions report nothing

// The caller's arrays that a row does not test: valid and big enough.
struct Fixture {
    Vec window = Vec(16, 0.25);
    WindowSpec spec{window.data(), 16, 4, 16};
    // Long enough for the Gabor calls' factorised route at 64 samples.
    Vec longWindow = Vec(64, 0.25);
    WindowSpec longSpec{longWindow.data(), 64, 4, 16};
    Vec spare = Vec(kOutDoubles, 0.0);
    Vec kernel = Vec(16 * 64, 1.0);
    AdaptiveTerm terms[1] = {{0.05, 20.0, 0.7, 0.001}};
    AdaptiveTerm termSlots[2] = {};
    std::int32_t count = 0, zero = 0;
    double percent = 0.0;
};

// in: the array the row reads (64 samples or more); out: the array it writes.
using Call = std::function<std::int32_t(Fixture&, const double* in, double* out)>;
struct Row {
    const char* name;
    Call call;
    // Documented extents of in and out in doubles; 0 for the conversions,
    // which report no status.
    std::int64_t reads = 0, writes = 0;
    // Documented to leave earlier terms in its outputs when memory runs out.
    bool keepsPartialWork = false;
};

const AdaptiveTerm kWidths[] = {{0.01, 30.0, 1.0, 0.0}, {0.001, 60.0, 2.0, 0.001}, {0.01, 80.0, 4.0, 0.0}};
const Vec kLongWindowSamples(40, 0.25);
const WindowSpec kLongWindow{kLongWindowSamples.data(), 40, 7, 16};
const WindowSpec kOneBin{kLongWindowSamples.data(), 16, 4, 1};

const std::vector<Row>& rows() {
    static const std::vector<Row> table = {
        {"_Hc2Cx", [](Fixture&, const double* in, double* out) { _Hc2Cx(in, out, 16); return kNotAStatus; }},
        {"_Cx2Hc", [](Fixture&, const double* in, double* out) { _Cx2Hc(in, out, 16); return kNotAStatus; }},
        {"_Cx2ReIm", [](Fixture& f, const double* in, double* out) { _Cx2ReIm(in, out, f.spare.data(), 16); return kNotAStatus; }},
        {"_ReIm2Cx", [](Fixture& f, const double* in, double* out) { _ReIm2Cx(in, f.spare.data(), out, 16); return kNotAStatus; }},
        {"_Hc2ReIm", [](Fixture& f, const double* in, double* out) { _Hc2ReIm(in, f.spare.data(), out, 16); return kNotAStatus; }},
        {"_ReIm2Hc", [](Fixture& f, const double* in, double* out) { _ReIm2Hc(f.spare.data(), in, out, 16); return kNotAStatus; }},
        {"ReSTFT", [](Fixture& f, const double* in, double* out) { return ReSTFT(in, 64, &f.spec, out); }, 64, 208},
        {"ReSTFTWithShift", [](Fixture& f, const double* in, double* out) { return ReSTFTWithShift(in, 64, &f.spec, &f.zero, out); }, 64, 208},
        {"CxSTFT", [](Fixture& f, const double* in, double* out) { return CxSTFT(in, 64, &f.spec, out); }, 128, 416},
        {"CxSTFTEx", [](Fixture& f, const double* in, double* out) {
             return CxSTFTEx(in, f.spare.data(), 1, 64, &f.spec, out, out ? out + 1 : nullptr, 2); }, 64, 416},
        {"CxSTFTExWithShift", [](Fixture& f, const double* in, double* out) {
             return CxSTFTExWithShift(in, f.spare.data(), 1, 64, &f.spec, nullptr, f.spare.data() + 64, out, 1); }, 64, 208},
        {"ReSTFTsp", [](Fixture& f, const double* in, double* out) { return ReSTFTsp(in, 64, &f.spec, out); }, 64, 104},
        // One bin: frames 2u and 2u + 1 share a cell.
        {"ReSTFTsp one bin", [](Fixture&, const double* in, double* out) { return ReSTFTsp(in, 64, &kOneBin, out); }, 64, 7},
        {"CxSTFTsp", [](Fixture& f, const double* in, double* out) { return CxSTFTsp(in, 64, &f.spec, out); }, 128, 208},
        {"FastDual", [](Fixture&, const double* in, double* out) { return FastDual(in, 16, 4, 8, 0, out); }, 16, 16},
        {"FastDual decomposed", [](Fixture&, const double* in, double* out) { return FastDual(in, 16, 4, 8, 1, out); }, 16, 16},
        {"ReExtension", [](Fixture& f, const double* in, double* out) { return ReExtension(in, 12, Symmetric, 5, out, f.spare.data()); }, 12, 5},
        {"CxExtension", [](Fixture& f, const double* in, double* out) { return CxExtension(in, 12, Periodic, 5, f.spare.data(), out); }, 24, 10},
        {"ReExtension tapered", [](Fixture& f, const double* in, double* out) { return ReExtension(in, 12, TaperedSymmetric, 5, out, f.spare.data()); }, 12, 5},
        {"CxExtension tapered", [](Fixture& f, const double* in, double* out) { return CxExtension(in, 12, TaperedSymmetric, 5, f.spare.data(), out); }, 24, 10},
        {"ReDGT", [](Fixture& f, const double* in, double* out) { return ReDGT(in, 64, &f.spec, out); }, 64, 256},
        {"CxDGT", [](Fixture& f, const double* in, double* out) { return CxDGT(in, 64, &f.spec, out); }, 128, 512},
        {"CxDGTEx", [](Fixture& f, const double* in, double* out) {
             return CxDGTEx(f.spare.data(), in, 1, 64, &f.spec, out, f.spare.data() + 128, 1); }, 64, 256},
        {"ReDGTWithIC", [](Fixture& f, const double* in, double* out) {
             return ReDGTWithIC(in, 64, f.spare.data(), &f.zero, &f.spec, out); }, 64, 208},
        {"ReDGE", [](Fixture& f, const double* in, double* out) { return ReDGE(in, 4, 16, &f.spec, out, 16); }, 64, 16},
        {"CxDGE", [](Fixture& f, const double* in, double* out) { return CxDGE(in, 4, 16, &f.spec, out, 16); }, 128, 32},
        {"CxDGEEx", [](Fixture& f, const double* in, double* out) {
             return CxDGEEx(in, f.spare.data(), 1, 4, 16, &f.spec, f.spare.data() + 64, out, 1, 16); }, 64, 16},
        {"ReDGEWithIC", [](Fixture& f, const double* in, double* out) {
             return ReDGEWithIC(in, 4, 16, &f.spec, out, f.spare.data(), &f.zero); }, 64, 16},
        {"ReDGT long window", [](Fixture& f, const double* in, double* out) { return ReDGT(in, 64, &f.longSpec, out); }, 64, 256},
        {"CxDGTEx long window", [](Fixture& f, const double* in, double* out) {
             return CxDGTEx(f.spare.data(), in, 1, 64, &f.longSpec, out, f.spare.data() + 128, 1); }, 64, 256},
        {"ReDGE long window", [](Fixture& f, const double* in, double* out) { return ReDGE(in, 16, 16, &f.longSpec, out, 64); }, 256, 64},
        {"CxDGEEx long window", [](Fixture& f, const double* in, double* out) {
             return CxDGEEx(in, f.spare.data(), 1, 16, 16, &f.longSpec, f.spare.data() + 512, out, 1, 64); }, 256, 64},
        {"DGT2d", [](Fixture& f, const double* in, double* out) { return DGT2d(in, 16, 16, &f.spec, &f.spec, out); }, 256, 8192},
        {"DGE2d", [](Fixture& f, const double* in, double* out) { return DGE2d(in, 4, 16, 4, 16, &f.spec, &f.spec, out, 16, 16); }, 8192, 256},
        {"WVD", [](Fixture&, const double* in, double* out) { return WVD(in, nullptr, 64, 16, 1, 0, out); }, 64, 512},
        {"WVD complex", [](Fixture& f, const double* in, double* out) { return WVD(in, f.spare.data(), 64, 16, 1, 0, out); }, 64, 1024},
        {"WVD analytic", [](Fixture&, const double* in, double* out) { return WVD(in, nullptr, 64, 16, 1, 1, out); }, 64, 512},
        {"Cohen", [](Fixture& f, const double* in, double* out) { return Cohen(in, nullptr, 64, f.kernel.data(), 16, 64, 1, 0, out); }, 64, 512},
        {"Cohen complex", [](Fixture& f, const double* in, double* out) { return Cohen(in, f.spare.data(), 64, f.kernel.data(), 16, 64, 1, 0, out); }, 64, 1024},
        {"Cohen analytic", [](Fixture& f, const double* in, double* out) { return Cohen(in, nullptr, 64, f.kernel.data(), 16, 64, 1, 1, out); }, 64, 512},
        {"CWD", [](Fixture&, const double* in, double* out) { return CWD(in, nullptr, 64, 16, 1, 1.0, 0, out); }, 64, 512},
        {"CSD", [](Fixture&, const double* in, double* out) { return CSD(in, nullptr, 64, 16, 1, 1.0, 0, out); }, 64, 512},
        {"CxGaborSp", [](Fixture&, const double* in, double* out) { return CxGaborSp(in, 8, 8, 2, 4.0, 0, 1, 2, 2, 0, 16, out); }, 128, 256},
        {"CxGaborSp band", [](Fixture&, const double* in, double* out) { return CxGaborSp(in, 5, 8, 2, 4.0, 0, 2, 2, 2, 1, 12, out); }, 80, 120},
        {"MIFOfGaborSp", [](Fixture&, const double* in, double* out) { return MIFOfGaborSp(in, 8, 8, 2, 4.0, 1, 2, out); }, 128, 14},
        {"InstantaneousFrequency", [](Fixture& f, const double* in, double* out) {
             return InstantaneousFrequency(in, 8, 8, 0, 0, f.spare.data(), out); }, 64, 8},
        {"CxAdaptiveExpansion", [](Fixture& f, const double* in, double* out) { return CxAdaptiveExpansion(f.terms, in, 1, 64, out); }, 2, 128, true},
        {"ReAdaptiveExpansion", [](Fixture& f, const double* in, double* out) { return ReAdaptiveExpansion(f.terms, in, 1, 64, out); }, 2, 64, true},
        // Terms of two widths: the real form needs a longer transform midway.
        {"CxAdaptiveExpansion widths", [](Fixture&, const double* in, double* out) { return CxAdaptiveExpansion(kWidths, in, 3, 100, out); }, 6, 200, true},
        {"ReAdaptiveExpansion widths", [](Fixture&, const double* in, double* out) { return ReAdaptiveExpansion(kWidths, in, 3, 100, out); }, 6, 100, true},
        {"ReAdaptiveSp", [](Fixture&, const double* in, double* out) { return ReAdaptiveSp(in, kWidths, 3, 1, 16, 0, 0, 8, 8, out); }, 6, 64},
        {"CxAdaptiveSp", [](Fixture& f, const double* in, double* out) { return CxAdaptiveSp(in, f.terms, 1, 1, 16, 0, 0, 8, 8, out); }, 2, 64},
        {"ReAdaptiveTransform", [](Fixture& f, const double* in, double* out) {
             return ReAdaptiveTransform(in, 64, 0, Zero, 0, 0.0, 0, 2, &f.count, &f.percent, f.spare.data(), f.termSlots, out); }, 64, 64, true},
        {"CxAdaptiveTransform", [](Fixture& f, const double* in, double* out) {
             return CxAdaptiveTransform(in, 64, 0, Zero, 0, 0.0, 0, 2, &f.count, &f.percent, out, f.termSlots, f.spare.data()); }, 128, 4, true},
        {"ReAdaptiveTransform window 64", [](Fixture& f, const double* in, double* out) {
             return ReAdaptiveTransform(in, 256, 0, Zero, 64, 0.0, 0, 2, &f.count, &f.percent, f.spare.data(), f.termSlots, out); }, 256, 256, true},
        {"CxAdaptiveTransform window 64", [](Fixture& f, const double* in, double* out) {
             return CxAdaptiveTransform(in, 256, 0, Zero, 64, 0.0, 0, 2, &f.count, &f.percent, f.spare.data(), f.termSlots, out); }, 512, 512, true},
        {"ReReassignedSTFTSp", [](Fixture& f, const double* in, double* out) { return ReReassignedSTFTSp(in, 64, &f.spec, out); }, 64, 104},
        {"CxReassignedSTFTSp", [](Fixture& f, const double* in, double* out) { return CxReassignedSTFTSp(in, 64, &f.spec, out); }, 128, 208},
        // A window longer than the bins wraps onto them.
        {"ReReassignedSTFTSp long window", [](Fixture&, const double* in, double* out) { return ReReassignedSTFTSp(in, 64, &kLongWindow, out); }, 64, 32},
        {"CxReassignedSTFTSp long window", [](Fixture&, const double* in, double* out) { return CxReassignedSTFTSp(in, 64, &kLongWindow, out); }, 128, 64},
    };
    return table;
}

bool untouched(const Vec& v) {
    for (double x : v)
        if (x != kUntouched) return false;
    return true;
}

TEST(ArrayContract, NullAndOverlappingArraysAreRefusedBeforeAnythingIsWritten) {
    Vec in(kOutDoubles);
    for (std::size_t i = 0; i < in.size(); ++i) in[i] = std::sin(0.3 * static_cast<double>(i)) + 0.01 * i;
    for (const Row& row : rows()) {
        SCOPED_TRACE(row.name);
        Fixture fixture;
        Vec out(kOutDoubles, kUntouched);
        const std::int32_t valid = row.call(fixture, in.data(), out.data());
        if (valid != kNotAStatus) EXPECT_EQ(valid, kStatusOk) << "the table's other arguments must be good";
        EXPECT_FALSE(untouched(out)) << "a good call writes its output";

        const auto refused = [&](std::int32_t status) {
            if (status != kNotAStatus) EXPECT_EQ(status, kStatusBadLength);
        };
        out.assign(kOutDoubles, kUntouched);
        refused(row.call(fixture, nullptr, out.data()));
        EXPECT_TRUE(untouched(out)) << "null input";
        refused(row.call(fixture, in.data(), nullptr));
        // In place: the output array is also the input (holding the sentinel).
        refused(row.call(fixture, out.data(), out.data()));
        EXPECT_TRUE(untouched(out)) << "output over its input";
        // Partial overlap: the output starts inside the input.
        Vec shared(2 * kOutDoubles, kUntouched);
        refused(row.call(fixture, shared.data(), shared.data() + 1));
        EXPECT_TRUE(untouched(shared)) << "output inside its input";
    }
}

// An output starting right after the documented end of its input, or an
// input right after its output's, is accepted; one element earlier it
// overlaps and is refused.
TEST(ArrayContract, ArraysMeetingAtTheirDocumentedEndsAreApart) {
    for (const Row& row : rows()) {
        if (row.reads == 0) continue;
        SCOPED_TRACE(row.name);
        for (const bool outputAfter : {true, false}) {
            const std::int64_t extent = outputAfter ? row.reads : row.writes;
            for (const std::int64_t gap : {extent, extent - 1}) {
                Vec shared(3 * kOutDoubles);
                for (std::size_t i = 0; i < shared.size(); ++i)
                    shared[i] = std::sin(0.3 * static_cast<double>(i)) + 0.01 * static_cast<double>(i % 64);
                Fixture fixture;
                double *first = shared.data(), *second = first + gap;
                const std::int32_t status = outputAfter ? row.call(fixture, first, second) : row.call(fixture, second, first);
                EXPECT_EQ(status == kStatusBadLength, gap < extent) << (outputAfter ? "output" : "input") << " after " << gap;
            }
        }
    }
}

TEST(ArrayContract, EveryFailedAllocationIsReportedAndChangesNothing) {
    Vec in(kOutDoubles);
    for (std::size_t i = 0; i < in.size(); ++i) in[i] = std::cos(0.2 * static_cast<double>(i));
    for (const Row& row : rows()) {
        SCOPED_TRACE(row.name);
        Vec out;
        varnel::testing::sweepAllocationFaults([&](bool expectFailure) {
            Fixture fixture;
            out.assign(kOutDoubles, kUntouched);
            const std::int32_t status = row.call(fixture, in.data(), out.data());
            EXPECT_EQ(varnel::testing::planCacheSize(), 0);
            if (!expectFailure) return;
            EXPECT_EQ(status, kStatusNoMemory);
            EXPECT_EQ(fixture.zero, 0) << "shift or state length";
            EXPECT_EQ(fixture.count, 0);
            if (row.keepsPartialWork) return;
            EXPECT_TRUE(untouched(out));
            EXPECT_EQ(fixture.spare, Fixture().spare);
        });
    }
}

TEST(ArrayContract, InterleavedPartsOfOneComplexArrayAreNotAnOverlap) {
    Vec in(128, 0.5), out(64 * 16 * 2, kUntouched);
    const Vec window(16, 0.25);
    const WindowSpec spec{window.data(), 16, 16, 16};
    EXPECT_EQ(CxSTFTEx(in.data(), in.data() + 1, 2, 64, &spec, out.data(), out.data() + 1, 2), kStatusOk);
    EXPECT_EQ(CxDGTEx(in.data(), in.data() + 1, 2, 64, &spec, out.data(), out.data() + 1, 2), kStatusOk);
}

TEST(Gaussian, SubnormalVarianceGivesFiniteSamples) {
    for (const double variance : {4.94e-324, 1e-309, 2.5e-308}) {
        Vec out(3, kUntouched);
        EXPECT_EQ(Gaussian(3, 1.0, variance, out.data()), kStatusOk);
        const long double peak = std::pow(std::acos(-1.0L) * variance, -0.25L);
        EXPECT_NEAR(out[1] / static_cast<double>(peak), 1.0, 1e-15) << variance;
        EXPECT_EQ(out[0], 0.0);
        EXPECT_EQ(out[2], 0.0);
    }
    Vec off(2, kUntouched);
    EXPECT_EQ(Gaussian(2, 0.5, 4.94e-324, off.data()), kStatusOk);
    EXPECT_EQ(off, Vec(2, 0.0)) << "no sample at the centre";
    EXPECT_EQ(Gaussian(3, 1.0, 1.0, nullptr), kStatusOk) << "no failure, and nothing to write through";
}

}  // namespace
