// Complex tables of the Gabor spectrogram and the mean instantaneous
// frequency are held split (real parts and imaginary parts in two arrays)
// because that is the form the FFT engine reads and writes; a view names
// the pair once.
#pragma once

#include <cstddef>

#include "frame/split_complex.h"

namespace varnel::gaborsp {

// The tables are contiguous (stride 1), which the loops below rely on.

inline void clearComplex(SplitComplex x, std::ptrdiff_t count) noexcept {
    for (std::ptrdiff_t k = 0; k < count; ++k) {
        x.re[k] = 0.0;
        x.im[k] = 0.0;
    }
}

inline void scaleComplex(SplitComplex x, std::ptrdiff_t count, double factor) noexcept {
    for (std::ptrdiff_t k = 0; k < count; ++k) {
        x.re[k] *= factor;
        x.im[k] *= factor;
    }
}

// acc[k] += x[k] * y[k], bin by bin.
inline void multiplyAccumulate(SplitComplex x, SplitComplex y, SplitComplex acc, std::ptrdiff_t count) noexcept {
    for (std::ptrdiff_t k = 0; k < count; ++k) {
        acc.re[k] += x.re[k] * y.re[k] - x.im[k] * y.im[k];
        acc.im[k] += x.re[k] * y.im[k] + x.im[k] * y.re[k];
    }
}

// out[k] = x[k] * y[k].
inline void multiplyInto(SplitComplex x, SplitComplex y, SplitComplex out, std::ptrdiff_t count) noexcept {
    for (std::ptrdiff_t k = 0; k < count; ++k) {
        out.re[k] = x.re[k] * y.re[k] - x.im[k] * y.im[k];
        out.im[k] = x.re[k] * y.im[k] + x.im[k] * y.re[k];
    }
}

}  // namespace varnel::gaborsp
