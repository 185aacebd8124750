#include "frame/scratch.h"

#include <atomic>
#include <cstdlib>

namespace varnel {
namespace {

std::atomic<std::int64_t> attempts{0};
std::atomic<std::int64_t> failAt{0};
std::atomic<std::int64_t> live{0};

bool injectedFailure() noexcept {
    const std::int64_t target = failAt.load(std::memory_order_relaxed);
    const std::int64_t index = attempts.fetch_add(1, std::memory_order_relaxed) + 1;
    return target > 0 && index == target;
}

}  // namespace

void* scratchAllocate(std::size_t count, std::size_t elementSize) noexcept {
    if (injectedFailure()) return nullptr;
    // A zero-sized request still yields a distinct block so that callers can
    // treat "no memory" and "nothing to hold" alike by testing for null.
    if (count == 0 || elementSize == 0) count = elementSize = 1;
    if (count > SIZE_MAX / elementSize) return nullptr;
    void* block = std::malloc(count * elementSize);
    if (block) live.fetch_add(1, std::memory_order_relaxed);
    return block;
}

void scratchFree(void* block) noexcept {
    if (!block) return;
    live.fetch_sub(1, std::memory_order_relaxed);
    std::free(block);
}

namespace scratch_testing {

void failAllocationAt(std::int64_t k) noexcept {
    attempts.store(0, std::memory_order_relaxed);
    failAt.store(k, std::memory_order_relaxed);
}

std::int64_t attemptedAllocations() noexcept { return attempts.load(std::memory_order_relaxed); }

std::int64_t liveBlocks() noexcept { return live.load(std::memory_order_relaxed); }

}  // namespace scratch_testing
}  // namespace varnel
