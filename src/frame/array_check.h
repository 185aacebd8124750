// The arrays a caller hands to an export, described by the extents its
// documented sizes give them, for the two tests every export makes once its
// own argument checks have passed: an array the call will read or write
// must not be null, and nothing the call writes may overlap anything else
// it reads or writes (a result computed from half-overwritten input is
// wrong without any sign of it).
//
//   if (const auto status = ArrayCheck().reads(x, n).writes(out, f * m).status(); status != kStatusOk)
//       return status;
//
// Counts are elements of the pointer's type (doubles for sample arrays: 2n
// for n complex samples). A count of 0 means the call touches none of that
// array, which may then be null. Extents are compared as address ranges,
// never dereferenced.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "varnel.h"

namespace varnel {

// a * b for non-negative counts, INT64_MAX when it does not fit (an array
// that large cannot exist, so it overlaps whatever it meets).
inline std::int64_t countProduct(std::int64_t a, std::int64_t b) noexcept {
    std::int64_t product = 0;
    return __builtin_mul_overflow(a, b, &product) ? INT64_MAX : product;
}

class ArrayCheck {
public:
    // count elements at data[k * stride], k = 0 .. count-1 (stride may be
    // negative or zero).
    template <class T>
    ArrayCheck& reads(const T* data, std::int64_t count, std::int64_t stride = 1) noexcept {
        add(data, count, stride, sizeof(T), false, nextGroup_++);
        return *this;
    }
    template <class T>
    ArrayCheck& writes(T* data, std::int64_t count, std::int64_t stride = 1) noexcept {
        add(data, count, stride, sizeof(T), true, nextGroup_++);
        return *this;
    }
    // The real and imaginary parts of count complex values, element k of
    // each at k * stride: split arrays, or one interleaved array with
    // im = re + 1. The two parts are one array, so interleaving them is not
    // an overlap.
    ArrayCheck& readsPair(const double* re, const double* im, std::int64_t count, std::int64_t stride) noexcept {
        return pair(re, im, count, stride, false);
    }
    ArrayCheck& writesPair(double* re, double* im, std::int64_t count, std::int64_t stride) noexcept {
        return pair(re, im, count, stride, true);
    }

    // kStatusBadLength for a null array with a non-zero count, or for an
    // output overlapping another array; otherwise kStatusOk.
    std::int32_t status() const noexcept;

private:
    struct Span {
        std::uintptr_t begin;  // bytes [begin, end)
        std::uintptr_t end;
        int group;
        bool written;
    };
    static constexpr int kMaxSpans = 8;  // the most any export has is 6

    void add(const void* data, std::int64_t count, std::int64_t stride, std::size_t elementSize, bool written,
             int group) noexcept;
    ArrayCheck& pair(const double* re, const double* im, std::int64_t count, std::int64_t stride,
                     bool written) noexcept {
        const int group = nextGroup_++;
        add(re, count, stride, sizeof(double), written, group);
        add(im, count, stride, sizeof(double), written, group);
        return *this;
    }

    std::array<Span, kMaxSpans> spans_{};
    int spanCount_ = 0;
    int nextGroup_ = 0;
    bool refused_ = false;
};

}  // namespace varnel
