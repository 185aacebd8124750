// The process-wide list of live plans, newest first.
#pragma once

#include <mutex>

#include "fft/plan.h"

namespace varnel::fft {

// Creation and release nest (a plan takes and gives back its Rader
// sub-plans while the lock is held), hence a recursive mutex.
std::recursive_mutex& planCacheLock() noexcept;

// Head of the list. Read it only while holding planCacheLock().
FftPlan*& planCacheHead() noexcept;

}  // namespace varnel::fft
