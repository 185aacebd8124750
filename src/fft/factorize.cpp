#include "fft/factorize.h"

#include <utility>

namespace varnel::fft {
namespace {

void append(Factorization& result, std::int32_t factor, StageKind kind) {
    result.factors[result.count] = factor;
    result.kinds[result.count] = kind;
    ++result.count;
}

// What the kernel radices leave over has only prime factors 23, 47 and
// primes of 53 or more; 23 and 47 are cheap enough for a direct DFT.
StageKind primeKind(std::int32_t p) { return p < 50 ? DirectStage : RaderStage; }

std::int32_t takeKernelRadices(Factorization& result, std::int32_t r) {
    for (const std::int32_t f : kRadixPreference) {
        while (r % f == 0) {
            append(result, f, KernelStage);
            r /= f;
        }
    }
    return r;
}

std::int32_t takeOddPrimes(Factorization& result, std::int32_t r) {
    if (r == 1 || r < 9) return r;
    for (std::int32_t d = 3;; d += 2) {
        while (r % d == 0) {
            append(result, d, primeKind(d));
            r /= d;
        }
        const std::int64_t next = d + 2;
        if (next * next > r) break;
    }
    return r;
}

// Exchange sort: equal factors never swap, so the order among equal radices
// (and their kinds) is the order in which they were found.
void sortAscending(Factorization& result) {
    for (std::int32_t i = 0; i + 1 < result.count; ++i) {
        for (std::int32_t j = i + 1; j < result.count; ++j) {
            if (result.factors[i] > result.factors[j]) {
                std::swap(result.factors[i], result.factors[j]);
                std::swap(result.kinds[i], result.kinds[j]);
            }
        }
    }
}

}  // namespace

Factorization factorize(std::int32_t n) noexcept {
    Factorization result;
    if (n < 2) return result;
    std::int32_t r = takeKernelRadices(result, n);
    r = takeOddPrimes(result, r);
    if (r != 1) append(result, r, primeKind(r));
    sortAscending(result);
    return result;
}

}  // namespace varnel::fft
