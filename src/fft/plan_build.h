// Building and tearing down the data of one plan (not its cache links).
#pragma once

#include "fft/plan_record.h"

namespace varnel::fft {

// A complete plan of length n >= 1 with refCount 0 and no links, or null
// when any allocation fails; in that case everything obtained, Rader
// sub-plans included, has been given back.
FftPlan* buildPlan(std::int32_t n) noexcept;

// Frees every table and stage record, releases the Rader sub-plans and
// frees the plan record. Works on partly built plans (null fields skipped).
void destroyPlan(FftPlan* plan) noexcept;

}  // namespace varnel::fft
