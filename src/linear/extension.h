// Building blocks of signal extension: mirroring and the Hann taper.
//
// Sample arrays may be strided (element k at [k * stride]) so that one
// implementation serves real samples and each half of complex ones.
#pragma once

#include <cstddef>
#include <cstdint>

namespace varnel {

// dst[k] = src[count - 1 - k] for k < count; nothing for count < 1.
void reverseCopy(const double* src, double* dst, std::int32_t count, std::ptrdiff_t srcStride = 1,
                 std::ptrdiff_t dstStride = 1) noexcept;

// Multiplies buf (length L) in place by a Hann window of length L:
// buf[0] by 0, buf[k] and buf[L-k] by sin^2(k pi/L) for 1 <= k < L/2, the
// middle sample of an even buffer kept. L >= 1.
void hannTaper(double* buf, std::int64_t L) noexcept;

}  // namespace varnel
