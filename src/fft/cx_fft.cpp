// Complex FFT: recursive decimation in time over the plan's factors. The
// last factor's sub-transforms run straight from the input into the output
// and each earlier stage then combines its sub-transforms in place (the
// first stage of a long one into the output from the scratch).
#include <cstring>

#include "fft/first_stage_gather.h"
#include "fft/plan.h"
#include "fft/prime_dft.h"
#include "fft/transform_internal.h"
#include "frame/scratch.h"
#include "frame/split_complex.h"
#include "varnel.h"

namespace varnel::fft {
namespace {

using std::ptrdiff_t;

// `work` is the caller's scratch after the first stage's copy: the prime
// stages' arrays, one stage at a time.
//
// The steps take their split views by reference. Passed by value, a view
// (three words) was copied to the stack in 16-byte moves from the 8-byte
// stores that had just made it, which the processor cannot forward: small
// transforms (6, 12 and 24 points) took a quarter longer.
//
// count transforms of radix f = factors[s]; transform j reads in[j + t*count]
// and writes out[j*f + k].
std::int32_t cxLeafPass(const FftPlan& plan, int s, const ConstSplitComplex& in, const SplitComplex& out,
                        std::int32_t count, double* work) {
    const ptrdiff_t is = in.stride, os = out.stride;
    const std::int32_t f = plan.factors[s];
    const std::int32_t kind = plan.kinds[s];
    const FftStage& stage = *plan.stages[s];
    // A transform that is a single leaf keeps the scalar kernel: alone in a
    // vector (see cxLeafAlone) those of 5 to 10 points took longer.
    if (stage.cxVecLeaf && os == 1 && count > 1) {
        stage.cxVecLeaf(in.re, in.im, out.re, out.im, is, count);
        return kStatusOk;
    }
    if (kind == KernelStage) {
        plan.cxLeafKernels[s](in.re, in.im, out.re, out.im, static_cast<std::int32_t>(is),
                              static_cast<std::int32_t>(os), count);
        return kStatusOk;
    }
    for (std::int32_t j = 0; j < count; ++j) {
        const ConstSplitComplex src = in.offset(j);
        const SplitComplex dst = out.offset(j * f);
        const std::int32_t status =
            cxPrimeDft(*plan.stages[s], kind, f, src.re, src.im, count * is, dst.re, dst.im, os, work);
        if (status != kStatusOk) return status;
    }
    return kStatusOk;
}

// Prime radix without a kernel: k = 0 needs no twiddles and runs in place;
// for k >= 1 the twiddled values are gathered so the DFT reads them at unit
// stride and writes straight back into their slots.
std::int32_t cxPrimeTwiddlePass(const FftPlan& plan, int s, const SplitComplex& data, ptrdiff_t m, double* work) {
    const std::int32_t p = plan.factors[s];
    const std::int32_t kind = plan.kinds[s];
    const FftStage& stage = *plan.stages[s];
    double* gRe = work;
    double* gIm = gRe + p;
    double* dftScratch = gIm + p;
    const ptrdiff_t step = data.stride * m;
    std::int32_t status = cxPrimeDft(stage, kind, p, data.re, data.im, step, data.re, data.im, step, dftScratch);
    for (ptrdiff_t k = 1; k < m && status == kStatusOk; ++k) {
        const SplitComplex column = data.offset(k);
        gRe[0] = column.re[0];
        gIm[0] = column.im[0];
        const double* twRe = stage.twRe + k;  // w^(jk) at twRe[(j-1) m]
        const double* twIm = stage.twIm + k;
        for (std::int32_t j = 1; j < p; ++j) {
            const double yr = column.re[j * step], yi = column.im[j * step];
            gRe[j] = yr * twRe[(j - 1) * m] - yi * twIm[(j - 1) * m];
            gIm[j] = yr * twIm[(j - 1) * m] + yi * twRe[(j - 1) * m];
        }
        status = cxPrimeDft(stage, kind, p, gRe, gIm, 1, column.re, column.im, step, dftScratch);
    }
    return status;
}

std::int32_t cxTwiddlePass(const FftPlan& plan, int s, const SplitComplex& data, ptrdiff_t m, double* work) {
    if (plan.kinds[s] != KernelStage) return cxPrimeTwiddlePass(plan, s, data, m, work);
    const ptrdiff_t os = data.stride;
    const FftStage& stage = *plan.stages[s];
    if (stage.cxVecTwiddle && os == 1 && m % stage.vecWidth == 0) {
        stage.cxVecTwiddle(data.re, data.im, data.re, data.im, stage.vecTwiddlesRe(), stage.vecTwiddlesIm(), m);
        return kStatusOk;
    }
    plan.cxTwiddleKernels[s](data.re, data.im, stage.twRe, stage.twIm, static_cast<std::int32_t>(os),
                             static_cast<std::int32_t>(m));
    return kStatusOk;
}

// The stage's twiddle pass over `data`, its result written to `to` (which
// may be `data` itself). A pass of up to kCxTwiddleToRadix rows writes
// there directly; wider ones run in place and are copied, since where the
// planes of `to` share their cache sets, the lines of their rows are
// evicted before they are written back (16384 = 16*32*32 and 32768 took
// 14% longer that way than with the copy; 65536 = 2*32^3, 131072 = 4*32^3
// and 3*4*32*32 took 13-15% less time than with it).
std::int32_t cxTwiddlePassTo(const FftPlan& plan, int s, const SplitComplex& data, const SplitComplex& to,
                             ptrdiff_t m, double* work) {
    const FftStage& stage = *plan.stages[s];
    if (to.re == data.re) return cxTwiddlePass(plan, s, data, m, work);
    const bool direct = plan.factors[s] <= kCxTwiddleToRadix && plan.kinds[s] == KernelStage && stage.cxVecTwiddle;
    if (direct && data.stride == 1 && to.stride == 1 && m % stage.vecWidth == 0) {
        stage.cxVecTwiddle(data.re, data.im, to.re, to.im, stage.vecTwiddlesRe(), stage.vecTwiddlesIm(), m);
        return kStatusOk;
    }
    const std::int32_t status = cxTwiddlePass(plan, s, data, m, work);
    const ptrdiff_t n = m * plan.factors[s];
    if (data.stride == 1 && to.stride == 1) {
        std::memcpy(to.re, data.re, sizeof(double) * n);
        std::memcpy(to.im, data.im, sizeof(double) * n);
        return status;
    }
    for (ptrdiff_t k = 0; k < n; ++k) {
        to.real(k) = data.real(k);
        to.imag(k) = data.imag(k);
    }
    return status;
}

// The sub-transforms of a stage whose input is contiguous run their leaf
// passes together when the vector kernels can (one pass over interleaved
// inputs instead of f passes at stride f), then their own twiddle passes.
bool cxSiblingLeaves(const FftPlan& plan, int s, const ConstSplitComplex& in, const SplitComplex& out, ptrdiff_t m) {
    if (!runsSiblingLeaves(plan, s, in.stride, out.stride, &FftStage::cxVecSiblingLeaf)) return false;
    plan.stages[s + 2]->cxVecSiblingLeaf(in.re, in.im, out.re, out.im, plan.factors[s], plan.factors[s + 1], m);
    return true;
}

// The stage's sub-transforms are made in `out`, and its own pass writes
// the result to `to`.
std::int32_t cxStep(const FftPlan& plan, ptrdiff_t length, int s, const ConstSplitComplex& in,
                    const SplitComplex& out, const SplitComplex& to, double* work) {
    const std::int32_t f = plan.factors[s];
    const ptrdiff_t m = length / f;
    std::int32_t status = kStatusOk;
    if (s == plan.factorCount - 2) {
        status = cxLeafPass(plan, s + 1, in, out, f, work);
    } else if (cxSiblingLeaves(plan, s, in, out, m)) {
        if (s == 0 && plan.cxVecHalves && to.re == out.re) {
            plan.cxVecHalves(out.re, out.im, plan.stages[1]->twRe, plan.stages[1]->twIm, plan.stages[0]->twRe,
                             plan.stages[0]->twIm);
            return kStatusOk;
        }
        for (std::int32_t j = 0; j < f && status == kStatusOk; ++j)
            status = cxTwiddlePass(plan, s + 1, out.offset(j * m), m / plan.factors[s + 1], work);
    } else {
        for (std::int32_t j = 0; j < f && status == kStatusOk; ++j)
            status = cxStep(plan, m, s + 1, in.offset(j).every(f), out.offset(j * m), out.offset(j * m), work);
    }
    if (status != kStatusOk) return status;
    return cxTwiddlePassTo(plan, s, out, to, m, work);
}

// The first stage run from contiguous copies of its sub-sequences, a group
// at a time, which take the first 2 * group * m doubles of the scratch.
std::int32_t cxStepFromGatheredInput(const FftPlan& plan, const ConstSplitComplex& in, const SplitComplex& out,
                                     const SplitComplex& to, double* scratch) {
    const std::int32_t f = plan.factors[0];
    const ptrdiff_t m = plan.length / f;
    const std::int32_t group = gatherGroup(f);
    double* blocksRe = scratch;
    double* blocksIm = scratch + group * m;
    double* work = scratch + 2 * group * m;
    std::int32_t status = kStatusOk;
    for (std::int32_t j0 = 0; j0 < f && status == kStatusOk; j0 += group) {
        gatherFirstStage(plan, in.re, in.stride, j0, group, blocksRe);
        gatherFirstStage(plan, in.im, in.stride, j0, group, blocksIm);
        for (std::int32_t j = j0; j < j0 + group && status == kStatusOk; ++j)
            status = cxStep(plan, m, 1, ConstSplitComplex{blocksRe + (j - j0) * m, blocksIm + (j - j0) * m, 1},
                            out.offset(j * m), out.offset(j * m), work);
    }
    if (status != kStatusOk) return status;
    return cxTwiddlePassTo(plan, 0, out, to, m, work);
}

// The 1/n of the inverse transform, one part at a time: a loop over both
// parts at once does not vectorise, since the compiler must assume that
// they overlap; one part at unit stride does.
void scale(double* re, double* im, ptrdiff_t os, std::int32_t n) {
    const double q = 1.0 / n;
    for (double* part : {re, im}) {
        if (os == 1) {
            for (ptrdiff_t k = 0; k < n; ++k) part[k] *= q;
        } else {
            for (ptrdiff_t k = 0; k < n; ++k) part[k * os] *= q;
        }
    }
}

}  // namespace

std::int32_t cxFftStrided(const FftPlan* plan, const double* inRe, const double* inIm, double* outRe,
                          double* outIm, ptrdiff_t is, ptrdiff_t os, double* scratch) noexcept {
    const std::int32_t n = plan->length;
    if (n == 1) {
        outRe[0] = inRe[0];
        outIm[0] = inIm[0];
        return kStatusOk;
    }
    const bool separate = outRe + n <= inRe || inRe + n <= outRe;  // the whole-transform kernels are not in place
    if (plan->cxVecWhole && is == 1 && os == 1 && separate) {
        plan->cxVecWhole(inRe, inIm, outRe, outIm);
        return kStatusOk;
    }
    if (plan->factorCount == 1) return cxLeafPass(*plan, 0, {inRe, inIm, is}, {outRe, outIm, os}, 1, scratch);
    const ConstSplitComplex in{inRe, inIm, is};
    const SplitComplex out{outRe, outIm, os};
    // Long transforms are made in the scratch, whose planes lie apart as
    // planeSpacing sets them, and their last pass writes the output: when
    // it is strided, which their factored twiddles need the vector kernels
    // for, and when its planes share their cache sets, as arrays allocated
    // alone by malloc do: made in such planes, transforms of 8192 to 2^18
    // points took 11-18% longer, the 16-point pass of 16384 twice as long.
    SplitComplex made = out;
    if (plan->factoredStages && (os != 1 || (scratch && planesShareSets(outRe, outIm)))) {
        double* stagedRe = scratch + plan->scratchDoubles - n - planeSpacing(n);
        made = {stagedRe, stagedRe + planeSpacing(n), 1};
    }
    if (scratch && gathersFirstStage(plan->factorCount, n))
        return cxStepFromGatheredInput(*plan, in, made, out, scratch);
    return cxStep(*plan, n, 0, in, made, out, scratch);
}

std::int32_t cxFft(const FftPlan* plan, const double* inRe, const double* inIm, double* outRe, double* outIm,
                   std::int32_t inStride, std::int32_t outStride, std::int32_t n, double* scratch) noexcept {
    if (!plan || n != plan->length) return kStatusBadLayout;
    return cxFftStrided(plan, inRe, inIm, outRe, outIm, inStride, outStride, scratch);
}

std::int32_t cxFft(const FftPlan* plan, const double* inRe, const double* inIm, double* outRe, double* outIm,
                   std::int32_t inStride, std::int32_t outStride, std::int32_t n) noexcept {
    if (!plan || n != plan->length) return kStatusBadLayout;
    return withOwnScratch(*plan, outStride, [&](double* scratch) {
        return cxFftStrided(plan, inRe, inIm, outRe, outIm, inStride, outStride, scratch);
    });
}

std::int32_t cxIfft(const FftPlan* plan, const double* inRe, const double* inIm, double* outRe, double* outIm,
                    std::int32_t inStride, std::int32_t outStride, std::int32_t n, double* scratch) noexcept {
    if (!plan || n != plan->length) return kStatusBadLayout;
    // The forward transform with real and imaginary parts exchanged on both
    // sides is the inverse without its factor.
    const std::int32_t status = cxFftStrided(plan, inIm, inRe, outIm, outRe, inStride, outStride, scratch);
    if (status != kStatusOk) return status;
    scale(outRe, outIm, outStride, n);
    return kStatusOk;
}

std::int32_t cxIfft(const FftPlan* plan, const double* inRe, const double* inIm, double* outRe, double* outIm,
                    std::int32_t inStride, std::int32_t outStride, std::int32_t n) noexcept {
    if (!plan || n != plan->length) return kStatusBadLayout;
    return withOwnScratch(*plan, outStride, [&](double* scratch) {
        return cxIfft(plan, inRe, inIm, outRe, outIm, inStride, outStride, n, scratch);
    });
}

}  // namespace varnel::fft
