// FFT plans: everything the transform of one length needs that does not
// depend on the data, shared through a reference-counted cache.
#pragma once

#include <cstdint>

#include "fft/kernels.h"
#include "fft/simd/vector_kernels.h"

namespace varnel::fft {

inline constexpr int kMaxFactors = 20;  // enough for every 32-bit length

enum StageKind : std::int32_t {
    KernelStage = 0,  // fixed-size generated kernel
    DirectStage = 1,  // 23 and 47: O(p^2) DFT from cosine/sine tables
    RaderStage = 2,   // primes >= 53: cyclic convolution of length p-1
};

struct FftPlan;

struct FftStage {
    double* dftCos = nullptr;        // DirectStage: cos(2 pi r/p)
    double* dftSin = nullptr;        // DirectStage: -sin(2 pi r/p)
    double* twRe = nullptr;          // all stages but the last: (m-1)(f-1) twiddles
    double* twIm = nullptr;
    FftPlan* raderPlan = nullptr;    // RaderStage: plan of length p-1
    double* raderRe = nullptr;       // RaderStage: DFT of the Rader kernel / (p-1)
    double* raderIm = nullptr;
    std::int32_t* raderGather = nullptr;   // [0, 1, g^-1, ..., g^-(p-2)] mod p
    std::int32_t* raderScatter = nullptr;  // [0, 1, g, ..., g^(p-2)] mod p

    // Vector kernels for this radix, when the processor has them, and the
    // column-major twiddle copy they read (see simd/vector_kernels.h).
    CxVecTwiddle cxVecTwiddle = nullptr;
    CxVecLeaf cxVecLeaf = nullptr;
    ReVecTwiddle reVecTwiddle = nullptr;
    ReVecLeaf reVecLeaf = nullptr;
    CxVecSingle cxVecSingle = nullptr;
    std::int32_t vecWidth = 0;
    double* twVecRe = nullptr;
    double* twVecIm = nullptr;
};

struct FftPlan {
    std::int32_t length = 0;
    std::int32_t refCount = 0;
    std::int32_t factors[kMaxFactors] = {};
    std::int32_t kinds[kMaxFactors] = {};
    std::int32_t factorCount = 0;
    FftStage* stages[kMaxFactors] = {};
    ReLeafKernel reLeafKernels[kMaxFactors] = {};
    ReTwiddleKernel reTwiddleKernels[kMaxFactors] = {};
    CxLeafKernel cxLeafKernels[kMaxFactors] = {};
    CxTwiddleKernel cxTwiddleKernels[kMaxFactors] = {};
    FftPlan* prev = nullptr;
    FftPlan* next = nullptr;
};

// The plan of length n with one reference taken, built if the cache has
// none; null for n < 1 or when any part of the plan cannot be allocated (a
// plan is never handed out half-built, and the cache is then unchanged).
FftPlan* fftPlanCreate(std::int32_t n) noexcept;

// Gives back one reference; the last one unlinks and frees the plan and
// releases its Rader sub-plans. Null is ignored.
void fftPlanRelease(FftPlan* plan) noexcept;

// Transforms. All return kStatusOk, kStatusBadLayout (-1) when n is not the
// plan's length (nothing written), or kStatusNoMemory when the scratch of a
// prime stage (23, 47, or a Rader prime) could not be allocated; the output
// then holds partial results. Lengths without prime stages (powers of two
// among them) never fail once the plan exists: long transforms copy their
// input for speed when memory allows and read it in place otherwise.
//
// Split complex arrays at element strides (counted in doubles); input and
// output must not overlap and the input is not changed.
std::int32_t cxFft(const FftPlan* plan, const double* inRe, const double* inIm, double* outRe,
                   double* outIm, std::int32_t inStride, std::int32_t outStride, std::int32_t n) noexcept;
// Inverse with the factor 1/n.
std::int32_t cxIfft(const FftPlan* plan, const double* inRe, const double* inIm, double* outRe,
                    double* outIm, std::int32_t inStride, std::int32_t outStride, std::int32_t n) noexcept;
// Real input to an Hc spectrum; the input is not changed.
std::int32_t reFft(const FftPlan* plan, const double* in, double* out, std::int32_t inStride,
                   std::int32_t outStride, std::int32_t n) noexcept;
// Hc spectrum to real output with the factor 1/n. Overwrites its input.
std::int32_t reIfft(const FftPlan* plan, double* in, double* out, std::int32_t inStride,
                    std::int32_t outStride, std::int32_t n) noexcept;

}  // namespace varnel::fft
