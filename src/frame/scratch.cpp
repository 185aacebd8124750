#include "frame/scratch.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#endif

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

// Memory fresh from the system costs a fault per 4 KiB page when first
// written, and the kernel clears every page it hands out: for the tens of
// megabytes of a 2^20-point plan and its transforms that takes longer than
// the transforms themselves. Two things keep that cost down.
//  - glibc's malloc keeps the memory of a large block freed by one call for
//    the next instead of returning it (it raises its mapping threshold to
//    the size of a freed mapped block, up to 32 MiB on 64-bit systems), so
//    blocks below kFreshFrom come from malloc and repeated calls of one
//    size fault nothing once the second has run: ReSTFTsp of 2^20 samples
//    in frames of 2^18, each a new one, took 3.6 instead of 4.4 ms per call
//    from then on.
//  - From kHugePagesFrom on, the whole 2 MiB pages inside a block are
//    offered to the kernel for huge pages (where transparent huge pages are
//    enabled "on request"), which need 512 times fewer faults. Blocks from
//    kFreshFrom on, always fresh mappings, are aligned to 2 MiB for that.
constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::size_t kHugePagesFrom = 4 * kHugePage;
constexpr std::size_t kFreshFrom = 16 * kHugePage;

void offerHugePages([[maybe_unused]] void* base, [[maybe_unused]] std::size_t bytes) noexcept {
#if defined(MADV_HUGEPAGE)
    const auto start = reinterpret_cast<std::uintptr_t>(base);
    const std::uintptr_t first = (start + kHugePage - 1) / kHugePage * kHugePage;
    const std::uintptr_t end = (start + bytes) / kHugePage * kHugePage;
    // Advice only: its failure changes nothing.
    if (first < end) madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#endif
}

// Every block starts on a cache line (kLineDoubles). malloc aligns to 16 bytes only, and
// puts its mapped blocks (128 KiB and more) 16 bytes past a page, where half
// of the 32-byte loads and stores of the transforms working in them
// straddle two lines: a 2^16-point STFT frame then takes a tenth longer.
// The line is found inside a slightly larger allocation, whose start is
// kept in the word before the block (aligned_alloc made small plans take
// half as long again to build). Under the address sanitizer blocks end
// where their allocations do, so that it sees any write past one.
#if defined(__SANITIZE_ADDRESS__)
#define VARNEL_EXACT_BLOCK_ENDS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VARNEL_EXACT_BLOCK_ENDS 1
#endif
#endif
#if defined(VARNEL_EXACT_BLOCK_ENDS)
constexpr std::size_t kAlignment = 16;
#else
constexpr std::size_t kAlignment = kLineDoubles * sizeof(double);
#endif

void* allocateBytes(std::size_t bytes) noexcept {
    if (bytes > SIZE_MAX - kHugePage - kAlignment) return nullptr;
    const std::size_t padded = bytes + kAlignment;
    std::size_t bytesHeld = padded;
    void* base = nullptr;
    if (padded < kFreshFrom) {
        base = std::malloc(padded);
    } else {
        bytesHeld = (padded + kHugePage - 1) / kHugePage * kHugePage;
        base = std::aligned_alloc(kHugePage, bytesHeld);
    }
    if (!base) return nullptr;
    if (bytesHeld >= kHugePagesFrom) offerHugePages(base, bytesHeld);
    // At least 16 bytes past base, which malloc aligns to 16.
    void** block =
        reinterpret_cast<void**>((reinterpret_cast<std::uintptr_t>(base) + kAlignment) & ~(kAlignment - 1));
    block[-1] = base;
    return block;
}

}  // namespace

void* scratchAllocate(std::size_t count, std::size_t elementSize) noexcept {
    if (injectedFailure()) return nullptr;
    // A zero-sized request still yields a distinct block so that callers can
    // treat "no memory" and "nothing to hold" alike by testing for null.
    if (count == 0 || elementSize == 0) count = elementSize = 1;
    if (count > SIZE_MAX / elementSize) return nullptr;
    void* block = allocateBytes(count * elementSize);
    if (block) live.fetch_add(1, std::memory_order_relaxed);
    return block;
}

void scratchFree(void* block) noexcept {
    if (!block) return;
    live.fetch_sub(1, std::memory_order_relaxed);
    std::free(static_cast<void**>(block)[-1]);
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
