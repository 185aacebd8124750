// Scratch memory for one library call.
//
// Every allocation the library makes goes through here so that
//  - a failed allocation is a null result (never an exception), which the
//    calling export turns into kStatusNoMemory, and
//  - tests can make the k-th allocation fail and can count live blocks to
//    prove that every path gives back what it took.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>

namespace varnel {

// Blocks start on a cache line of kLineDoubles doubles (except under the
// address sanitizer, see scratch.cpp), and arrays carved from one at
// offsets of whole lines (lineRounded) start on lines too.
inline constexpr std::ptrdiff_t kLineDoubles = 64 / sizeof(double);

constexpr std::ptrdiff_t lineRounded(std::ptrdiff_t count) noexcept {
    return (count + kLineDoubles - 1) / kLineDoubles * kLineDoubles;
}

// Doubles in 4 KiB: rows this far apart fall in one set of the L1 data
// cache (a pass over such rows finds a column's values all in one set, more
// lines than it has ways once the radix is wide, and misses on every one of
// them if it goes column by column), and the processor matches loads to
// earlier stores by their offset within a page of this size.
inline constexpr std::ptrdiff_t kSetPeriod = 512;

// How far apart to carve arrays of `count` doubles that a pass goes through
// element by element together, such as the real and imaginary planes of a
// transform's input or output: on whole lines, and at least kPlaneGap
// doubles away from a multiple of kSetPeriod. Planes a multiple of 4 KiB
// apart share their offsets within a page, and the processor takes a load
// from one as waiting for the store just made to the other. Complex 8192
// written through planes 8192 apart took 30 us against 22 us with the gap,
// and CxSTFT of 2^20 samples with M = 8192, 24.5 against 18.8 ms.
inline constexpr std::ptrdiff_t kPlaneGap = 64;

constexpr std::ptrdiff_t planeSpacing(std::ptrdiff_t count) noexcept {
    const std::ptrdiff_t spacing = lineRounded(count) + kPlaneGap;
    const std::ptrdiff_t inPage = spacing % kSetPeriod;
    if (inPage < kPlaneGap) return spacing + kPlaneGap - inPage;
    if (inPage > kSetPeriod - kPlaneGap) return spacing + kSetPeriod - inPage + kPlaneGap;
    return spacing;
}

// Whether two planes lie as planeSpacing keeps them from lying: within
// kPlaneGap doubles of a multiple of kSetPeriod apart.
inline bool planesShareSets(const double* a, const double* b) noexcept {
    const auto apart = static_cast<std::ptrdiff_t>(
        (reinterpret_cast<std::uintptr_t>(b) - reinterpret_cast<std::uintptr_t>(a)) / sizeof(double) % kSetPeriod);
    return apart < kPlaneGap || apart > kSetPeriod - kPlaneGap;
}

// Arrays carved one after another out of a block, each planeSpacing(count)
// after the one before. Over a null block it only counts: one list of
// arrays gives both a routine's scratch size and its arrays.
class Carve {
public:
    explicit Carve(double* block) noexcept : block_(block) {}
    double* take(std::ptrdiff_t count) noexcept {
        double* array = block_ != nullptr ? block_ + used_ : nullptr;
        used_ += planeSpacing(count);
        return array;
    }
    std::size_t used() const noexcept { return static_cast<std::size_t>(used_); }

private:
    double* block_;
    std::ptrdiff_t used_ = 0;
};

// Raw blocks, for memory whose lifetime is not a single scope (plans).
void* scratchAllocate(std::size_t count, std::size_t elementSize) noexcept;
void scratchFree(void* block) noexcept;

// An array of trivially constructible T owned by the current scope.
// Check ok() before use; a failed buffer holds no memory.
template <class T>
class ScratchBuffer {
public:
    ScratchBuffer() noexcept = default;
    explicit ScratchBuffer(std::size_t count) noexcept
        : data_(static_cast<T*>(scratchAllocate(count, sizeof(T)))), count_(data_ ? count : 0) {}
    ~ScratchBuffer() { scratchFree(data_); }

    ScratchBuffer(const ScratchBuffer&) = delete;
    ScratchBuffer& operator=(const ScratchBuffer&) = delete;
    ScratchBuffer(ScratchBuffer&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)), count_(std::exchange(other.count_, 0)) {}
    ScratchBuffer& operator=(ScratchBuffer&& other) noexcept {
        if (this != &other) {
            scratchFree(data_);
            data_ = std::exchange(other.data_, nullptr);
            count_ = std::exchange(other.count_, 0);
        }
        return *this;
    }

    bool ok() const noexcept { return data_ != nullptr; }
    T* data() const noexcept { return data_; }
    std::size_t size() const noexcept { return count_; }
    T& operator[](std::size_t i) const noexcept { return data_[i]; }

private:
    T* data_ = nullptr;
    std::size_t count_ = 0;
};

// Hooks for tests. Not part of the shared library's exported surface.
namespace scratch_testing {
// Make the k-th allocation from now (k >= 1) fail; k <= 0 switches it off.
void failAllocationAt(std::int64_t k) noexcept;
// Allocations attempted since the last failAllocationAt / resetCounters.
std::int64_t attemptedAllocations() noexcept;
// Blocks currently held by the library.
std::int64_t liveBlocks() noexcept;
}  // namespace scratch_testing

}  // namespace varnel
