// DFTs of the prime radices without generated kernels: 23 and 47 directly
// from cosine/sine tables, primes of 53 and more by Rader's algorithm.
// All of them may run in place (same arrays and strides).
#pragma once

#include <cstddef>
#include <cstdint>

#include "fft/plan_record.h"

namespace varnel::fft {

// Doubles of scratch that one complex or real prime DFT of radix p works
// in, the transforms of a Rader stage's sub-plan included.
std::size_t primeScratchSize(std::int32_t kind, std::int32_t p) noexcept;

// One complex DFT of the prime p. Returns a status because a Rader stage
// runs transforms of its sub-plan, which may need scratch of their own.
std::int32_t cxPrimeDft(const FftStage& stage, std::int32_t kind, std::int32_t p, const double* inRe,
                        const double* inIm, std::ptrdiff_t is, double* outRe, double* outIm,
                        std::ptrdiff_t os, double* scratch) noexcept;

// One real DFT of the prime p, written as an Hc array.
std::int32_t rePrimeDft(const FftStage& stage, std::int32_t kind, std::int32_t p, const double* in,
                        std::ptrdiff_t is, double* out, std::ptrdiff_t os, double* scratch) noexcept;

}  // namespace varnel::fft
