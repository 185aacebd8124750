#include "fft/plan_build.h"

#include <new>

#include "fft/factorize.h"
#include "fft/rader_setup.h"
#include "fft/unit_roots.h"
#include "frame/scratch.h"

namespace varnel::fft {
namespace {

template <class T>
T* allocateArray(std::int64_t count) {
    return static_cast<T*>(scratchAllocate(static_cast<std::size_t>(count), sizeof(T)));
}

template <class T>
T* allocateRecord() {
    void* block = scratchAllocate(1, sizeof(T));
    return block ? new (block) T() : nullptr;
}

// Twiddles of a stage of length L with radix f: entry (k-1)(f-1) + (j-1)
// is exp(-2 pi i j k / L) for k = 1..m-1, j = 1..f-1.
bool fillTwiddles(FftStage& stage, std::int64_t length, std::int64_t radix) {
    const std::int64_t m = length / radix;
    const std::int64_t entries = (m - 1) * (radix - 1);
    stage.twRe = allocateArray<double>(entries);
    stage.twIm = allocateArray<double>(entries);
    if (!stage.twRe || !stage.twIm) return false;
    for (std::int64_t j = 1; j < radix; ++j)
        unitRoots(j, length, 1, m - 1, stage.twRe + (j - 1), stage.twIm + (j - 1), radix - 1);
    return true;
}

// Column-major copy of the twiddles, entry (j-1)*m + k for k = 0..m-1, so
// that the vector kernels load neighbouring columns with one instruction.
bool fillVectorTwiddles(FftStage& stage, std::int64_t m, std::int64_t radix) {
    stage.twVecRe = allocateArray<double>(m * (radix - 1));
    stage.twVecIm = allocateArray<double>(m * (radix - 1));
    if (!stage.twVecRe || !stage.twVecIm) return false;
    for (std::int64_t j = 1; j < radix; ++j) {
        double* re = stage.twVecRe + (j - 1) * m;
        double* im = stage.twVecIm + (j - 1) * m;
        re[0] = 1.0;
        im[0] = 0.0;
        for (std::int64_t k = 1; k < m; ++k) {
            re[k] = stage.twRe[(k - 1) * (radix - 1) + (j - 1)];
            im[k] = stage.twIm[(k - 1) * (radix - 1) + (j - 1)];
        }
    }
    return true;
}

void attachVectorKernels(FftStage& stage, std::int32_t radix) {
    const VectorKernelSet* set = vectorKernels();
    if (!set) return;
    stage.vecWidth = set->width;
    stage.cxVecTwiddle = set->cxTwiddle[radix];
    stage.cxVecLeaf = set->cxLeaf[radix];
    stage.reVecTwiddle = set->reTwiddle[radix];
    stage.reVecLeaf = set->reLeaf[radix];
    stage.cxVecSingle = set->cxSingle[radix];
}

bool fillDirectTables(FftStage& stage, std::int32_t p) {
    stage.dftCos = allocateArray<double>(p);
    stage.dftSin = allocateArray<double>(p);
    if (!stage.dftCos || !stage.dftSin) return false;
    unitRoots(1, p, 0, p, stage.dftCos, stage.dftSin, 1);
    return true;
}

bool fillStage(FftPlan& plan, int s, std::int64_t stageLength) {
    FftStage* stage = plan.stages[s] = allocateRecord<FftStage>();
    if (!stage) return false;
    const std::int32_t f = plan.factors[s];
    switch (plan.kinds[s]) {
        case KernelStage:
            plan.cxLeafKernels[s] = cxLeafKernels[f];
            plan.cxTwiddleKernels[s] = cxTwiddleKernels[f];
            plan.reLeafKernels[s] = reLeafKernels[f];
            plan.reTwiddleKernels[s] = reTwiddleKernels[f];
            attachVectorKernels(*stage, f);
            break;
        case DirectStage:
            if (!fillDirectTables(*stage, f)) return false;
            break;
        case RaderStage:
            if (!setUpRaderStage(*stage, f)) return false;
            break;
    }
    if (s == plan.factorCount - 1) return true;
    if (!fillTwiddles(*stage, stageLength, f)) return false;
    const bool vectorTwiddles = stage->cxVecTwiddle || stage->reVecTwiddle;
    return !vectorTwiddles || fillVectorTwiddles(*stage, stageLength / f, f);
}

void freeStage(FftStage* stage) {
    if (!stage) return;
    scratchFree(stage->dftCos);
    scratchFree(stage->dftSin);
    scratchFree(stage->twRe);
    scratchFree(stage->twIm);
    fftPlanRelease(stage->raderPlan);
    scratchFree(stage->raderRe);
    scratchFree(stage->raderIm);
    scratchFree(stage->raderGather);
    scratchFree(stage->raderScatter);
    scratchFree(stage->twVecRe);
    scratchFree(stage->twVecIm);
    stage->~FftStage();
    scratchFree(stage);
}

}  // namespace

FftPlan* buildPlan(std::int32_t n) noexcept {
    FftPlan* plan = allocateRecord<FftPlan>();
    if (!plan) return nullptr;
    plan->length = n;
    const Factorization factorization = factorize(n);
    plan->factorCount = factorization.count;
    for (int s = 0; s < factorization.count; ++s) {
        plan->factors[s] = factorization.factors[s];
        plan->kinds[s] = factorization.kinds[s];
    }
    std::int64_t stageLength = n;
    for (int s = 0; s < plan->factorCount; ++s) {
        if (!fillStage(*plan, s, stageLength)) {
            destroyPlan(plan);
            return nullptr;
        }
        stageLength /= plan->factors[s];
    }
    return plan;
}

void destroyPlan(FftPlan* plan) noexcept {
    if (!plan) return;
    for (int s = 0; s < plan->factorCount; ++s) freeStage(plan->stages[s]);
    plan->~FftPlan();
    scratchFree(plan);
}

}  // namespace varnel::fft
