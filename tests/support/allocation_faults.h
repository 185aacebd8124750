// The allocation-fault sweep: run an operation once cleanly to count its
// allocations, then once with each of them failing in turn.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "frame/scratch.h"

namespace varnel::testing {

// operation(expectFailure) must check its own outcome: with expectFailure
// it must report the failure (kStatusNoMemory, no plan, ...). After every
// run the library must hold no more blocks than before it. Returns the
// number of allocations of a clean run.
template <class Operation>
std::int64_t sweepAllocationFaults(Operation&& operation) {
    const std::int64_t liveBefore = scratch_testing::liveBlocks();
    scratch_testing::failAllocationAt(0);
    operation(false);
    const std::int64_t total = scratch_testing::attemptedAllocations();
    EXPECT_EQ(scratch_testing::liveBlocks(), liveBefore) << "clean run leaked";
    for (std::int64_t k = 1; k <= total; ++k) {
        SCOPED_TRACE(::testing::Message() << "allocation " << k << " of " << total << " failing");
        scratch_testing::failAllocationAt(k);
        operation(true);
        scratch_testing::failAllocationAt(0);
        EXPECT_EQ(scratch_testing::liveBlocks(), liveBefore) << "leaked after a failed allocation";
    }
    return total;
}

}  // namespace varnel::testing
