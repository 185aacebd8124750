// Fixed-size DFT kernels against the long-double reference DFT. Inputs are
// uniform in [-1, 1), so a length-L spectrum has scale about sqrt(L); the
// relative RMS error allowed is 1e-15 * sqrt(L), L the length the output
// represents (n for leaves, n*m for a twiddle pass).
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "fft/generated/dft_bodies.h"
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

constexpr long double kTwoPi = 6.283185307179586476925286766559005768L;
constexpr double kUntouched = -12345.0;

double tolerance(int length) { return 1e-15 * std::sqrt(static_cast<double>(length)); }

// Half-complex array of a conjugate-symmetric spectrum.
std::vector<double> toHc(const std::vector<LongComplex>& z) {
    const int n = static_cast<int>(z.size());
    std::vector<double> hc(n);
    for (int k = 0; 2 * k <= n; ++k) hc[k] = static_cast<double>(z[k].real());
    for (int k = 1; 2 * k < n; ++k) hc[n - k] = static_cast<double>(z[k].imag());
    return hc;
}

std::vector<LongComplex> complexSignal(int n, std::uint32_t seed) {
    const std::vector<double> v = randomReals(2 * static_cast<std::size_t>(n), seed);
    std::vector<LongComplex> x(n);
    for (int t = 0; t < n; ++t) x[t] = LongComplex(v[2 * t], v[2 * t + 1]);
    return x;
}

std::vector<LongComplex> realSignal(int n, std::uint32_t seed) {
    const std::vector<double> v = randomReals(n, seed);
    return std::vector<LongComplex>(v.begin(), v.end());
}

// Every element not at a multiple of stride (below count * stride) is untouched.
void expectGapsUntouched(const std::vector<double>& a, std::ptrdiff_t stride) {
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (static_cast<std::ptrdiff_t>(i) % stride != 0) {
            ASSERT_EQ(a[i], kUntouched) << "element " << i << " between the strided slots was written";
        }
    }
}

// Twiddle table of a pass of radix n over sub-length m: entry (k-1)(n-1) +
// (j-1) is exp(-2 pi i j k / (n m)).  Entries with k above lastK are NaN, so
// that a kernel that reads them spoils its result.
void twiddles(int n, int m, int lastK, std::vector<double>& re, std::vector<double>& im) {
    const std::size_t size = static_cast<std::size_t>(std::max(m - 1, 1)) * (n - 1);
    re.assign(size, std::numeric_limits<double>::quiet_NaN());
    im.assign(size, std::numeric_limits<double>::quiet_NaN());
    for (int k = 1; k <= lastK && k < m; ++k) {
        for (int j = 1; j < n; ++j) {
            const long double angle = -kTwoPi * static_cast<long double>((j * k) % (n * m)) / (n * m);
            re[(k - 1) * (n - 1) + (j - 1)] = static_cast<double>(std::cos(angle));
            im[(k - 1) * (n - 1) + (j - 1)] = static_cast<double>(std::sin(angle));
        }
    }
}

class KernelRadix : public ::testing::TestWithParam<int> {};

TEST_P(KernelRadix, ComplexLeafMatchesDft) {
    const int n = GetParam();
    struct Layout {
        int count;
        std::ptrdiff_t inStride, outStride;
    };
    for (const Layout layout : {Layout{1, 1, 1}, Layout{3, 2, 3}}) {
        const int c = layout.count;
        const std::vector<LongComplex> x = complexSignal(n * c, 100 + n);
        std::vector<double> inRe(n * c * layout.inStride, kUntouched), inIm(inRe);
        for (int i = 0; i < n * c; ++i) {
            inRe[i * layout.inStride] = static_cast<double>(x[i].real());
            inIm[i * layout.inStride] = static_cast<double>(x[i].imag());
        }
        std::vector<double> outRe(n * c * layout.outStride, kUntouched), outIm(outRe);
        cxLeafKernels[n](inRe.data(), inIm.data(), outRe.data(), outIm.data(), static_cast<std::int32_t>(layout.inStride),
                         static_cast<std::int32_t>(layout.outStride), c);
        for (int j = 0; j < c; ++j) {
            std::vector<LongComplex> sub(n), got(n);
            for (int t = 0; t < n; ++t) sub[t] = x[j + t * c];
            for (int k = 0; k < n; ++k) {
                const std::ptrdiff_t at = (j * n + k) * layout.outStride;
                got[k] = LongComplex(outRe[at], outIm[at]);
            }
            EXPECT_LE(relativeRmsError(referenceDft(sub), got), tolerance(n)) << "count " << c << ", transform " << j;
        }
        expectGapsUntouched(outRe, layout.outStride);
        expectGapsUntouched(outIm, layout.outStride);
    }
}

TEST_P(KernelRadix, RealLeafMatchesDft) {
    const int n = GetParam();
    for (const int c : {1, 3}) {
        const std::ptrdiff_t is = c == 1 ? 1 : 3, os = c == 1 ? 1 : 2;
        const std::vector<LongComplex> x = realSignal(n * c, 200 + n);
        std::vector<double> in(n * c * is, kUntouched);
        for (int i = 0; i < n * c; ++i) in[i * is] = static_cast<double>(x[i].real());
        std::vector<double> out(n * c * os, kUntouched);
        reLeafKernels[n](in.data(), out.data(), static_cast<std::int32_t>(is), static_cast<std::int32_t>(os), c);
        for (int j = 0; j < c; ++j) {
            std::vector<LongComplex> sub(n);
            for (int t = 0; t < n; ++t) sub[t] = x[j + t * c];
            const std::vector<LongComplex> got = expandHc(out.data() + j * n * os, n, os);
            EXPECT_LE(relativeRmsError(referenceDft(sub), got), tolerance(n)) << "count " << c << ", transform " << j;
        }
        expectGapsUntouched(out, os);
    }
}

// Each pass must turn the spectra of the n decimated subsequences x[j::n]
// into the spectrum of x; the real pass may read only the twiddles up to
// k = m/2 (the rest are NaN).
TEST_P(KernelRadix, TwiddlePassesCompleteTheSpectrum) {
    const int n = GetParam();
    for (const int m : {1, 2, 3, 4, 5, 8}) {
        for (const std::ptrdiff_t stride : {1, 2}) {
            SCOPED_TRACE(::testing::Message() << "m " << m << ", stride " << stride);
            const int len = n * m;
            const std::vector<LongComplex> x = complexSignal(len, 600 + 7 * n + m);
            const std::vector<LongComplex> y = realSignal(len, 700 + 7 * n + m);
            std::vector<double> re(len * stride, kUntouched), im(re), data(re);
            for (int j = 0; j < n; ++j) {
                std::vector<LongComplex> sub(m), realSub(m);
                for (int t = 0; t < m; ++t) sub[t] = x[j + t * n], realSub[t] = y[j + t * n];
                const std::vector<LongComplex> spectrum = referenceDft(sub);
                const std::vector<double> hc = toHc(referenceDft(realSub));
                for (int k = 0; k < m; ++k) {
                    re[(j * m + k) * stride] = static_cast<double>(spectrum[k].real());
                    im[(j * m + k) * stride] = static_cast<double>(spectrum[k].imag());
                    data[(j * m + k) * stride] = hc[k];
                }
            }
            std::vector<double> twRe, twIm;
            twiddles(n, m, m - 1, twRe, twIm);
            cxTwiddleKernels[n](re.data(), im.data(), twRe.data(), twIm.data(), static_cast<std::int32_t>(stride), m);
            twiddles(n, m, m / 2, twRe, twIm);
            reTwiddleKernels[n](data.data(), twRe.data(), twIm.data(), static_cast<std::int32_t>(stride), m);
            std::vector<LongComplex> got(len);
            for (int i = 0; i < len; ++i) got[i] = LongComplex(re[i * stride], im[i * stride]);
            EXPECT_LE(relativeRmsError(referenceDft(x), got), tolerance(len)) << "complex";
            EXPECT_LE(relativeRmsError(referenceDft(y), expandHc(data.data(), len, stride)), tolerance(len)) << "real";
            for (const auto* v : {&re, &im, &data}) expectGapsUntouched(*v, stride);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllRadices, KernelRadix, ::testing::ValuesIn(generated::kKernelRadices),
                         [](const ::testing::TestParamInfo<int>& info) { return "n" + std::to_string(info.param); });

// The bodies are meant for SIMD code too: with T a GCC vector, each lane
// must carry its own transform.
typedef double Lanes4 __attribute__((vector_size(32)));

template <int N>
void expectVectorLanesTransformIndependently() {
    constexpr int kLanes = 4;
    std::vector<LongComplex> x[kLanes], got[kLanes], gotReal[kLanes];
    for (int l = 0; l < kLanes; ++l) {
        x[l] = complexSignal(N, 800 + 4 * N + l);
        got[l].resize(N);
        gotReal[l].resize(N);
    }
    generated::cxDft<N, Lanes4>(
        [&](std::ptrdiff_t t, Lanes4& re, Lanes4& im) {
            for (int l = 0; l < kLanes; ++l) {
                re[l] = static_cast<double>(x[l][t].real());
                im[l] = static_cast<double>(x[l][t].imag());
            }
        },
        [&](std::ptrdiff_t k, const Lanes4& re, const Lanes4& im) {
            for (int l = 0; l < kLanes; ++l) got[l][k] = LongComplex(re[l], im[l]);
        });
    std::vector<double> hc[kLanes];
    for (auto& h : hc) h.resize(N);
    generated::reDft<N, Lanes4>(
        [&](std::ptrdiff_t t, Lanes4& v) {
            for (int l = 0; l < kLanes; ++l) v[l] = static_cast<double>(x[l][t].real());
        },
        [&](std::ptrdiff_t r, const Lanes4& v) {
            for (int l = 0; l < kLanes; ++l) hc[l][r] = v[l];
        });
    for (int l = 0; l < kLanes; ++l) {
        EXPECT_LE(relativeRmsError(referenceDft(x[l]), got[l]), tolerance(N)) << "radix " << N << ", lane " << l;
        std::vector<LongComplex> realInput(N);
        for (int t = 0; t < N; ++t) realInput[t] = x[l][t].real();
        EXPECT_LE(relativeRmsError(referenceDft(realInput), expandHc(hc[l].data(), N, 1)), tolerance(N))
            << "radix " << N << ", lane " << l;
    }
}

template <class Check, int... N>
void forEveryRadix(Check check, std::integer_sequence<int, N...>) {
    (check.template operator()<N>(), ...);
}

TEST(KernelBodies, VectorLanesTransformIndependently) {
    forEveryRadix([]<int N>() { expectVectorLanesTransformIndependently<N>(); }, generated::KernelRadices{});
}

}  // namespace
}  // namespace varnel::fft
