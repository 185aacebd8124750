#include "fft/plan_build.h"

#include <algorithm>
#include <new>
#include <optional>

#include "fft/factorize.h"
#include "fft/first_stage_gather.h"
#include "fft/prime_dft.h"
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

// The roots of the plan's length n, w[k] = exp(-2 pi i k / n) for k < n.
// Every stage's twiddles are among them (a stage's length divides n), so a
// plan computes them once rather than once per stage, and, when 4 divides
// n, only over the first eighth of the circle: the other eighths follow by
// exchanging and negating, which is exact (for powers of two up to 2^16
// that eighth is read from the one all plans share, see octantRoots). Up
// to kSpreadUpTo roots the eighth is spread over the whole circle once, so
// that the twiddles are plain reads; longer tables stay an eighth, which
// keeps plan building within the cache and the memory it takes and gives
// back small. (With 4096 roots spread, 64 KB, a 3-frame ReSTFT of 4096
// bins took 45 us instead of 26: glibc returned the freed top of its heap
// to the system after every call and faulted it in again on the next.)
class RootTable {
public:
    static constexpr std::int64_t kSpreadUpTo = 1024;

    explicit RootTable(std::int64_t length)
        : n_(length), quarter_(length % 4 == 0 ? length / 4 : 0),
          stored_(quarter_ && length > kSpreadUpTo ? quarter_ / 2 + 1 : length),
          re_(static_cast<std::size_t>(stored_)), im_(static_cast<std::size_t>(stored_)) {
        if (!ok()) return;
        if (!quarter_) {
            unitRoots(1, n_, 0, stored_, re_.data(), im_.data(), 1);
            return;
        }
        if (!octantRoots(n_, quarter_ / 2 + 1, re_.data(), im_.data()))
            unitRoots(1, n_, 0, quarter_ / 2 + 1, re_.data(), im_.data(), 1);
        if (stored_ == n_) spreadEighth();
    }
    bool ok() const { return re_.ok() && im_.ok(); }
    std::int64_t length() const { return n_; }

    // w[k * step] for k < count, where k * step < n.
    void gather(std::int64_t step, std::int64_t count, double* re, double* im) const {
        if (stored_ == n_) {
            const double* rootRe = re_.data();
            const double* rootIm = im_.data();
            for (std::int64_t k = 0; k < count; ++k) re[k] = rootRe[k * step], im[k] = rootIm[k * step];
            return;
        }
        // Runs of k over which k * step stays in one half of one quadrant,
        // so that the loops over them take no data-dependent branches.
        const double* eighthRe = re_.data();
        const double* eighthIm = im_.data();
        const std::int64_t q = quarter_;
        std::int64_t k = 0;
        for (std::int64_t quadrant = 0; k < count; ++quadrant) {
            const std::int64_t base = quadrant * q;
            const std::int64_t middle = std::min(count, (base + q / 2) / step + 1);
            const std::int64_t end = std::min(count, (base + q - 1) / step + 1);
            for (; k < middle; ++k) {
                const std::int64_t at = k * step - base;
                turnQuarters(eighthRe[at], eighthIm[at], quadrant, re[k], im[k]);
            }
            for (; k < end; ++k) {  // past the middle, -i conj w[q - at]
                const std::int64_t at = q - (k * step - base);
                turnQuarters(-eighthIm[at], -eighthRe[at], quadrant, re[k], im[k]);
            }
        }
    }

    // w[k], 0 <= k < n.
    void get(std::int64_t k, double& re, double& im) const {
        if (stored_ == n_) {
            re = re_.data()[k], im = im_.data()[k];
            return;
        }
        std::int64_t quadrant = 0;
        for (; k >= quarter_; k -= quarter_) ++quadrant;
        double a, b;  // w[k] of the first quadrant; past its middle, -i conj w[quarter - k]
        if (2 * k <= quarter_) {
            a = re_.data()[k], b = im_.data()[k];
        } else {
            a = -im_.data()[quarter_ - k], b = -re_.data()[quarter_ - k];
        }
        turnQuarters(a, b, quadrant, re, im);
    }

private:
    // From w[0 .. q/2] (q = n/4) to the whole circle: w[q - k] = -i conj w[k],
    // then each quadrant is the one before it turned by -i.
    void spreadEighth() {
        double* re = re_.data();
        double* im = im_.data();
        const std::int64_t q = quarter_;
        for (std::int64_t k = 0; 2 * k < q; ++k) {
            re[q - k] = -im[k];
            im[q - k] = -re[k];
        }
        for (std::int64_t k = q; k < n_; ++k) {
            re[k] = im[k - q];
            im[k] = -re[k - q];
        }
    }

    std::int64_t n_, quarter_, stored_;
    ScratchBuffer<double> re_, im_;
};

// Whether stage s, of `length` samples and radix `radix`, keeps only the
// factored form of its twiddles (vector_kernels.h): long stages whose
// vector kernels have that form. Their scalar kernels, which would need the
// whole table, never run: a transform writing at a stride other than 1
// stages its output (cx_fft.cpp), so the plan need not build a table larger
// than the data. mayFactor is the same without the kernel set, for the
// scratch size, which must not depend on which set is in use.
bool mayFactor(std::int32_t kind, std::int64_t length, std::int64_t radix) {
    return kind == KernelStage && factorsTwiddles(radix, length / radix);
}
bool factorsStage(const VectorKernelSet* set, std::int32_t kind, std::int64_t length, std::int64_t radix) {
    return set && mayFactor(kind, length, radix) && set->cxTwiddleFactored[radix] && set->reTwiddleFactored[radix];
}

// Twiddles of a stage of length L with radix f: entry (j-1)*m + k is
// exp(-2 pi i j k / L) = w[j k R/L] (R the root table's length, a multiple
// of L) for j = 1..f-1, k = 0..m-1, one table that the scalar kernels read
// and the vector kernels load neighbouring columns of with one instruction.
bool fillTwiddles(FftStage& stage, std::int64_t length, std::int64_t radix, const RootTable& roots) {
    const std::int64_t m = length / radix;
    stage.twRe = allocateArray<double>((radix - 1) * m);
    stage.twIm = allocateArray<double>((radix - 1) * m);
    if (!stage.twRe || !stage.twIm) return false;
    const std::int64_t spacing = roots.length() / length;
    for (std::int64_t j = 1; j < radix; ++j)  // j k spacing < radix m spacing = R
        roots.gather(j * spacing, m, stage.twRe + (j - 1) * m, stage.twIm + (j - 1) * m);
    return true;
}

// The factored form: w^(j c), c = 0 .. s, then w^(j s b) for each block b,
// the latter from the roots of L/s (j b < f m/s = L/s).
bool fillFactoredTwiddles(FftStage& stage, std::int64_t length, std::int64_t radix, const VectorKernelSet& set) {
    constexpr std::int64_t s = kTwiddleSpan;
    const std::int64_t m = length / radix, doubles = factoredTwiddleDoubles(radix, m);
    double* re = stage.twFactoredRe = allocateArray<double>(doubles);
    double* im = stage.twFactoredIm = allocateArray<double>(doubles);
    const RootTable blockRoots(length / s);
    if (!re || !im || !blockRoots.ok()) return false;
    for (std::int64_t j = 1; j < radix; ++j)
        unitRoots(j, length, 0, s + 1, re + (j - 1) * (s + 1), im + (j - 1) * (s + 1), 1);
    double* blockRe = re + (radix - 1) * (s + 1);
    double* blockIm = im + (radix - 1) * (s + 1);
    for (std::int64_t b = 0; b < m / s; ++b) {
        for (std::int64_t j = 1; j < radix; ++j)
            blockRoots.get(j * b, blockRe[b * (radix - 1) + j - 1], blockIm[b * (radix - 1) + j - 1]);
    }
    stage.cxVecTwiddle = set.cxTwiddleFactored[radix];
    stage.reVecTwiddle = set.reTwiddleFactored[radix];
    return true;
}

void attachVectorKernels(FftStage& stage, std::int32_t radix, const VectorKernelSet* set) {
    if (!set) return;
    stage.vecWidth = set->width;
    stage.cxVecTwiddle = set->cxTwiddle[radix];
    stage.cxVecLeaf = set->cxLeaf[radix];
    stage.reVecTwiddle = set->reTwiddle[radix];
    stage.reVecLeaf = set->reLeaf[radix];
    stage.cxVecSiblingLeaf = set->cxSiblingLeaf[radix];
    stage.reVecSiblingLeaf = set->reSiblingLeaf[radix];
}

bool fillDirectTables(FftStage& stage, std::int32_t p) {
    stage.dftCos = allocateArray<double>(p);
    stage.dftSin = allocateArray<double>(p);
    if (!stage.dftCos || !stage.dftSin) return false;
    unitRoots(1, p, 0, p, stage.dftCos, stage.dftSin, 1);
    return true;
}

bool fillStage(FftPlan& plan, int s, std::int64_t stageLength, const VectorKernelSet* set,
               const RootTable* roots) {
    FftStage* stage = plan.stages[s] = allocateRecord<FftStage>();
    if (!stage) return false;
    const std::int32_t f = plan.factors[s];
    switch (plan.kinds[s]) {
        case KernelStage:
            plan.cxLeafKernels[s] = cxLeafKernels[f];
            plan.cxTwiddleKernels[s] = cxTwiddleKernels[f];
            plan.reLeafKernels[s] = reLeafKernels[f];
            plan.reTwiddleKernels[s] = reTwiddleKernels[f];
            attachVectorKernels(*stage, f, set);
            break;
        case DirectStage:
            if (!fillDirectTables(*stage, f)) return false;
            break;
        case RaderStage:
            if (!setUpRaderStage(*stage, f)) return false;
            break;
    }
    if (s == plan.factorCount - 1) return true;
    if (factorsStage(set, plan.kinds[s], stageLength, f)) {
        plan.factoredStages = true;
        return fillFactoredTwiddles(*stage, stageLength, f, *set);
    }
    return fillTwiddles(*stage, stageLength, f, *roots);
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
    scratchFree(stage->twFactoredRe);
    scratchFree(stage->twFactoredIm);
    stage->~FftStage();
    scratchFree(stage);
}

}  // namespace

// The first stage's copy (2 * group * m doubles, one array each for the
// real and imaginary parts of a group of its blocks of m), then room for
// the prime stage that needs the most: its gathered column (2p) and its
// DFT's own arrays; last, for lengths whose plans may factor a stage's
// twiddles, the 2n doubles that output written at a stride other than 1
// is staged in.
std::size_t fftScratchSize(std::int32_t n) noexcept {
    const Factorization factorization = factorize(n);
    std::size_t stages = 0;
    bool staged = false;
    std::int64_t length = n;
    for (int s = 0; s < factorization.count; ++s) {
        const std::int32_t p = factorization.factors[s], kind = factorization.kinds[s];
        if (kind != KernelStage) stages = std::max(stages, 2 * static_cast<std::size_t>(p) + primeScratchSize(kind, p));
        staged = staged || (s + 1 < factorization.count && mayFactor(kind, length, p));
        length /= p;
    }
    const std::int32_t f = factorization.factors[0];
    std::size_t copy =
        gathersFirstStage(factorization.count, n) ? 2 * static_cast<std::size_t>(gatherGroup(f) * (n / f)) : 0;
    if (leadingGatherStride(factorization.count, factorization.factors, n) > 1) copy = static_cast<std::size_t>(n);
    return copy + stages + (staged ? static_cast<std::size_t>(n + planeSpacing(n)) : 0);
}

FftPlan* buildPlan(std::int32_t n) noexcept {
    FftPlan* plan = allocateRecord<FftPlan>();
    if (!plan) return nullptr;
    plan->length = n;
    plan->scratchDoubles = fftScratchSize(n);
    const VectorKernelSet* set = vectorKernels();
    if (set) {
        for (const VectorKernelSet::Whole& whole : set->cxWhole)
            if (whole.length == n) plan->cxVecWhole = whole.kernel;
        plan->vecHartleyFold = set->hartleyFold;
    }
    const Factorization factorization = factorize(n);
    const std::int32_t* f = factorization.factors;
    if (set && gathersFirstStage(factorization.count, n) && gathersInVectors(f[0], n / f[0]))
        plan->vecGather = set->gather;
    if (set && factorization.count == 3 && f[0] == 2 && f[1] == 32 && f[2] == 32) plan->cxVecHalves = set->cxHalves32;
    plan->factorCount = factorization.count;
    for (int s = 0; s < factorization.count; ++s) {
        plan->factors[s] = factorization.factors[s];
        plan->kinds[s] = factorization.kinds[s];
    }
    // The stages with whole twiddle tables read them from the roots of the
    // longest of them, which every later stage's length divides; a plan of
    // one stage has none.
    std::int64_t rootLength = 0, stageLength = n;
    for (int s = 0; s + 1 < plan->factorCount && rootLength == 0; stageLength /= plan->factors[s], ++s)
        if (!factorsStage(set, plan->kinds[s], stageLength, plan->factors[s])) rootLength = stageLength;
    std::optional<RootTable> roots;
    if (rootLength > 0 && !roots.emplace(rootLength).ok()) {
        destroyPlan(plan);
        return nullptr;
    }
    stageLength = n;
    for (int s = 0; s < plan->factorCount; ++s) {
        if (!fillStage(*plan, s, stageLength, set, roots ? &*roots : nullptr)) {
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
