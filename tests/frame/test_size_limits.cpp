// Sizes the exports derive from their 32-bit arguments, just beyond each
// limit: a call must answer before it reads, allocates or writes anything,
// so the caller's arrays here are a few sentinel-filled doubles whatever
// the sizes claim. (A call at a limit would need arrays of that size.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "frame/scratch.h"
#include "varnel.h"

namespace {

constexpr double kSentinel = -7.25;
constexpr std::int32_t kMax = INT32_MAX;
constexpr std::int32_t kMin = INT32_MIN;
constexpr std::int32_t p(int e) { return std::int32_t{1} << e; }

// a: input (a[0], a[1] a usable coefficient); b, c, d: input or output;
// count: a state length of 0, kept: a history length of 2.
struct Arrays {
    double a[8], b[8], c[8], d[8];
    std::int32_t count = 0, kept = 2;
    WindowSpec specs[2] = {};
    Arrays() {
        for (double* x : {a, b, c, d}) std::fill(x, x + 8, kSentinel);
        a[0] = 1.0;
        a[1] = 0.0;
    }
    bool outputsUntouched() const {
        const auto same = [](const double* x) { return std::count(x, x + 8, kSentinel) == 8; };
        return same(b) && same(c) && same(d) && count == 0 && kept == 2;
    }
    const WindowSpec* w(std::int32_t L, std::int32_t step, std::int32_t bins, int which = 0) {
        specs[which] = {a, L, step, bins};
        return &specs[which];
    }
};

const AdaptiveTerm kTerm{1.0, 0.0, 0.0, 0.0};

struct LimitCase {
    const char* name;
    std::int32_t status;
    std::int32_t (*call)(Arrays&);
};

constexpr std::int32_t kLength = kStatusBadLength, kMemory = kStatusNoMemory;
// clang-format off
const LimitCase kCases[] = {
    // The Gabor transform: n + L at most 2^31 - 1, whatever n mod dM.
    {"ReDGT n+L=2^31, n a multiple of dM", kLength, [](Arrays& s) { return ReDGT(s.a, kMax - 3, s.w(4, 4, 4), s.b); }},
    {"ReDGT L=dM=N=2^20, n+L=2^31", kLength,
     [](Arrays& s) { return ReDGT(s.a, 2146435072, s.w(p(20), p(20), p(20)), s.b); }},
    {"CxDGT n+L=2^31", kLength, [](Arrays& s) { return CxDGT(s.a, kMax - 3, s.w(4, 4, 4), s.b); }},
    {"CxDGTEx split n+L=2^31", kLength,
     [](Arrays& s) { return CxDGTEx(s.a, s.b, 1, kMax - 3, s.w(4, 4, 4), s.c, s.d, 1); }},
    // Its coefficients: F*N values at the output stride within one array.
    {"CxDGTEx 2^59 bins at stride 3", kMemory,
     [](Arrays& s) { return CxDGTEx(s.a, s.b, 1, p(30), s.w(p(29), 1, p(29)), s.c, s.d, 3); }},
    {"CxDGT (2^30-1)*2^30 bins interleaved", kMemory,
     [](Arrays& s) { return CxDGT(s.a, p(30) - 1, s.w(p(30), 1, p(30)), s.b); }},
    // Block-wise transform: (F'-1)*dM + L + 1 at most 2^31 - 1.
    {"ReDGTWithIC (F'-1)dM+L+1=2^31+1", kLength,
     [](Arrays& s) { return ReDGTWithIC(s.a, kMax - 1, s.b, &s.kept, s.w(2, 2, 2), s.c); }},
    // The expansions: F*N coefficients and outLength samples at their strides.
    {"ReDGE F*N=2^60", kMemory, [](Arrays& s) { return ReDGE(s.a, p(30), p(30), s.w(p(30), 1, p(30)), s.b, 4); }},
    {"ReDGEWithIC F*N=2^60", kMemory,
     [](Arrays& s) { return ReDGEWithIC(s.a, p(30), p(30), s.w(p(30), 1, p(30)), s.b, s.c, &s.count); }},
    {"CxDGEEx 2^59 values at in-stride 3", kMemory,
     [](Arrays& s) { return CxDGEEx(s.a, s.b, 3, p(29), p(30), s.w(p(30), 1, p(30)), s.c, s.d, 1, 4); }},
    {"CxDGEEx 2^31-1 samples at out-stride 2^30", kMemory,
     [](Arrays& s) { return CxDGEEx(s.a, s.b, 1, 1, 1, s.w(1, 1, 1), s.c, s.d, p(30), kMax); }},
    // Two dimensions: each dimension's n + L, and the F1*N1*F2*N2 coefficients.
    {"DGT2d nRows+L1=2^31", kLength,
     [](Arrays& s) { return DGT2d(s.a, kMax - 3, 1, s.w(4, 4, 4), s.w(1, 1, 1, 1), s.b); }},
    {"DGT2d ~2^61 coefficients", kMemory,
     [](Arrays& s) { return DGT2d(s.a, p(30) - 1, 2, s.w(p(30), 1, p(30)), s.w(1, 1, 1, 1), s.b); }},
    {"DGE2d 2^61 coefficients", kMemory,
     [](Arrays& s) { return DGE2d(s.a, p(30), p(30), 1, 1, s.w(p(30), 1, p(30)), s.w(1, 1, 1, 1), s.b, 1, 1); }},
    {"DGE2d image of (2^31-1)^2", kMemory,
     [](Arrays& s) { return DGE2d(s.a, 1, 1, 1, 1, s.w(1, 1, 1), s.w(1, 1, 1, 1), s.b, kMax, kMax); }},
    // The STFT: F*M bins (F up to 2^32 for a negative L) and N*xStride samples.
    {"ReSTFT F*M=2^60", kMemory, [](Arrays& s) { return ReSTFT(s.a, kMax, s.w(kMin, 1, p(28)), s.b); }},
    {"CxSTFTsp F*M=2^60", kMemory, [](Arrays& s) { return CxSTFTsp(s.a, kMax, s.w(kMin, 1, p(28)), s.b); }},
    {"CxSTFTEx N=2^31-1 at in-stride 2^30", kMemory,
     [](Arrays& s) { return CxSTFTEx(s.a, s.b, p(30), kMax, s.w(1, kMax, 1), s.c, s.d, 1); }},
    // Quadratic distributions: T*B outputs, Cohen's kernel rows.
    {"WVD T*B=2^60", kMemory, [](Arrays& s) { return WVD(s.a, s.b, p(30), p(30), 1, 0, s.c); }},
    {"CWD T*B=2^60", kMemory, [](Arrays& s) { return CWD(s.a, s.b, p(30), p(30), 1, 1.0, 0, s.c); }},
    {"Cohen 2^30 kernel rows", kMemory, [](Arrays& s) { return Cohen(s.a, s.b, p(30), s.c, p(30), p(30), 1, 0, s.d); }},
    // The Gabor spectrogram family: M*N coefficients, M*K2*nF outputs.
    {"CxGaborSp M*N=2^59 Cx values", kMemory,
     [](Arrays& s) { return CxGaborSp(s.a, p(29), p(30), 1, 1.0, 0, 0, 1, 1, 0, 1, s.b); }},
    {"CxGaborSp M*K2*nF~2^61", kMemory,
     [](Arrays& s) { return CxGaborSp(s.a, 1, 1, 1, 1.0, 0, 0, kMax, p(30), 0, p(30), s.b); }},
    {"MIFOfGaborSp M*N=2^59 Cx values", kMemory,
     [](Arrays& s) { return MIFOfGaborSp(s.a, p(29), p(30), 1, 1.0, 0, 1, s.b); }},
    {"InstantaneousFrequency T*F=2^60", kMemory,
     [](Arrays& s) { return InstantaneousFrequency(s.a, p(30), p(30), 0, 0, s.b, s.c); }},
    // Adaptive maps: rows*cols cells, M*K reassigned cells.
    {"ReAdaptiveSp rows*cols=2^60", kMemory,
     [](Arrays& s) { return ReAdaptiveSp(s.a, &kTerm, 1, 1, p(30), 0, 0, p(30), p(30), s.b); }},
    {"CxAdaptiveSp rows*cols~2^62", kMemory,
     [](Arrays& s) { return CxAdaptiveSp(s.a, &kTerm, 1, 1, kMax, 0, 0, kMax, kMax, s.b); }},
    {"CxReassignedSTFTSp M*K~2^61", kMemory,
     [](Arrays& s) { return CxReassignedSTFTSp(s.a, kMax, s.w(2, 1, p(30)), s.b); }},
};
// clang-format on

TEST(SizeLimits, EachLimitIsPassedAtItAndRefusedBeyondItBeforeAnythingIsTouched) {
    for (const LimitCase& c : kCases) {
        SCOPED_TRACE(c.name);
        Arrays s;
        varnel::scratch_testing::failAllocationAt(1);
        const std::int32_t status = c.call(s);
        const std::int64_t attempts = varnel::scratch_testing::attemptedAllocations();
        varnel::scratch_testing::failAllocationAt(0);
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(attempts, 0);
        EXPECT_TRUE(s.outputsUntouched());
    }
}

}  // namespace
