// The six rules of signal extension, on strided sample arrays so that the
// complex form runs the real rule once on each half of its samples.
#pragma once

#include <cstddef>
#include <cstdint>

#include "frame/scratch.h"

namespace varnel {

// The offset is kept apart from the pointer because an empty signal may
// come as a null pointer, which must not be offset.
struct StridedInput {
    const double* data;
    std::ptrdiff_t offset;
    std::ptrdiff_t stride;
    double operator[](std::ptrdiff_t k) const noexcept { return data[offset + k * stride]; }
    const double* at(std::ptrdiff_t k) const noexcept { return data + (offset + k * stride); }
};

struct StridedOutput {
    double* data;
    std::ptrdiff_t stride;
    double& operator[](std::ptrdiff_t k) const noexcept { return data[k * stride]; }
};

// 4 for a mode that is no rule, 1 when n or m cannot serve the rule, 0
// otherwise. Tested in that order.
std::int32_t validateExtension(std::int32_t n, std::int32_t mode, std::int32_t m) noexcept;

// Scratch that a rule needs for m samples per side, taken once per call
// and shared by the real and imaginary passes of complex samples.
class ExtensionScratch {
public:
    ExtensionScratch(std::int32_t mode, std::int32_t m) noexcept;
    bool ok() const noexcept { return ok_; }
    double* taper() const noexcept { return taper_.data(); }

private:
    ScratchBuffer<double> taper_;      // TaperedSymmetric: 2m + 1 samples
    bool ok_ = true;
};

// The Periodic rule alone, for n >= 1 and m >= 0: it takes no scratch and
// cannot fail, so a caller that knows both holds needs no checks.
void extendPeriodic(StridedInput x, std::int32_t n, std::int32_t m, StridedOutput left, StridedOutput right) noexcept;

// Fills left[0..m-1] and right[0..m-1] from x[0..n-1] by a validated rule
// whose scratch was taken. Returns 0, or 4 for a mode that is no rule.
std::int32_t applyExtensionRule(std::int32_t mode, StridedInput x, std::int32_t n, std::int32_t m,
                                StridedOutput left, StridedOutput right, const ExtensionScratch& scratch) noexcept;

// The whole extension of n samples by m on each side: the checks of
// validateExtension, then the rule. parts = 1 for real samples, 2 for
// interleaved complex ones (part k of sample i at [i * parts + k]), whose
// halves are extended alike.
std::int32_t extendSignal(const double* x, std::int32_t n, std::int32_t mode, std::int32_t m, double* left,
                          double* right, std::ptrdiff_t parts) noexcept;

}  // namespace varnel
