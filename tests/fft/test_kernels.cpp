// Fixed-size DFT kernels against the long-double reference DFT (their
// vector forms: test_transforms.cpp, on both kernel paths). Inputs are
// uniform in [-1, 1), so a length-L spectrum has scale about sqrt(L); the
// relative RMS error allowed is 1e-15 * sqrt(L), L the length the output
// represents (n for leaves, n*m for a twiddle pass).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "fft/generated/kernel_radices.h"
#include "fft/kernels.h"
#include "support/reference_dft.h"

namespace varnel::fft {
namespace {

using testing::expandHc;
using testing::LongComplex;
using testing::randomReals;
using testing::referenceDft;
using testing::relativeRmsError;

constexpr double kUntouched = -12345.0;

double tolerance(int length) { return 1e-15 * std::sqrt(static_cast<double>(length)); }

std::vector<LongComplex> complexSignal(int n, std::uint32_t seed) {
    const std::vector<double> v = randomReals(2 * static_cast<std::size_t>(n), seed);
    std::vector<LongComplex> x(n);
    for (int t = 0; t < n; ++t) x[t] = LongComplex(v[2 * t], v[2 * t + 1]);
    return x;
}

// Every element not at a multiple of stride is untouched.
void expectGapsUntouched(const std::vector<double>& a, std::ptrdiff_t stride) {
    for (std::size_t i = 0; i < a.size(); ++i)
        if (static_cast<std::ptrdiff_t>(i) % stride != 0) ASSERT_EQ(a[i], kUntouched) << "element " << i;
}

class KernelRadix : public ::testing::TestWithParam<int> {};

// count transforms at strides: transform j reads x[j + t*count] and writes
// its bins at j*n; the real one in the half-complex layout.
TEST_P(KernelRadix, LeavesMatchDft) {
    const int n = GetParam();
    for (const auto [c, is, os] : {std::array<int, 3>{1, 1, 1}, std::array<int, 3>{3, 2, 3}}) {
        SCOPED_TRACE(::testing::Message() << "count " << c);
        const std::vector<LongComplex> x = complexSignal(n * c, 100 + n);
        std::vector<double> inRe(n * c * is, kUntouched), inIm(inRe);
        for (int i = 0; i < n * c; ++i) inRe[i * is] = static_cast<double>(x[i].real()), inIm[i * is] = static_cast<double>(x[i].imag());
        std::vector<double> outRe(n * c * os, kUntouched), outIm(outRe), hc(outRe);
        cxLeafKernels[n](inRe.data(), inIm.data(), outRe.data(), outIm.data(), is, os, c);
        reLeafKernels[n](inRe.data(), hc.data(), is, os, c);
        for (int j = 0; j < c; ++j) {
            std::vector<LongComplex> sub(n), realSub(n), got(n);
            for (int t = 0; t < n; ++t) sub[t] = x[j + t * c], realSub[t] = x[j + t * c].real();
            for (int k = 0; k < n; ++k) got[k] = {outRe[(j * n + k) * os], outIm[(j * n + k) * os]};
            EXPECT_LE(relativeRmsError(referenceDft(sub), got), tolerance(n)) << "complex " << j;
            EXPECT_LE(relativeRmsError(referenceDft(realSub), expandHc(hc.data() + j * n * os, n, os)), tolerance(n)) << "real " << j;
        }
        for (const auto* v : {&outRe, &outIm, &hc}) expectGapsUntouched(*v, os);
    }
}

// Each pass must turn the spectra of the n decimated subsequences x[j::n]
// into the spectrum of x. Twiddle entry (k-1)(n-1) + (j-1) is
// exp(-2 pi i j k / (n m)); the real pass may read only those up to k = m/2
// (the rest are NaN, so that reading them spoils the result).
TEST_P(KernelRadix, TwiddlePassesCompleteTheSpectrum) {
    const int n = GetParam();
    for (const int m : {1, 2, 3, 4, 8}) {
        for (const std::ptrdiff_t stride : {1, 2}) {
            SCOPED_TRACE(::testing::Message() << "m " << m << ", stride " << stride);
            const int len = n * m;
            const std::vector<LongComplex> x = complexSignal(len, 600 + 7 * n + m);
            std::vector<double> re(len * stride, kUntouched), im(re), data(re);
            std::vector<LongComplex> realX(len);
            for (int j = 0; j < n; ++j) {
                std::vector<LongComplex> sub(m), realSub(m);
                for (int t = 0; t < m; ++t) sub[t] = x[j + t * n], realSub[t] = realX[j + t * n] = x[j + t * n].imag();
                const std::vector<LongComplex> spectrum = referenceDft(sub), realSpectrum = referenceDft(realSub);
                for (int k = 0; k < m; ++k) {
                    re[(j * m + k) * stride] = static_cast<double>(spectrum[k].real());
                    im[(j * m + k) * stride] = static_cast<double>(spectrum[k].imag());
                    const LongComplex z = realSpectrum[std::min(k, m - k)];
                    data[(j * m + k) * stride] = static_cast<double>(2 * k <= m ? z.real() : z.imag());
                }
            }
            std::vector<double> twRe((std::max(m - 1, 1)) * (n - 1)), twIm(twRe.size());
            for (const bool realPass : {false, true}) {
                const int lastK = realPass ? m / 2 : m - 1;
                std::fill(twRe.begin(), twRe.end(), std::numeric_limits<double>::quiet_NaN());
                std::fill(twIm.begin(), twIm.end(), std::numeric_limits<double>::quiet_NaN());
                for (int k = 1; k <= lastK && k < m; ++k)
                    for (int j = 1; j < n; ++j) {
                        const long double angle = -6.283185307179586476925286766559005768L * (j * k) / (n * m);
                        twRe[(k - 1) * (n - 1) + (j - 1)] = static_cast<double>(std::cos(angle));
                        twIm[(k - 1) * (n - 1) + (j - 1)] = static_cast<double>(std::sin(angle));
                    }
                if (!realPass) cxTwiddleKernels[n](re.data(), im.data(), twRe.data(), twIm.data(), stride, m);
                else reTwiddleKernels[n](data.data(), twRe.data(), twIm.data(), stride, m);
            }
            std::vector<LongComplex> got(len);
            for (int i = 0; i < len; ++i) got[i] = LongComplex(re[i * stride], im[i * stride]);
            EXPECT_LE(relativeRmsError(referenceDft(x), got), tolerance(len)) << "complex";
            EXPECT_LE(relativeRmsError(referenceDft(realX), expandHc(data.data(), len, stride)), tolerance(len)) << "real";
            for (const auto* v : {&re, &im, &data}) expectGapsUntouched(*v, stride);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllRadices, KernelRadix, ::testing::ValuesIn(generated::kKernelRadices),
                         [](const ::testing::TestParamInfo<int>& info) { return "n" + std::to_string(info.param); });

}  // namespace
}  // namespace varnel::fft
