#include "support/reference_dft.h"

#include <cmath>
#include <random>

namespace varnel::testing {
namespace {

constexpr long double kTwoPi = 6.283185307179586476925286766559005768L;

// exp(sign * 2 pi i r / n) for r already reduced to [0, n).
std::vector<LongComplex> unitRoots(std::int64_t n, int sign) {
    std::vector<LongComplex> w(static_cast<std::size_t>(n));
    for (std::int64_t r = 0; r < n; ++r) {
        const long double angle = kTwoPi * static_cast<long double>(r) / static_cast<long double>(n);
        w[r] = LongComplex(std::cos(angle), sign * std::sin(angle));
    }
    return w;
}

}  // namespace

std::vector<LongComplex> referenceDft(const std::vector<LongComplex>& x, int sign) {
    std::vector<std::int64_t> bins(x.size());
    for (std::size_t k = 0; k < x.size(); ++k) bins[k] = static_cast<std::int64_t>(k);
    return referenceDftBins(x, bins, sign);
}

std::vector<LongComplex> referenceDftBins(const std::vector<LongComplex>& x,
                                          const std::vector<std::int64_t>& bins, int sign) {
    const auto n = static_cast<std::int64_t>(x.size());
    const std::vector<LongComplex> w = unitRoots(n, sign);
    std::vector<LongComplex> out;
    out.reserve(bins.size());
    for (std::int64_t k : bins) {
        LongComplex sum = 0;
        std::int64_t r = 0;
        for (std::int64_t j = 0; j < n; ++j) {
            sum += x[j] * w[r];
            r += k;
            if (r >= n) r -= n;
        }
        out.push_back(sum);
    }
    return out;
}

double relativeRmsError(const std::vector<LongComplex>& want, const std::vector<LongComplex>& got) {
    long double num = 0, den = 0;
    for (std::size_t i = 0; i < want.size(); ++i) {
        num += std::norm(got[i] - want[i]);
        den += std::norm(want[i]);
    }
    if (den == 0) return static_cast<double>(std::sqrt(num));
    return static_cast<double>(std::sqrt(num / den));
}

std::vector<double> randomReals(std::size_t count, std::uint32_t seed) {
    std::mt19937_64 engine(seed);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    std::vector<double> values(count);
    for (double& v : values) v = uniform(engine);
    return values;
}

}  // namespace varnel::testing
