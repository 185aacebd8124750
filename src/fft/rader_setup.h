// Tables of a Rader stage: the prime-length DFT becomes a cyclic
// convolution of length p-1 through a primitive root g of p.
#pragma once

#include <cstdint>

#include "fft/plan_record.h"

namespace varnel::fft {

// Fills raderPlan, raderGather, raderScatter, raderRe and raderIm of the
// stage for the prime p. Returns false when memory or the sub-plan is not
// available; whatever was set is left in the stage for destroyPlan.
bool setUpRaderStage(FftStage& stage, std::int32_t p) noexcept;

}  // namespace varnel::fft
