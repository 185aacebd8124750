// Exact reference transforms for checking the FFT: long-double DFTs with
// twiddles reduced exactly (j*k mod n) so that the reference itself carries
// no error growth with n.
#pragma once

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <vector>

namespace varnel::testing {

using LongComplex = std::complex<long double>;

// X[k] = sum_j x[j] exp(sign * 2 pi i j k / n), no scaling. O(n^2): for
// lengths above a few thousand use referenceDftBins on selected bins.
std::vector<LongComplex> referenceDft(const std::vector<LongComplex>& x, int sign = -1);

// The same DFT evaluated only at the listed bins.
std::vector<LongComplex> referenceDftBins(const std::vector<LongComplex>& x,
                                          const std::vector<std::int64_t>& bins, int sign = -1);

// sqrt(sum |got - want|^2 / sum |want|^2).
double relativeRmsError(const std::vector<LongComplex>& want, const std::vector<LongComplex>& got);

// Random values uniform in [-1, 1), reproducible from the seed.
std::vector<double> randomReals(std::size_t count, std::uint32_t seed);

// Bin k of the half-complex array hc[r * stride], r < n: r_0, ..., r_{n/2},
// then the imaginary parts i_{(n-1)/2} down to i_1.
inline LongComplex hcBin(const double* hc, std::int64_t n, std::int64_t k, std::int64_t stride = 1) {
    if (k == 0 || 2 * k == n) return hc[k * stride];
    if (2 * k < n) return {hc[k * stride], hc[(n - k) * stride]};
    return {hc[(n - k) * stride], -hc[k * stride]};
}

inline std::vector<LongComplex> expandHc(const double* hc, std::int64_t n, std::int64_t stride = 1) {
    std::vector<LongComplex> z(n);
    for (std::int64_t k = 0; k < n; ++k) z[k] = hcBin(hc, n, k, stride);
    return z;
}

inline std::int32_t powerOfTwoAtLeast(std::int64_t n) {
    std::int32_t p = 1;
    while (p < n) p *= 2;
    return p;
}

inline double maxAbs(const std::vector<double>& a) {
    double m = 0.0;
    for (double v : a) m = std::max(m, std::abs(v));
    return m;
}

inline double maxAbsDifference(const std::vector<double>& a, const std::vector<double>& b) {
    double m = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) m = std::max(m, std::abs(a[i] - b[i]));
    return m;
}

}  // namespace varnel::testing
