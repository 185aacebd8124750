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
