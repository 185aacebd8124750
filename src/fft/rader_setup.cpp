#include "fft/rader_setup.h"

#include "fft/unit_roots.h"
#include "frame/scratch.h"

namespace varnel::fft {
namespace {

std::int64_t powerMod(std::int64_t base, std::int64_t exponent, std::int64_t p) {
    std::int64_t result = 1;
    for (; exponent > 0; exponent >>= 1, base = base * base % p)
        if (exponent & 1) result = result * base % p;
    return result;
}

// Smallest primitive root g of the prime p: g^((p-1)/q) != 1 for every
// prime q dividing p-1, which takes a few modular powers per candidate
// instead of walking g's whole order.
std::int64_t primitiveRoot(std::int64_t p) {
    std::int64_t primes[32], count = 0;
    std::int64_t rest = p - 1;
    for (std::int64_t q = 2; q * q <= rest; ++q) {
        if (rest % q != 0) continue;
        primes[count++] = q;
        while (rest % q == 0) rest /= q;
    }
    if (rest > 1) primes[count++] = rest;
    for (std::int64_t g = 2;; ++g) {
        bool full = true;
        for (std::int64_t i = 0; i < count && full; ++i) full = powerMod(g, (p - 1) / primes[i], p) != 1;
        if (full) return g;
    }
}

// scatter = [0, 1, g, g^2, ..., g^(p-2)], gather = [0, 1, g^-1, ..., g^-(p-2)]
// where g^-s = g^(p-1-s).
void fillIndexTables(std::int32_t* gather, std::int32_t* scatter, std::int64_t g, std::int64_t p) {
    gather[0] = scatter[0] = 0;
    std::int64_t power = 1;
    for (std::int64_t t = 0; t <= p - 2; ++t) {
        scatter[1 + t] = static_cast<std::int32_t>(power);
        gather[t == 0 ? 1 : p - t] = static_cast<std::int32_t>(power);
        power = (power * g) % p;
    }
}

// DFT of b[t] = exp(-2 pi i g^t / p) / (p-1): the convolution kernel, with
// the 1/(p-1) of the inverse transform folded in.
bool fillKernelSpectrum(FftStage& stage, std::int32_t p) {
    const std::int64_t len = p - 1;
    ScratchBuffer<double> roots(2 * static_cast<std::size_t>(len));
    ScratchBuffer<double> kernel(2 * static_cast<std::size_t>(len));
    if (!roots.ok() || !kernel.ok()) return false;
    double* rootRe = roots.data();
    double* rootIm = roots.data() + len;
    // The upper half of the roots are the conjugates of the lower.
    unitRoots(1, p, 1, len / 2, rootRe, rootIm, 1);
    for (std::int64_t r = len / 2 + 1; r <= len; ++r) {
        rootRe[r - 1] = rootRe[p - r - 1];
        rootIm[r - 1] = -rootIm[p - r - 1];
    }
    const double scale = 1.0 / static_cast<double>(len);
    for (std::int64_t t = 0; t < len; ++t) {
        const std::int32_t r = stage.raderScatter[1 + t];
        kernel[t] = rootRe[r - 1] * scale;
        kernel[len + t] = rootIm[r - 1] * scale;
    }
    return cxFft(stage.raderPlan, kernel.data(), kernel.data() + len, stage.raderRe, stage.raderIm, 1, 1,
                 static_cast<std::int32_t>(len)) == 0;
}

}  // namespace

bool setUpRaderStage(FftStage& stage, std::int32_t p) noexcept {
    stage.raderPlan = fftPlanCreate(p - 1);
    stage.raderGather = static_cast<std::int32_t*>(scratchAllocate(p, sizeof(std::int32_t)));
    stage.raderScatter = static_cast<std::int32_t*>(scratchAllocate(p, sizeof(std::int32_t)));
    stage.raderRe = static_cast<double*>(scratchAllocate(p - 1, sizeof(double)));
    stage.raderIm = static_cast<double*>(scratchAllocate(p - 1, sizeof(double)));
    if (!stage.raderPlan || !stage.raderGather || !stage.raderScatter || !stage.raderRe || !stage.raderIm)
        return false;
    fillIndexTables(stage.raderGather, stage.raderScatter, primitiveRoot(p), p);
    return fillKernelSpectrum(stage, p);
}

}  // namespace varnel::fft
