// Vectorised forms of the hot kernel passes, chosen at run time.
//
// The generated DFT bodies are templates over the arithmetic type, so the
// same straight-line code runs on one double or on a vector of doubles. A
// vector pass performs several transforms side by side: the twiddle passes
// across neighbouring columns k, the leaf passes across neighbouring
// transforms j. They need unit stride on the side they vectorise over and
// a column or transform count that is a multiple of the vector width, and
// they read the stage's column-major twiddle table (entry (j-1)*m + k, with
// k = 0 included as 1), where neighbouring columns' twiddles are neighbours
// in memory, or for long stages its factored form below.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fft/kernels.h"

namespace varnel::fft {

// Long stages keep their twiddles factored: a table of N-1 rows of m
// columns would not stay in L1, and its reads would cost more than the
// pass's arithmetic. Row j's twiddle of column k = s b + c (s = kTwiddleSpan,
// 0 <= c <= s) is w^(j c) w^(j s b), w the stage's root; each plane holds
// the rows of w^(j c), c = 0 .. s, then the N-1 values w^(j s b) of each
// block b < m/s. A pass chooses b so that a vector of columns shares it.
inline constexpr std::ptrdiff_t kTwiddleSpan = 16;
// The stages of radix N and m columns that use them: tables of more than
// 2^12 entries (64 KB for both planes) with m a multiple of 2 s. Measured
// on the complex and real transforms of 2^12 to 2^18: from there on the
// extra product per twiddle costs less than the table's reads (the 16-point
// pass over 16384 values took half the real transform's time with its
// table), while below it, 4096 for one, the table is cheaper.
constexpr bool factorsTwiddles(std::int64_t radix, std::int64_t m) {
    return (radix - 1) * m > (std::int64_t{1} << 12) && m % (2 * kTwiddleSpan) == 0;
}
constexpr std::int64_t factoredTwiddleDoubles(std::int64_t radix, std::int64_t m) {
    return (radix - 1) * (kTwiddleSpan + 1 + m / kTwiddleSpan);
}

// On the n*m values of a stage at unit stride, m % width == 0: in place
// (toRe = re, toIm = im), or for n <= kCxTwiddleToRadix read from re and im
// and written to the same places of toRe and toIm, which must not overlap
// them.
inline constexpr int kCxTwiddleToRadix = 4;
using CxVecTwiddle = void (*)(const double* re, const double* im, double* toRe, double* toIm, const double* twRe,
                              const double* twIm, std::ptrdiff_t m);
// count transforms, output at unit stride.
using CxVecLeaf = void (*)(const double* inRe, const double* inIm, double* outRe, double* outIm,
                           std::ptrdiff_t is, std::ptrdiff_t count);
// In place on n Hc spectra of length m at unit stride; any m.
using ReVecTwiddle = void (*)(double* data, const double* twRe, const double* twIm, std::ptrdiff_t m);
// count real transforms, output at unit stride.
using ReVecLeaf = void (*)(const double* in, double* out, std::ptrdiff_t is, std::ptrdiff_t count);

// The leaf passes of `siblings` sub-transforms with interleaved inputs at
// once (see cxSiblingLeafVec in vector_passes.h); unit strides,
// siblings*count a multiple of kSiblingLeafMultiple: vectors of four
// leaves, and of two for the last pair.
inline constexpr std::int64_t kSiblingLeafMultiple = 2;
using CxVecSiblingLeaf = void (*)(const double* inRe, const double* inIm, double* outRe, double* outIm,
                                  std::ptrdiff_t siblings, std::ptrdiff_t count, std::ptrdiff_t block);
using ReVecSiblingLeaf = void (*)(const double* in, double* out, std::ptrdiff_t siblings, std::ptrdiff_t count,
                                  std::ptrdiff_t block);

// The radix-N pass over both halves of a transform of 2*N*32 values and
// the radix-2 pass joining them (see cxTwiddleHalvesVec); twRe/Im is the
// radix-N stage's table, halfTwRe/Im the radix-2 stage's.
using CxVecHalves = void (*)(double* re, double* im, const double* twRe, const double* twIm,
                             const double* halfTwRe, const double* halfTwIm);

// One transform, input and output at unit stride, not in place.
using CxVecSingle = void (*)(const double* inRe, const double* inIm, double* outRe, double* outIm);
// The real inverse transform's pairing of an Hc array of n doubles at unit
// stride with the real sequence it transforms (re_fft.cpp).
using VecHartleyFold = void (*)(double* data, std::int32_t n, double q);

// The first stage's copy (fft/first_stage_gather.h) of count blocks at unit
// input stride, for the f and m that gathersInVectors accepts and count a
// multiple of 4 (or f = count = 2).
using VecGather = void (*)(const double* in, std::int32_t f, std::ptrdiff_t m, std::int32_t count, double* blocks);
constexpr bool gathersInVectors(std::int64_t f, std::int64_t m) { return (f == 2 || f % 4 == 0) && m % 8 == 0; }

struct VectorKernelSet {
    int width;  // doubles per vector
    CxVecTwiddle cxTwiddle[kKernelTableSize];
    // The same with factored twiddles, for the stages where factorsTwiddles
    // holds; set for every radix that has vector kernels.
    CxVecTwiddle cxTwiddleFactored[kKernelTableSize];
    ReVecTwiddle reTwiddleFactored[kKernelTableSize];
    CxVecLeaf cxLeaf[kKernelTableSize];
    ReVecTwiddle reTwiddle[kKernelTableSize];
    ReVecLeaf reLeaf[kKernelTableSize];
    CxVecSiblingLeaf cxSiblingLeaf[kKernelTableSize];
    ReVecSiblingLeaf reSiblingLeaf[kKernelTableSize];
    // Whole transforms of the short lengths that run best as one kernel,
    // whatever their stages: 16, 32, 64 and 128.
    struct Whole {
        std::int32_t length;
        CxVecSingle kernel;
    } cxWhole[4];
    VecHartleyFold hartleyFold;
    VecGather gather;
    // The last two passes of 2048 = 2 * 32 * 32 points.
    CxVecHalves cxHalves32;
};

// The best set this processor can run, or null when only the scalar
// kernels apply (see frame/vector_paths.h).
const VectorKernelSet* vectorKernels() noexcept;

}  // namespace varnel::fft
