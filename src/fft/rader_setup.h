// Tables of a Rader stage: the prime-length DFT becomes a cyclic
// convolution of length p-1 through a primitive root g of p.
#pragma once

#include <cstdint>

#include "fft/plan_record.h"

namespace varnel::fft {

// Smallest g in 2..p-1 whose multiplicative order modulo p is p-1; 1 if
// there is none (p is not prime).
std::int32_t primitiveRoot(std::int32_t p) noexcept;

// Fills raderPlan, raderGather, raderScatter, raderRe and raderIm of the
// stage for the prime p. Returns false when memory or the sub-plan is not
// available; whatever was set is left in the stage for destroyPlan.
bool setUpRaderStage(FftStage& stage, std::int32_t p) noexcept;

}  // namespace varnel::fft
