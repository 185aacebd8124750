// Forward and inverse transforms, on every kernel set the processor runs
// (every fixed-size kernel as a leaf and as a twiddle pass, at unit and
// larger strides), against an exact long-double spectrum, to a relative
// RMS error of 1e-15, or 5e-15 with Rader stages (their convolution adds
// two transforms of length p-1 to every output). One complex signal per
// length serves every check: its real part's spectrum follows from the
// complex one by symmetry, and the inverses must take the exact spectra
// back to the signal.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "fft/factorize.h"
#include "frame/scratch.h"
#include "frame/vector_paths.h"
#include "support/fft_fixtures.h"
#include "support/reference_dft.h"
#include "varnel.h"

namespace varnel::fft {
namespace {

using testing::hcBin;
using testing::LongComplex;
using testing::makePlan;
using testing::randomReals;
using testing::relativeRmsError;
using LD = long double;

double toleranceFor(std::int32_t n) {
    const Factorization f = factorize(n);
    for (int i = 0; i < f.count; ++i) {
        if (f.kinds[i] == RaderStage) return 5e-15;
    }
    return 1e-15;
}

// Textbook decimation in time over the smallest prime factor p, in long
// double with exactly reduced roots: O(n * sum of the prime factors), so
// whole spectra of long transforms can be checked.
LongComplex times(LongComplex a, LongComplex b) {  // std::complex<long double> products are slow
    return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()};
}

void longFft(const LongComplex* x, std::size_t xStride, std::size_t n, LongComplex* out,
             const std::vector<LongComplex>& roots, std::size_t rootStride) {
    if (n == 1) {
        out[0] = x[0];
        return;
    }
    std::size_t p = 2;
    while (n % p != 0) p = p * p > n ? n : p + 1;
    const std::size_t m = n / p;
    for (std::size_t j = 0; j < p; ++j) longFft(x + j * xStride, xStride * p, m, out + j * m, roots, rootStride * p);
    std::vector<LongComplex> column(p), rootsOfP(p);
    for (std::size_t r = 0; r < p; ++r) rootsOfP[r] = roots[r * m * rootStride];
    for (std::size_t k = 0; k < m; ++k) {
        for (std::size_t j = 0; j < p; ++j) column[j] = times(out[j * m + k], roots[j * k * rootStride]);
        for (std::size_t q = 0; q < p; ++q) {
            LongComplex sum = 0;
            for (std::size_t j = 0, r = 0; j < p; ++j, r = r + q < p ? r + q : r + q - p) sum += times(column[j], rootsOfP[r]);
            out[k + q * m] = sum;
        }
    }
}

struct Exact {
    std::vector<double> re, im;
    std::vector<LongComplex> spectrum;  // of re + i im
};

Exact exactFor(std::int32_t n) {
    Exact e{randomReals(n, 11 * n + 1), randomReals(n, 13 * n + 2), std::vector<LongComplex>(n)};
    std::vector<LongComplex> x(n), roots(n);
    for (std::int32_t j = 0; j < n; ++j) {
        x[j] = {e.re[j], e.im[j]};
        const LD angle = -6.283185307179586476925286766559005768L * j / n;
        roots[j] = {std::cos(angle), std::sin(angle)};
    }
    longFft(x.data(), 1, n, e.spectrum.data(), roots, 1);
    return e;
}

// Elements k < n of split arrays at a stride; im null for a real array.
std::vector<LongComplex> split(const double* re, const double* im, std::int64_t n, std::int64_t stride = 1) {
    std::vector<LongComplex> z(n);
    for (std::int64_t k = 0; k < n; ++k) z[k] = {re[k * stride], im ? im[k * stride] : 0.0};
    return z;
}

std::vector<std::int32_t> testLengths() {
    std::vector<std::int32_t> sizes;
    for (std::int32_t n = 1; n <= 128; ++n) sizes.push_back(n);
    for (std::int32_t e = 8; e <= 19; ++e) sizes.push_back(1 << e);  // 2^20: its plan in test_plan_cache
    // 16 * 16 * 19 and 16 * 17 * 19: wide twiddle passes whose column count
    // is no power of two, odd in the second. 7 * 512 and 31 * 1024: passes
    // over rows 4 KiB apart, which go through a buffer (radix 7 in both
    // kernel sets, 31 in the scalar one). 4896 to 10368: first stages of
    // radix 9, 10, 7, 3, 14 and 18 whose twiddles are kept factored. 6000 =
    // 2*3*10^3: leaves reached at stride 6, from a copy of the input. 23 *
    // 4096: a prime stage inside the blocks of a copied first stage.
    for (std::int32_t n : {1000, 3 * 1024, 360, 23 * 32, 23 * 47, 2 * 53 * 53, 1009, 59 * 61, 4864, 5168, 7 * 512,
                           31 * 1024, 4896, 5120, 5152, 6240, 6272, 10368, 6000, 23 * 4096})
        sizes.push_back(n);
    // r * r runs radix r's twiddle pass; below 128 other lengths already do.
    for (const int r : generated::kKernelRadices)
        if (r * r > 128) sizes.push_back(r * r);
    return sizes;
}

// Every kernel must run as a leaf (the last stage) and as a twiddle pass
// (any other) at some tested length, so that the lengths check all of them.
TEST(TransformLengths, RunEveryKernelAsLeafAndAsTwiddlePass) {
    std::set<int> leaves, passes;
    for (const std::int32_t n : testLengths()) {
        const Factorization f = factorize(n);
        for (int i = 0; i < f.count; ++i)
            if (f.kinds[i] == KernelStage) (i + 1 == f.count ? leaves : passes).insert(f.factors[i]);
    }
    for (const int r : generated::kKernelRadices) EXPECT_TRUE(leaves.count(r) && passes.count(r)) << r;
}

class Transform : public testing::PlanCacheTestWithParam<std::int32_t> {
protected:
    void TearDown() override {
        setAvx2PathsEnabled(true);
        setAvx512VlKernelsEnabled(true);
        PlanCacheTest::TearDown();
    }
};

// Split and real inputs at unit stride (from two positions in a cache line),
// interleaved arrays at stride two, and a real input at stride three.
TEST_P(Transform, ForwardAndInverseMatchTheExactSpectrum) {
    const std::int32_t n = GetParam();
    const Exact e = exactFor(n);
    const double tolerance = toleranceFor(n);
    const std::vector<LongComplex> signal = split(e.re.data(), e.im.data(), n),
                                   realSignal = split(e.re.data(), nullptr, n);
    std::vector<LongComplex> realSpectrum(n);
    std::vector<double> spectrumRe(n), spectrumIm(n), hc(n);
    for (std::int32_t k = 0; k < n; ++k) {
        realSpectrum[k] = (e.spectrum[k] + std::conj(e.spectrum[(n - k) % n])) / 2.0L;
        spectrumRe[k] = static_cast<double>(e.spectrum[k].real());
        spectrumIm[k] = static_cast<double>(e.spectrum[k].imag());
    }
    for (std::int32_t k = 0; k < n; ++k)
        hc[k] = static_cast<double>(2 * k <= n ? realSpectrum[k].real() : realSpectrum[n - k].imag());
    // The two vector builds run the same operations, so must agree in
    // every bit; kept from the AVX2 set's run.
    std::vector<double> avx2Bits;
    for (const int set : {0, 1, 2}) {  // scalar, AVX2 and its AVX-512VL build, where the processor runs them
        setAvx2PathsEnabled(set > 0);
        setAvx512VlKernelsEnabled(set == 2);
        if ((set == 1 && !avx2PathsEnabled()) || (set == 2 && !avx512VlKernelsEnabled())) continue;
        SCOPED_TRACE("kernel set " + std::to_string(set));
        auto plan = makePlan(n);
        ASSERT_TRUE(plan);
        if (set == 0 && n > 1) ASSERT_EQ(plan->stages[0]->cxVecTwiddle, nullptr);
        std::vector<double> re(n), im(n), cx(2 * static_cast<std::size_t>(n)), out(cx.size());
        std::vector<double> in(2 * static_cast<std::size_t>(n) + 16), planes(2 * (n + kSetPeriod) + 8);
        double* line = in.data() + (-reinterpret_cast<std::uintptr_t>(in.data()) / sizeof(double)) % 8;
        double* planesLine = planes.data() + (-reinterpret_cast<std::uintptr_t>(planes.data()) / sizeof(double)) % 8;
        std::vector<double> bits;  // the complex transform at unit stride, the same wherever its planes lie
        for (const std::size_t lead : {0, 5}) {  // inputs at a cache line's start and 5 doubles into one
            double *inRe = line + lead, *inIm = inRe + n;
            std::copy(e.re.begin(), e.re.end(), inRe);
            std::copy(e.im.begin(), e.im.end(), inIm);
            // Output planes whole pages apart, which share their cache sets
            // (long transforms are then made in the scratch), then not.
            const std::ptrdiff_t pages = (n + kSetPeriod - 1) / kSetPeriod * kSetPeriod;
            double *outRe = planesLine, *outIm = outRe + pages + (lead == 0 ? 0 : kSetPeriod / 2);
            ASSERT_EQ(cxFft(plan.get(), inRe, inIm, outRe, outIm, 1, 1, n), kStatusOk);
            EXPECT_LT(relativeRmsError(e.spectrum, split(outRe, outIm, n)), tolerance) << "forward " << lead;
            std::vector<double> got(outRe, outRe + n);
            got.insert(got.end(), outIm, outIm + n);
            if (lead == 0) bits = got;
            EXPECT_TRUE(got == bits) << "output planes apart or not give different bits";
            ASSERT_EQ(reFft(plan.get(), inRe, out.data(), 1, 1, n), kStatusOk);
            EXPECT_LT(relativeRmsError(realSpectrum, testing::expandHc(out.data(), n)), tolerance) << "real " << lead;
        }
        for (std::int32_t j = 0; j < n; ++j) cx[2 * j] = e.re[j], cx[2 * j + 1] = e.im[j];
        ASSERT_EQ(cxFft(plan.get(), cx.data(), cx.data() + 1, out.data(), out.data() + 1, 2, 2, n), kStatusOk);
        EXPECT_LT(relativeRmsError(e.spectrum, split(out.data(), out.data() + 1, n, 2)), tolerance) << "stride two";
        ASSERT_EQ(cxIfft(plan.get(), spectrumRe.data(), spectrumIm.data(), re.data(), im.data(), 1, 1, n), kStatusOk);
        EXPECT_LT(relativeRmsError(signal, split(re.data(), im.data(), n)), tolerance) << "inverse";
        std::vector<double> strided(static_cast<std::size_t>(n) * 3, 99.0), hcOut(strided.size());
        for (std::int32_t j = 0; j < n; ++j) strided[static_cast<std::size_t>(j) * 3] = e.re[j];
        ASSERT_EQ(reFft(plan.get(), strided.data(), hcOut.data(), 3, 3, n), kStatusOk);
        EXPECT_LT(relativeRmsError(realSpectrum, testing::expandHc(hcOut.data(), n, 3)), tolerance) << "real, stride 3";
        for (std::size_t i = 0; i < hcOut.size(); ++i)
            if (i % 3 != 0) ASSERT_EQ(hcOut[i], 0.0) << "written between the strided outputs at " << i;
        std::vector<double> hcIn = hc;  // reIfft overwrites its input
        ASSERT_EQ(reIfft(plan.get(), hcIn.data(), re.data(), 1, 1, n), kStatusOk);
        EXPECT_LT(relativeRmsError(realSignal, split(re.data(), nullptr, n)), tolerance) << "real inverse";
        bits.insert(bits.end(), out.begin(), out.end());  // the complex transform at stride two
        bits.insert(bits.end(), hcOut.begin(), hcOut.end());
        bits.insert(bits.end(), re.begin(), re.end());
        if (set == 1) avx2Bits = bits;
        if (set == 2) EXPECT_TRUE(bits == avx2Bits) << "the two vector builds differ";
    }
}

INSTANTIATE_TEST_SUITE_P(Lengths, Transform, ::testing::ValuesIn(testLengths()));

class TransformEdges : public testing::PlanCacheTest {};

// A prime too long for a whole exact spectrum (Rader over a sub-plan of
// 2^16 with its long twiddle table): checked at a sample of bins.
TEST_F(TransformEdges, LongPrimeMatchesTheExactDftAtSampledBins) {
    constexpr std::int32_t n = 65537;
    const auto re = randomReals(n, 5), im = randomReals(n, 6);
    std::vector<std::int64_t> bins = {0, 1, n / 2, n - 1};
    std::mt19937 engine(7);
    for (int i = 0; i < 40; ++i) bins.push_back(engine() % n);
    auto plan = makePlan(n);
    std::vector<double> outRe(n), outIm(n), hc(n), backRe(n), backIm(n);
    ASSERT_EQ(cxFft(plan.get(), re.data(), im.data(), outRe.data(), outIm.data(), 1, 1, n), kStatusOk);
    ASSERT_EQ(reFft(plan.get(), re.data(), hc.data(), 1, 1, n), kStatusOk);
    ASSERT_EQ(cxIfft(plan.get(), re.data(), im.data(), backRe.data(), backIm.data(), 1, 1, n), kStatusOk);
    std::vector<LongComplex> got, gotReal, gotInverse;
    for (const auto k : bins) {
        got.emplace_back(outRe[k], outIm[k]);
        gotReal.push_back(hcBin(hc.data(), n, k));
        gotInverse.emplace_back(backRe[k] * n, backIm[k] * n);
    }
    std::vector<LongComplex> z(n), real(n);
    for (std::int32_t j = 0; j < n; ++j) z[j] = {re[j], im[j]}, real[j] = re[j];
    EXPECT_LT(relativeRmsError(testing::referenceDftBins(z, bins, -1), got), 5e-15);
    EXPECT_LT(relativeRmsError(testing::referenceDftBins(z, bins, +1), gotInverse), 5e-15);
    EXPECT_LT(relativeRmsError(testing::referenceDftBins(real, bins, -1), gotReal), 5e-15);
}

TEST_F(TransformEdges, LengthMismatchWritesNothing) {
    auto plan = makePlan(16);
    std::vector<double> in(16, 1.0), outRe(16, -7.0), outIm(16, -7.0);
    EXPECT_EQ(cxFft(plan.get(), in.data(), in.data(), outRe.data(), outIm.data(), 1, 1, 8), kStatusBadLayout);
    EXPECT_EQ(cxIfft(plan.get(), in.data(), in.data(), outRe.data(), outIm.data(), 1, 1, 8), kStatusBadLayout);
    EXPECT_EQ(reFft(plan.get(), in.data(), outRe.data(), 1, 1, 8), kStatusBadLayout);
    EXPECT_EQ(reIfft(plan.get(), in.data(), outRe.data(), 1, 1, 8), kStatusBadLayout);
    // The forms that take the caller's scratch check for themselves.
    EXPECT_EQ(cxFft(plan.get(), in.data(), in.data(), outRe.data(), outIm.data(), 1, 1, 8, nullptr), kStatusBadLayout);
    EXPECT_EQ(cxIfft(plan.get(), in.data(), in.data(), outRe.data(), outIm.data(), 1, 1, 8, nullptr), kStatusBadLayout);
    EXPECT_EQ(reFft(plan.get(), in.data(), outRe.data(), 1, 1, 8, nullptr), kStatusBadLayout);
    EXPECT_EQ(reIfft(plan.get(), in.data(), outRe.data(), 1, 1, 8, nullptr), kStatusBadLayout);
    EXPECT_EQ(outRe, std::vector<double>(16, -7.0));
    EXPECT_EQ(outIm, std::vector<double>(16, -7.0));
    EXPECT_EQ(in, std::vector<double>(16, 1.0)) << "reIfft must not scale its input on a mismatch";
}

}  // namespace
}  // namespace varnel::fft
