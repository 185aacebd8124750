#include "frame/array_check.h"

namespace varnel {

namespace {

// a * b, or the largest value when it does not fit: an extent that cannot
// be represented covers every address, so it overlaps whatever it meets.
std::uint64_t saturatingProduct(std::uint64_t a, std::uint64_t b) noexcept {
    std::uint64_t product = 0;
    return __builtin_mul_overflow(a, b, &product) ? UINT64_MAX : product;
}

std::uintptr_t saturatingOffset(std::uintptr_t base, std::uint64_t bytes, bool down) noexcept {
    if (down) return bytes > base ? 0 : base - bytes;
    return bytes > UINTPTR_MAX - base ? UINTPTR_MAX : base + bytes;
}

}  // namespace

void ArrayCheck::add(const void* data, std::int64_t count, std::int64_t stride, std::size_t elementSize,
                     bool written, int group) noexcept {
    if (count <= 0) return;
    if (data == nullptr) {
        refused_ = true;
        return;
    }
    if (spanCount_ == kMaxSpans) {
        // More arrays than any export has: refuse rather than leave one
        // unchecked, so that the mistake shows in the first test call.
        refused_ = true;
        return;
    }
    const auto base = reinterpret_cast<std::uintptr_t>(data);
    // Elements 0 and count-1 are the ends of the range whatever the stride's sign.
    const std::uint64_t magnitude = stride < 0 ? 0 - static_cast<std::uint64_t>(stride) : static_cast<std::uint64_t>(stride);
    const std::uint64_t reach = saturatingProduct(saturatingProduct(static_cast<std::uint64_t>(count - 1), magnitude),
                                                  elementSize);
    std::uintptr_t begin = base;
    std::uintptr_t last = base;
    if (stride < 0)
        begin = saturatingOffset(base, reach, true);
    else
        last = saturatingOffset(base, reach, false);
    spans_[spanCount_++] = {begin, saturatingOffset(last, elementSize, false), group, written};
}

std::int32_t ArrayCheck::status() const noexcept {
    if (refused_) return kStatusBadLength;
    for (int i = 0; i < spanCount_; ++i) {
        for (int j = i + 1; j < spanCount_; ++j) {
            const Span& a = spans_[i];
            const Span& b = spans_[j];
            if (a.group == b.group || (!a.written && !b.written)) continue;
            if (a.begin < b.end && b.begin < a.end) return kStatusBadLength;
        }
    }
    return kStatusOk;
}

}  // namespace varnel
