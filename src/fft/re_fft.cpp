// Real FFT in the half-complex (Hc) layout: the same decimation in time as
// the complex transform, but every intermediate result is an Hc spectrum,
// so each stage touches half the data of its complex counterpart.
#include "fft/first_stage_gather.h"
#include "fft/plan.h"
#include "fft/prime_dft.h"
#include "fft/transform_internal.h"
#include "frame/scratch.h"
#include "varnel.h"

namespace varnel::fft {
namespace {

using std::ptrdiff_t;

// `work` is the caller's scratch after the first stage's copy: the prime
// stages' arrays, one stage at a time.
std::int32_t reLeafPass(const FftPlan& plan, int s, const double* in, double* out, ptrdiff_t is, ptrdiff_t os,
                        std::int32_t count, double* work) {
    const std::int32_t f = plan.factors[s];
    const std::int32_t kind = plan.kinds[s];
    const FftStage& stage = *plan.stages[s];
    if (stage.reVecLeaf && os == 1 && count > 1) {  // as in the complex leaf pass
        stage.reVecLeaf(in, out, is, count);
        return kStatusOk;
    }
    if (kind == KernelStage) {
        plan.reLeafKernels[s](in, out, static_cast<std::int32_t>(is), static_cast<std::int32_t>(os), count);
        return kStatusOk;
    }
    for (std::int32_t j = 0; j < count; ++j) {
        const std::int32_t status =
            rePrimeDft(*plan.stages[s], kind, f, in + j * is, count * is, out + j * f * os, os, work);
        if (status != kStatusOk) return status;
    }
    return kStatusOk;
}

// Stores the p outputs Z[j'] of bin k + j'm of a combined spectrum of
// length L = p*m into the Hc slots; bins above L/2 are stored as the
// conjugates of their mirror bins L - (k + j'm).
void storeHalfComplex(const double* zRe, const double* zIm, std::int32_t p, ptrdiff_t k, ptrdiff_t m,
                      double* data, ptrdiff_t os) {
    const ptrdiff_t length = p * m;
    for (std::int32_t j = 0; j < p; ++j) {
        const ptrdiff_t bin = k + j * m;
        if (2 * bin < length) {
            data[bin * os] = zRe[j];
            data[(length - bin) * os] = zIm[j];
        } else if (2 * bin > length) {
            const ptrdiff_t mirror = length - bin;
            data[mirror * os] = zRe[j];
            data[bin * os] = -zIm[j];
        } else {
            data[bin * os] = zRe[j];  // Nyquist bin: real
        }
    }
}

// Prime radix without a kernel, in place on p Hc spectra of length m.
// Bin k of every sub-spectrum (its re slot k and im slot m-k) feeds exactly
// the slots that its outputs are stored in, so each k is independent.
std::int32_t rePrimeTwiddlePass(const FftPlan& plan, int s, double* data, ptrdiff_t os, ptrdiff_t m,
                                double* work) {
    const std::int32_t p = plan.factors[s];
    const std::int32_t kind = plan.kinds[s];
    const FftStage& stage = *plan.stages[s];
    double* zRe = work;
    double* zIm = zRe + p;
    double* dftScratch = zIm + p;
    const ptrdiff_t step = os * m;
    std::int32_t status = rePrimeDft(stage, kind, p, data, step, data, step, dftScratch);
    for (ptrdiff_t k = 1; k <= m / 2 && status == kStatusOk; ++k) {
        const bool middle = 2 * k == m;
        const double* twRe = stage.twRe + k;  // w^(jk) at twRe[(j-1) m]
        const double* twIm = stage.twIm + k;
        for (std::int32_t j = 0; j < p; ++j) {
            const double xr = data[(j * m + k) * os];
            const double xi = middle ? 0.0 : data[(j * m + m - k) * os];
            zRe[j] = j == 0 ? xr : xr * twRe[(j - 1) * m] - xi * twIm[(j - 1) * m];
            zIm[j] = j == 0 ? xi : xr * twIm[(j - 1) * m] + xi * twRe[(j - 1) * m];
        }
        status = cxPrimeDft(stage, kind, p, zRe, zIm, 1, zRe, zIm, 1, dftScratch);
        if (status == kStatusOk) storeHalfComplex(zRe, zIm, p, k, m, data, os);
    }
    return status;
}

std::int32_t reTwiddlePass(const FftPlan& plan, int s, double* data, ptrdiff_t os, ptrdiff_t m, double* work) {
    if (plan.kinds[s] != KernelStage) return rePrimeTwiddlePass(plan, s, data, os, m, work);
    const FftStage& stage = *plan.stages[s];
    if (stage.reVecTwiddle && os == 1) {
        stage.reVecTwiddle(data, stage.vecTwiddlesRe(), stage.vecTwiddlesIm(), m);
        return kStatusOk;
    }
    plan.reTwiddleKernels[s](data, stage.twRe, stage.twIm, static_cast<std::int32_t>(os),
                             static_cast<std::int32_t>(m));
    return kStatusOk;
}

// As in the complex transform: sub-transforms of a stage with contiguous
// input run their leaf passes together when the vector kernels can.
bool reSiblingLeaves(const FftPlan& plan, int s, const double* in, double* out, ptrdiff_t is, ptrdiff_t os,
                     ptrdiff_t m) {
    if (!runsSiblingLeaves(plan, s, is, os, &FftStage::reVecSiblingLeaf)) return false;
    plan.stages[s + 2]->reVecSiblingLeaf(in, out, plan.factors[s], plan.factors[s + 1], m);
    return true;
}

std::int32_t reStep(const FftPlan& plan, ptrdiff_t length, int s, const double* in, double* out, ptrdiff_t is,
                    ptrdiff_t os, double* work) {
    const std::int32_t f = plan.factors[s];
    const ptrdiff_t m = length / f;
    std::int32_t status = kStatusOk;
    if (s == plan.factorCount - 2) {
        status = reLeafPass(plan, s + 1, in, out, is, os, f, work);
    } else if (reSiblingLeaves(plan, s, in, out, is, os, m)) {
        for (std::int32_t j = 0; j < f && status == kStatusOk; ++j)
            status = reTwiddlePass(plan, s + 1, out + j * m * os, os, m / plan.factors[s + 1], work);
    } else {
        for (std::int32_t j = 0; j < f && status == kStatusOk; ++j)
            status = reStep(plan, m, s + 1, in + j * is, out + j * m * os, f * is, os, work);
    }
    if (status != kStatusOk) return status;
    return reTwiddlePass(plan, s, out, os, m, work);
}

// The first stage run from contiguous copies of its sub-sequences, a group
// at a time. They take the first group * m doubles of the scratch; the
// prime stages work after twice that, where the complex transform's would,
// so that one size serves both.
std::int32_t reStepFromGatheredInput(const FftPlan& plan, const double* in, double* out, ptrdiff_t is, ptrdiff_t os,
                                     double* scratch) {
    const std::int32_t f = plan.factors[0];
    const ptrdiff_t m = plan.length / f;
    const std::int32_t group = gatherGroup(f);
    double* work = scratch + 2 * group * m;
    std::int32_t status = kStatusOk;
    for (std::int32_t j0 = 0; j0 < f && status == kStatusOk; j0 += group) {
        gatherFirstStage(plan, in, is, j0, group, scratch);
        for (std::int32_t j = j0; j < j0 + group && status == kStatusOk; ++j)
            status = reStep(plan, m, 1, scratch + (j - j0) * m, out + j * m * os, 1, os, work);
    }
    if (status != kStatusOk) return status;
    return reTwiddlePass(plan, 0, out, os, m, work);
}

// The sub-transforms from stage s on, for input that was gathered into
// blocks of `length` samples by the decimation of stride `gathered`: block
// q holds in[q + gathered*t]. `stride` is the decimation stride at stage s
// (the product of the earlier stages' factors) and q the offset of this
// sub-transform's input.
std::int32_t reStepFromBlocks(const FftPlan& plan, ptrdiff_t length, int s, const double* blocks, ptrdiff_t q,
                              ptrdiff_t stride, ptrdiff_t gathered, double* out, ptrdiff_t os, double* work) {
    if (stride == gathered) return reStep(plan, length, s, blocks + q * length, out, 1, os, work);
    const std::int32_t f = plan.factors[s];
    const ptrdiff_t m = length / f;
    std::int32_t status = kStatusOk;
    for (std::int32_t j = 0; j < f && status == kStatusOk; ++j)
        status = reStepFromBlocks(plan, m, s + 1, blocks, q + j * stride, stride * f, gathered, out + j * m * os, os,
                                  work);
    if (status != kStatusOk) return status;
    return reTwiddlePass(plan, s, out, os, m, work);
}

// (a, b) -> (a - b, a + b) on the pairs k, n-k, each value first scaled by
// q: maps an Hc spectrum to the real sequence (Re X - Im X) and back, so the
// inverse reuses the forward transform (the Hartley identity). Unit strides,
// the common case, get a loop the compiler can vectorise.
template <class Index>
void scaledHartleyPairs(double* data, Index at, std::int32_t n, double q) {
    data[0] *= q;
    if (n % 2 == 0) data[at(n / 2)] *= q;
    for (ptrdiff_t k = 1; k < (n + 1) / 2; ++k) {
        const double a = data[at(k)] * q, b = data[at(n - k)] * q;
        data[at(k)] = a - b;
        data[at(n - k)] = a + b;
    }
}

void scaledHartleyFold(const FftPlan& plan, double* data, ptrdiff_t stride, std::int32_t n, double q) {
    if (stride == 1 && plan.vecHartleyFold) {
        plan.vecHartleyFold(data, n, q);
    } else if (stride == 1) {
        scaledHartleyPairs(data, [](ptrdiff_t k) { return k; }, n, q);
    } else {
        scaledHartleyPairs(data, [stride](ptrdiff_t k) { return k * stride; }, n, q);
    }
}

}  // namespace

std::int32_t reFftStrided(const FftPlan* plan, const double* in, double* out, ptrdiff_t is, ptrdiff_t os,
                          double* scratch) noexcept {
    const std::int32_t n = plan->length;
    if (n == 1) {
        out[0] = in[0];
        return kStatusOk;
    }
    if (plan->factorCount == 1) return reLeafPass(*plan, 0, in, out, is, os, 1, scratch);
    if (plan->factoredStages && os != 1) {  // as in the complex transform
        double* staged = scratch + plan->scratchDoubles - 2 * static_cast<ptrdiff_t>(n);
        const std::int32_t status = reFftStrided(plan, in, staged, is, 1, scratch);
        for (ptrdiff_t k = 0; k < n; ++k) out[k * os] = staged[k];
        return status;
    }
    if (scratch && gathersFirstStage(plan->factorCount, n))
        return reStepFromGatheredInput(*plan, in, out, is, os, scratch);
    const std::int32_t gathered = leadingGatherStride(plan->factorCount, plan->factors, n);
    if (scratch && gathered > 1 && plan->stages[plan->factorCount - 1]->reVecSiblingLeaf && os == 1) {
        gatherDecimated(in, is, gathered, n / gathered, gathered, scratch);
        return reStepFromBlocks(*plan, n, 0, scratch, 0, 1, gathered, out, os, scratch + n);
    }
    return reStep(*plan, n, 0, in, out, is, os, scratch);
}

std::int32_t reFft(const FftPlan* plan, const double* in, double* out, std::int32_t inStride,
                   std::int32_t outStride, std::int32_t n, double* scratch) noexcept {
    if (!plan || n != plan->length) return kStatusBadLayout;
    return reFftStrided(plan, in, out, inStride, outStride, scratch);
}

std::int32_t reFft(const FftPlan* plan, const double* in, double* out, std::int32_t inStride,
                   std::int32_t outStride, std::int32_t n) noexcept {
    if (!plan || n != plan->length) return kStatusBadLayout;
    return withOwnScratch(*plan, outStride, [&](double* scratch) {
        return reFftStrided(plan, in, out, inStride, outStride, scratch);
    });
}

std::int32_t reIfft(const FftPlan* plan, double* in, double* out, std::int32_t inStride, std::int32_t outStride,
                    std::int32_t n, double* scratch) noexcept {
    if (!plan || n != plan->length) return kStatusBadLayout;
    scaledHartleyFold(*plan, in, inStride, n, 1.0 / n);
    const std::int32_t status = reFftStrided(plan, in, out, inStride, outStride, scratch);
    if (status != kStatusOk) return status;
    scaledHartleyFold(*plan, out, outStride, n, 1.0);
    return kStatusOk;
}

// The scratch is taken before the input is folded, so that a failure
// leaves the input as it was.
std::int32_t reIfft(const FftPlan* plan, double* in, double* out, std::int32_t inStride, std::int32_t outStride,
                    std::int32_t n) noexcept {
    if (!plan || n != plan->length) return kStatusBadLayout;
    return withOwnScratch(*plan, outStride, [&](double* scratch) {
        return reIfft(plan, in, out, inStride, outStride, n, scratch);
    });
}

}  // namespace varnel::fft
