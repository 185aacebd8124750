// The inside of a plan: its stages, their kernels and tables. Only the
// FFT's own files (and its tests) read it; everyone else holds a handle.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fft/kernels.h"
#include "fft/plan.h"
#include "fft/simd/vector_kernels.h"

namespace varnel::fft {

inline constexpr int kMaxFactors = 20;  // enough for every 32-bit length

enum StageKind : std::int32_t {
    KernelStage = 0,  // fixed-size generated kernel
    DirectStage = 1,  // 23 and 47: O(p^2) DFT from cosine/sine tables
    RaderStage = 2,   // primes >= 53: cyclic convolution of length p-1
};

struct FftStage {
    double* dftCos = nullptr;        // DirectStage: cos(2 pi r/p)
    double* dftSin = nullptr;        // DirectStage: -sin(2 pi r/p)
    // All stages but the last and those with factored twiddles only: the
    // twiddles exp(-2 pi i j k / (f m)), column-major, entry (j-1) m + k
    // for j = 1..f-1, k = 0..m-1, so that the vector kernels load
    // neighbouring k with one instruction and the scalar kernels read the
    // same table.
    double* twRe = nullptr;
    double* twIm = nullptr;
    FftPlan* raderPlan = nullptr;    // RaderStage: plan of length p-1
    double* raderRe = nullptr;       // RaderStage: DFT of the Rader kernel / (p-1)
    double* raderIm = nullptr;
    std::int32_t* raderGather = nullptr;   // [0, 1, g^-1, ..., g^-(p-2)] mod p
    std::int32_t* raderScatter = nullptr;  // [0, 1, g, ..., g^(p-2)] mod p

    // Vector kernels for this radix, when the processor has them, and the
    // twiddles they read: the table above, or for long stages its factored
    // form (see simd/vector_kernels.h).
    CxVecTwiddle cxVecTwiddle = nullptr;
    CxVecLeaf cxVecLeaf = nullptr;
    CxVecSiblingLeaf cxVecSiblingLeaf = nullptr;
    ReVecSiblingLeaf reVecSiblingLeaf = nullptr;
    ReVecTwiddle reVecTwiddle = nullptr;
    ReVecLeaf reVecLeaf = nullptr;
    std::int32_t vecWidth = 0;
    double* twFactoredRe = nullptr;  // owned; null unless the stage's twiddles are factored (twRe is then null)
    double* twFactoredIm = nullptr;
    const double* vecTwiddlesRe() const noexcept { return twFactoredRe ? twFactoredRe : twRe; }
    const double* vecTwiddlesIm() const noexcept { return twFactoredIm ? twFactoredIm : twIm; }
};

struct FftPlan {
    std::int32_t length = 0;
    std::int32_t refCount = 0;
    std::int32_t factors[kMaxFactors] = {};
    std::int32_t kinds[kMaxFactors] = {};
    std::int32_t factorCount = 0;
    std::size_t scratchDoubles = 0;  // fftScratchSize(length)
    // Some stage has only factored twiddles, which the scalar kernels cannot
    // read: output at a stride other than 1 is made at unit stride in the
    // last 2n doubles of the scratch and copied out.
    bool factoredStages = false;
    FftStage* stages[kMaxFactors] = {};
    CxVecSingle cxVecWhole = nullptr;  // the whole complex transform in one vector kernel, when there is one
    VecHartleyFold vecHartleyFold = nullptr;  // the real inverse's pairing at unit stride, when vectorised
    VecGather vecGather = nullptr;  // the first stage's copy at unit stride, when vectorised for its f and m
    CxVecHalves cxVecHalves = nullptr;  // the last two passes in one, when vectorised for the factors (2, 32, 32)
    ReLeafKernel reLeafKernels[kMaxFactors] = {};
    ReTwiddleKernel reTwiddleKernels[kMaxFactors] = {};
    CxLeafKernel cxLeafKernels[kMaxFactors] = {};
    CxTwiddleKernel cxTwiddleKernels[kMaxFactors] = {};
    FftPlan* prev = nullptr;
    FftPlan* next = nullptr;
};

}  // namespace varnel::fft
