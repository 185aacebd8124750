#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

#include "fft/factorize.h"

namespace varnel::fft {
namespace {

bool isPrime(std::int64_t p) {
    for (std::int64_t d = 2; d * d <= p; ++d)
        if (p % d == 0) return false;
    return p > 1;
}

// Factors multiply to n in ascending order; each is a radix with a kernel,
// or a prime without one: a direct DFT below 50, Rader above.
void expectValid(std::int32_t n) {
    const Factorization f = factorize(n);
    std::int64_t product = 1;
    for (int i = 0; i < f.count; ++i) {
        const int p = f.factors[i];
        product *= p;
        if (i > 0) EXPECT_LE(f.factors[i - 1], p) << n;
        const bool kernel = std::ranges::find(generated::kKernelRadices, p) != std::end(generated::kKernelRadices);
        EXPECT_TRUE(kernel || isPrime(p)) << n << " factor " << p;
        EXPECT_EQ(f.kinds[i], kernel ? KernelStage : p < 50 ? DirectStage : RaderStage) << n << " factor " << p;
    }
    EXPECT_EQ(product, n < 2 ? 1 : n);
}

TEST(Factorize, FactorsAreKernelRadicesOrPrimesAndMultiplyToTheLength) {
    for (std::int32_t n = 0; n <= 3000; ++n) expectValid(n);
    for (std::int32_t n : {65537, 1 << 20, 2 * 53 * 53, 23 * 23 * 47, 47 * 1009, 32 * 43 * 29, 2147483647}) expectValid(n);
}

}  // namespace
}  // namespace varnel::fft
