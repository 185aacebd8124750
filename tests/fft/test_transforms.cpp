// Forward and inverse transforms against an exact long-double DFT, to a
// relative RMS error of 1e-15, or 5e-15 with Rader stages (their
// convolution adds two transforms of length p-1 to every output).
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <vector>

#include "fft/factorize.h"
#include "frame/vector_paths.h"
#include "support/fft_fixtures.h"
#include "support/reference_dft.h"
#include "varnel.h"

namespace varnel::fft {
namespace {

using testing::LongComplex;
using testing::makePlan;
using testing::randomReals;
using testing::referenceDftBins;
using testing::relativeRmsError;

constexpr std::int32_t kFullReferenceLimit = 4096;  // above: a sample of bins

bool hasRaderStage(std::int32_t n) {
    const Factorization f = factorize(n);
    return std::any_of(f.kinds, f.kinds + f.count, [](std::int32_t k) { return k == RaderStage; });
}

// The low-multiplication forms of the 29- to 43-point kernels trade some
// accuracy for their short multiplication counts (about 1.5e-15 worst case
// for 43, see src/fft/gen/README.md); lengths that use them get 2e-15.
bool hasLargePrimeKernel(std::int32_t n) {
    const Factorization f = factorize(n);
    return std::any_of(f.factors, f.factors + f.count, [](std::int32_t p) { return p >= 29 && p <= 43; });
}

double toleranceFor(std::int32_t n) {
    if (hasRaderStage(n)) return 5e-15;
    return hasLargePrimeKernel(n) ? 2e-15 : 1e-15;
}

std::vector<std::int64_t> binsToCheck(std::int32_t n, std::uint32_t seed) {
    std::vector<std::int64_t> bins;
    if (n <= kFullReferenceLimit) {
        bins.resize(n);
        std::iota(bins.begin(), bins.end(), 0);
        return bins;
    }
    std::mt19937 engine(seed);
    bins = {0, 1, n / 2, n - 1};
    for (int i = 0; i < 60; ++i) bins.push_back(engine() % n);
    return bins;
}

std::vector<LongComplex> toComplex(const std::vector<double>& re, const std::vector<double>& im) {
    std::vector<LongComplex> z(re.size());
    for (std::size_t i = 0; i < re.size(); ++i) z[i] = LongComplex(re[i], im[i]);
    return z;
}

std::vector<std::int32_t> testLengths() {
    std::vector<std::int32_t> sizes;
    for (std::int32_t n = 1; n <= 128; ++n) sizes.push_back(n);
    for (std::int32_t e = 8; e <= 20; ++e) sizes.push_back(1 << e);
    for (std::int32_t n : {1000, 3 * 1024, 360, 46, 94, 23 * 47, 53, 106, 2 * 53 * 53, 1009, 65537, 59 * 61})
        sizes.push_back(n);
    return sizes;
}

class Transform : public testing::PlanCacheTestWithParam<std::int32_t> {};

// Split buffers at unit stride, and (below 70000) interleaved ones at stride two.
TEST_P(Transform, ComplexForwardAndInverseMatchExactDft) {
    const std::int32_t n = GetParam();
    const auto re = randomReals(n, 11 * n + 1), im = randomReals(n, 13 * n + 2);
    const auto bins = binsToCheck(n, n);
    auto plan = makePlan(n);
    ASSERT_TRUE(plan);
    const auto collect = [&](const double* r, const double* i, std::int64_t stride) {
        std::vector<LongComplex> got;
        for (auto k : bins) got.emplace_back(r[k * stride], i[k * stride]);
        return got;
    };
    std::vector<double> outRe(n), outIm(n);
    ASSERT_EQ(cxFft(plan.get(), re.data(), im.data(), outRe.data(), outIm.data(), 1, 1, n), kStatusOk);
    const auto exact = referenceDftBins(toComplex(re, im), bins, -1);
    EXPECT_LT(relativeRmsError(exact, collect(outRe.data(), outIm.data(), 1)), toleranceFor(n)) << "forward";
    if (n <= 70000) {
        std::vector<double> cx(2 * static_cast<std::size_t>(n)), out(cx.size());
        for (std::int32_t j = 0; j < n; ++j) cx[2 * j] = re[j], cx[2 * j + 1] = im[j];
        ASSERT_EQ(cxFft(plan.get(), cx.data(), cx.data() + 1, out.data(), out.data() + 1, 2, 2, n), kStatusOk);
        EXPECT_LT(relativeRmsError(exact, collect(out.data(), out.data() + 1, 2)), toleranceFor(n)) << "stride two";
    }
    ASSERT_EQ(cxIfft(plan.get(), re.data(), im.data(), outRe.data(), outIm.data(), 1, 1, n), kStatusOk);
    auto exactInverse = referenceDftBins(toComplex(re, im), bins, +1);
    for (auto& z : exactInverse) z /= static_cast<long double>(n);
    EXPECT_LT(relativeRmsError(exactInverse, collect(outRe.data(), outIm.data(), 1)), toleranceFor(n)) << "inverse";
}

TEST_P(Transform, RealForwardMatchesExactDftInHalfComplexLayout) {
    const std::int32_t n = GetParam();
    const auto x = randomReals(n, 17 * n + 4);
    const auto bins = binsToCheck(n, n + 9);
    auto plan = makePlan(n);
    for (std::int32_t stride : {1, 3}) {
        std::vector<double> strided(static_cast<std::size_t>(n) * stride, 99.0);
        for (std::int32_t j = 0; j < n; ++j) strided[static_cast<std::size_t>(j) * stride] = x[j];
        std::vector<double> out(static_cast<std::size_t>(n) * stride, 0.0);
        ASSERT_EQ(reFft(plan.get(), strided.data(), out.data(), stride, stride, n), kStatusOk);
        const auto exact = referenceDftBins(toComplex(x, std::vector<double>(n, 0.0)), bins, -1);
        std::vector<LongComplex> got;
        for (auto k : bins) got.push_back(testing::hcBin(out.data(), n, k, stride));
        EXPECT_LT(relativeRmsError(exact, got), toleranceFor(n)) << "stride " << stride;
        if (n > 5000) break;
    }
}

TEST_P(Transform, RealInverseRecoversTheSequenceOfAHermitianSpectrum) {
    const std::int32_t n = GetParam();
    const auto hc = randomReals(n, 19 * n + 5);
    auto plan = makePlan(n);
    std::vector<double> in = hc, out(n);
    ASSERT_EQ(reIfft(plan.get(), in.data(), out.data(), 1, 1, n), kStatusOk);
    std::vector<LongComplex> spectrum(n);
    for (std::int32_t k = 0; k < n; ++k) spectrum[k] = testing::hcBin(hc.data(), n, k);
    const auto bins = binsToCheck(n, n + 13);
    auto exact = referenceDftBins(spectrum, bins, +1);
    std::vector<LongComplex> got;
    for (auto& z : exact) z = LongComplex(z.real() / n, 0);  // imaginary parts vanish exactly
    for (auto j : bins) got.emplace_back(out[j], 0);
    EXPECT_LT(relativeRmsError(exact, got), toleranceFor(n));
}

INSTANTIATE_TEST_SUITE_P(Lengths, Transform, ::testing::ValuesIn(testLengths()));

// The vector kernels are picked when the processor has them; the scalar
// kernels must hold on their own for processors that do not.
class ScalarKernelsOnly : public testing::PlanCacheTestWithParam<std::int32_t> {
protected:
    void SetUp() override {
        PlanCacheTest::SetUp();
        setAvx2PathsEnabled(false);
    }
    void TearDown() override {
        setAvx2PathsEnabled(true);
        PlanCacheTest::TearDown();
    }
};

TEST_P(ScalarKernelsOnly, ComplexAndRealMatchExactDft) {
    const std::int32_t n = GetParam();
    const auto re = randomReals(n, 3 * n), im = randomReals(n, 5 * n);
    const auto bins = binsToCheck(n, n);
    auto plan = makePlan(n);
    ASSERT_EQ(plan->stages[0]->cxVecTwiddle, nullptr);
    std::vector<double> outRe(n), outIm(n), hc(n);
    ASSERT_EQ(cxFft(plan.get(), re.data(), im.data(), outRe.data(), outIm.data(), 1, 1, n), kStatusOk);
    ASSERT_EQ(reFft(plan.get(), re.data(), hc.data(), 1, 1, n), kStatusOk);
    const auto exact = referenceDftBins(toComplex(re, im), bins, -1);
    const auto exactReal = referenceDftBins(toComplex(re, std::vector<double>(n, 0.0)), bins, -1);
    std::vector<LongComplex> got, gotReal;
    for (auto k : bins) {
        got.emplace_back(outRe[k], outIm[k]);
        gotReal.push_back(testing::hcBin(hc.data(), n, k));
    }
    EXPECT_LT(relativeRmsError(exact, got), toleranceFor(n));
    EXPECT_LT(relativeRmsError(exactReal, gotReal), toleranceFor(n));
}

INSTANTIATE_TEST_SUITE_P(Lengths, ScalarKernelsOnly,
                         ::testing::Values(16, 32, 64, 96, 128, 1000, 1024, 2048, 3 * 1024, 4096, 1 << 16));

class TransformEdges : public testing::PlanCacheTest {};

TEST_F(TransformEdges, LengthMismatchWritesNothing) {
    auto plan = makePlan(16);
    std::vector<double> in(16, 1.0), outRe(16, -7.0), outIm(16, -7.0);
    EXPECT_EQ(cxFft(plan.get(), in.data(), in.data(), outRe.data(), outIm.data(), 1, 1, 8), kStatusBadLayout);
    EXPECT_EQ(cxIfft(plan.get(), in.data(), in.data(), outRe.data(), outIm.data(), 1, 1, 8), kStatusBadLayout);
    EXPECT_EQ(reFft(plan.get(), in.data(), outRe.data(), 1, 1, 8), kStatusBadLayout);
    EXPECT_EQ(reIfft(plan.get(), in.data(), outRe.data(), 1, 1, 8), kStatusBadLayout);
    for (double v : outRe) EXPECT_EQ(v, -7.0);
    for (double v : outIm) EXPECT_EQ(v, -7.0);
    for (double v : in) EXPECT_EQ(v, 1.0) << "reIfft must not scale its input on a mismatch";
}

}  // namespace
}  // namespace varnel::fft
