// Complex values held as two arrays of doubles, element k of each at
// k * stride: the form the FFT engine reads and writes and the split
// layouts of the exports. An interleaved array (re, im pairs) is the view
// {cx, cx + 1, 2}.
#pragma once

#include <cstddef>
#include <type_traits>

namespace varnel {

template <class T>  // double, or const double for a view that is only read
struct SplitComplexView {
    T* re = nullptr;
    T* im = nullptr;
    std::ptrdiff_t stride = 1;

    T& real(std::ptrdiff_t k) const noexcept { return re[k * stride]; }
    T& imag(std::ptrdiff_t k) const noexcept { return im[k * stride]; }

    // The values from element k on.
    SplitComplexView offset(std::ptrdiff_t k) const noexcept { return {re + k * stride, im + k * stride, stride}; }
    // Every step-th value: element j of the result is element j * step.
    SplitComplexView every(std::ptrdiff_t step) const noexcept { return {re, im, stride * step}; }

    // The one rule for recognising the interleaved layout, which callers
    // may read or write in one pass over one array.
    bool interleaved() const noexcept { return re != nullptr && stride == 2 && im == re + 1; }

    operator SplitComplexView<const T>() const noexcept
        requires(!std::is_const_v<T>)
    {
        return {re, im, stride};
    }
};

using SplitComplex = SplitComplexView<double>;
using ConstSplitComplex = SplitComplexView<const double>;

}  // namespace varnel
