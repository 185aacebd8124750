// Large transforms: the decimation in time reads the input at a stride that
// grows with every stage, and beyond the cache each sample then costs a
// cache line of its own. Copying the f decimated sub-sequences of the first
// stage into contiguous blocks once keeps every later stage inside a block
// of n/f samples, which fits the cache again. That holds even where the
// leaves of all first-stage sub-transforms could run together on contiguous
// vectors: at 32768 = 32*32*32 such a leaf pass reads rows 8 KB apart, all
// in one cache set, and took half the complex transform, against 41% for
// the copy and the leaf passes of the copied blocks together (measured
// before such leaf passes read whole cache lines, readsWholeLines in
// simd/vector_passes.h; since they do, the copy is a cost of its own there).
#pragma once

#include <cstddef>
#include <cstdint>

#include "fft/plan_record.h"

namespace varnel::fft {

// At 32768 the transforms took less time without the copy in alternating
// runs: on an AMD EPYC the real one 9-17% less, the complex one 3-4%; on an
// AVX-512 Xeon, whose L2 holds the input, output and blocks of 32768
// points but not of 65536, the complex one 15-18%. At 65536 the copy saves
// 12% of the complex transform there.
inline constexpr std::int32_t kGatherFirstStageFrom = 1 << 16;

inline bool gathersFirstStage(std::int32_t factorCount, std::int32_t length) {
    return factorCount >= 3 && length >= kGatherFirstStageFrom;
}

// The blocks are copied a few at a time, each group just before its
// sub-transforms run, so that they are still in the cache when read. At
// 2^20 = 32^4, whose 32 blocks (8 MB of a real signal) leave the cache
// long before the last is read, copying them all first made the real and
// complex transforms a third slower on an AMD EPYC, at 2^19 10-15%
// (at 2^18, 8 blocks, the two differ by 2%); and the copy needs room for
// 4 blocks instead of f. Four blocks is what the vector copy moves at once;
// a first radix that is no multiple of it copies all its blocks together.
inline constexpr std::int32_t kGatherGroup = 4;

inline std::int32_t gatherGroup(std::int32_t f) { return f % kGatherGroup == 0 ? kGatherGroup : f; }

// Shorter real transforms of four or more factors whose third-last stage's
// factors fill vectors: their leaves could run as siblings on contiguous
// vectors (runsSiblingLeaves), but the decimation of the stages before it
// leaves them an input stride of the product of those stages' factors, at
// which every vector lane is a load of its own. Copying the input into that
// many contiguous blocks first (n doubles of the scratch) gives them unit
// stride: 10^4, 12000 = 3*4*10^3, 15000 to 48000 took 5-17% less time,
// 6000 = 2*3*10^3 7-9%. Up to a stride of kLanesSharingLines the lanes
// still share cache lines, and the copy cost more than it saved (2000 =
// 2*10^3 and 3000 took 4-6% longer with it). The complex transforms of
// these lengths took half to three quarters of FFTW's time without it.
inline constexpr std::int32_t kLanesSharingLines = 4;

inline std::int32_t leadingGatherStride(std::int32_t factorCount, const std::int32_t* factors, std::int32_t length) {
    if (factorCount < 4 || length >= kGatherFirstStageFrom) return 1;
    const int s = factorCount - 3;
    if (factors[s] * factors[s + 1] % kSiblingLeafMultiple != 0) return 1;
    std::int32_t stride = 1;
    for (int i = 0; i < s; ++i) stride *= factors[i];
    return stride > kLanesSharingLines ? stride : 1;
}

// blocks[j*m + t] = in[(j + f*t) * is] for j < count, t < m. Tiles of eight t
// fill one cache line of every block per tile, instead of keeping f
// write streams that sit a multiple of m apart (and in the same cache sets)
// busy for every input row.
inline void gatherDecimated(const double* in, std::ptrdiff_t is, std::int32_t f, std::ptrdiff_t m,
                            std::int32_t count, double* blocks) {
    constexpr std::ptrdiff_t kTile = 8;
    std::ptrdiff_t t0 = 0;
    for (; t0 + kTile <= m; t0 += kTile) {
        for (std::int32_t j = 0; j < count; ++j) {
            const double* column = in + (j + f * t0) * is;
            double* block = blocks + j * m + t0;
            for (std::ptrdiff_t t = 0; t < kTile; ++t) block[t] = column[t * f * is];
        }
    }
    for (std::int32_t j = 0; j < count; ++j)
        for (std::ptrdiff_t t = t0; t < m; ++t) blocks[j * m + t] = in[(j + f * t) * is];
}

// The copy of blocks j0 .. j0+count-1 of a plan's first stage, to blocks,
// by the vector kernel where it has one.
inline void gatherFirstStage(const FftPlan& plan, const double* in, std::ptrdiff_t is, std::int32_t j0,
                             std::int32_t count, double* blocks) {
    const std::int32_t f = plan.factors[0];
    const std::ptrdiff_t m = plan.length / f;
    if (plan.vecGather && is == 1) {
        plan.vecGather(in + j0, f, m, count, blocks);
    } else {
        gatherDecimated(in + j0 * is, is, f, m, count, blocks);
    }
}

}  // namespace varnel::fft
