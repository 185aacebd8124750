#include "fft/prime_dft.h"

#include "fft/transform_internal.h"
#include "varnel.h"

namespace varnel::fft {
namespace {

// A Rader stage's own arrays; its sub-plan's transforms work after them.
std::size_t raderOwnScratch(std::int32_t p) { return 4 * static_cast<std::size_t>(p); }

// Direct DFT over the symmetric pairs x[k] +- x[p-k], so each table entry is
// used for two outputs. Every input but x[0] is consumed before any output
// is written, and X[0] is written last, which makes it safe in place.
void directCxDft(const FftStage& stage, std::int32_t p, const double* inRe, const double* inIm,
                 std::ptrdiff_t is, double* outRe, double* outIm, std::ptrdiff_t os, double* scratch) {
    const std::int32_t h = (p - 1) / 2;
    double* sr = scratch;
    double* di = sr + h;
    double* dr = di + h;
    double* si = dr + h;
    const double x0Re = inRe[0], x0Im = inIm[0];
    double sumRe = x0Re, sumIm = x0Im;
    for (std::int32_t k = 1; k <= h; ++k) {
        const std::ptrdiff_t a = k * is, b = (p - k) * is;
        sr[k - 1] = inRe[a] + inRe[b];
        di[k - 1] = inIm[a] - inIm[b];
        dr[k - 1] = inRe[a] - inRe[b];
        si[k - 1] = inIm[a] + inIm[b];
        sumRe += sr[k - 1];
        sumIm += si[k - 1];
    }
    for (std::int32_t m = 1; m <= h; ++m) {
        double upRe = x0Re, upIm = x0Im, downRe = x0Re, downIm = x0Im;
        std::int32_t r = 0;
        for (std::int32_t k = 1; k <= h; ++k) {
            r += m;
            if (r >= p) r -= p;
            const double c = stage.dftCos[r], s = stage.dftSin[r];
            upRe += sr[k - 1] * c - di[k - 1] * s;
            upIm += si[k - 1] * c + dr[k - 1] * s;
            downRe += sr[k - 1] * c + di[k - 1] * s;
            downIm += si[k - 1] * c - dr[k - 1] * s;
        }
        outRe[m * os] = upRe;
        outIm[m * os] = upIm;
        outRe[(p - m) * os] = downRe;
        outIm[(p - m) * os] = downIm;
    }
    outRe[0] = sumRe;
    outIm[0] = sumIm;
}

void directReDft(const FftStage& stage, std::int32_t p, const double* in, std::ptrdiff_t is, double* out,
                 std::ptrdiff_t os, double* scratch) {
    const std::int32_t h = (p - 1) / 2;
    double* s = scratch;
    double* d = s + h;
    const double x0 = in[0];
    double sum = x0;
    for (std::int32_t k = 1; k <= h; ++k) {
        s[k - 1] = in[k * is] + in[(p - k) * is];
        d[k - 1] = in[k * is] - in[(p - k) * is];
        sum += s[k - 1];
    }
    for (std::int32_t m = 1; m <= h; ++m) {
        double re = x0, im = 0;
        std::int32_t r = 0;
        for (std::int32_t k = 1; k <= h; ++k) {
            r += m;
            if (r >= p) r -= p;
            re += s[k - 1] * stage.dftCos[r];
            im += d[k - 1] * stage.dftSin[r];
        }
        out[m * os] = re;
        out[(p - m) * os] = im;
    }
    out[0] = sum;
}

// Rader: X[g^r] - x[0] is the cyclic convolution of a[s] = x[g^-s] with
// the kernel exp(-2 pi i g^t / p). The second transform is a forward one
// applied to the conjugated product, which yields the conjugate of the
// convolution without an inverse plan.
std::int32_t raderCxDft(const FftStage& stage, std::int32_t p, const double* inRe, const double* inIm,
                        std::ptrdiff_t is, double* outRe, double* outIm, std::ptrdiff_t os,
                        double* scratch) {
    const std::int32_t len = p - 1;
    double* aRe = scratch;
    double* aIm = scratch + len;
    const double x0Re = inRe[0], x0Im = inIm[0];
    double sumRe = x0Re, sumIm = x0Im;
    for (std::int32_t t = 1; t < p; ++t) {
        const std::ptrdiff_t src = stage.raderGather[t] * is;
        aRe[t - 1] = inRe[src];
        aIm[t - 1] = inIm[src];
        sumRe += aRe[t - 1];
        sumIm += aIm[t - 1];
    }
    outRe[0] = sumRe;
    outIm[0] = sumIm;
    double* xRe = outRe + os;
    double* xIm = outIm + os;
    double* subScratch = scratch + raderOwnScratch(p);
    std::int32_t status = cxFftStrided(stage.raderPlan, aRe, aIm, xRe, xIm, 1, os, subScratch);
    if (status != kStatusOk) return status;
    for (std::int32_t u = 0; u < len; ++u) {
        const double are = xRe[u * os], aim = xIm[u * os];
        const double bre = stage.raderRe[u], bim = stage.raderIm[u];
        xRe[u * os] = are * bre - aim * bim;
        xIm[u * os] = -(are * bim + aim * bre);
    }
    status = cxFftStrided(stage.raderPlan, xRe, xIm, aRe, aIm, os, 1, subScratch);
    if (status != kStatusOk) return status;
    for (std::int32_t t = 1; t < p; ++t) {
        const std::ptrdiff_t dst = stage.raderScatter[t] * os;
        outRe[dst] = x0Re + aRe[t - 1];
        outIm[dst] = x0Im - aIm[t - 1];
    }
    return kStatusOk;
}

// Real Rader: the real convolution input gives a half-complex spectrum,
// expanded to full length for the product with the complex kernel; only
// the outputs in the lower half of the Hc array are stored.
std::int32_t raderReDft(const FftStage& stage, std::int32_t p, const double* in, std::ptrdiff_t is,
                        double* out, std::ptrdiff_t os, double* scratch) {
    const std::int32_t len = p - 1;
    double* aRe = scratch;
    double* aIm = aRe + p;
    double* bRe = aIm + p;
    double* bIm = bRe + p;
    const double x0 = in[0];
    double sum = x0;
    for (std::int32_t t = 1; t < p; ++t) {
        bRe[t - 1] = in[stage.raderGather[t] * is];
        sum += bRe[t - 1];
    }
    out[0] = sum;
    double* subScratch = scratch + raderOwnScratch(p);
    std::int32_t status = reFftStrided(stage.raderPlan, bRe, aIm, 1, 1, subScratch);
    if (status != kStatusOk) return status;
    bRe[0] = aIm[0];
    bIm[0] = 0;
    for (std::int32_t k = 1; k < (len + 1) / 2; ++k) {
        bRe[k] = bRe[len - k] = aIm[k];
        bIm[k] = aIm[len - k];
        bIm[len - k] = -aIm[len - k];
    }
    bRe[len / 2] = aIm[len / 2];  // len is even: the Nyquist bin is real
    bIm[len / 2] = 0;
    for (std::int32_t u = 0; u < len; ++u) {
        const double kre = stage.raderRe[u], kim = stage.raderIm[u];
        aRe[u] = bRe[u] * kre - bIm[u] * kim;
        aIm[u] = -(bRe[u] * kim + bIm[u] * kre);
    }
    status = cxFftStrided(stage.raderPlan, aRe, aIm, bRe, bIm, 1, 1, subScratch);
    if (status != kStatusOk) return status;
    for (std::int32_t t = 1; t < p; ++t) {
        const std::int32_t q = stage.raderScatter[t];
        if (q > p / 2) continue;
        out[q * os] = x0 + bRe[t - 1];
        out[(p - q) * os] = -bIm[t - 1];
    }
    return kStatusOk;
}

}  // namespace

std::size_t primeScratchSize(std::int32_t kind, std::int32_t p) noexcept {
    if (kind != RaderStage) return 2 * static_cast<std::size_t>(p);
    return raderOwnScratch(p) + fftScratchSize(p - 1);
}

std::int32_t cxPrimeDft(const FftStage& stage, std::int32_t kind, std::int32_t p, const double* inRe,
                        const double* inIm, std::ptrdiff_t is, double* outRe, double* outIm,
                        std::ptrdiff_t os, double* scratch) noexcept {
    if (kind == RaderStage) return raderCxDft(stage, p, inRe, inIm, is, outRe, outIm, os, scratch);
    directCxDft(stage, p, inRe, inIm, is, outRe, outIm, os, scratch);
    return kStatusOk;
}

std::int32_t rePrimeDft(const FftStage& stage, std::int32_t kind, std::int32_t p, const double* in,
                        std::ptrdiff_t is, double* out, std::ptrdiff_t os, double* scratch) noexcept {
    if (kind == RaderStage) return raderReDft(stage, p, in, is, out, os, scratch);
    directReDft(stage, p, in, is, out, os, scratch);
    return kStatusOk;
}

}  // namespace varnel::fft
