// The process-wide list of live plans, newest first.
#pragma once

#include <mutex>

#include "fft/plan.h"

namespace varnel::fft {

// Held only while the list and the reference counts change: plans are
// built and freed outside it.
std::mutex& planCacheLock() noexcept;

// Head of the list. Read it only while holding planCacheLock().
FftPlan*& planCacheHead() noexcept;

}  // namespace varnel::fft
