// Interleaved complex arrays seen as a pair of strided arrays.
#pragma once

namespace varnel::gabor {

// Where the imaginary parts of an interleaved array start: one double after
// the real parts. A missing array stays missing instead of becoming a
// pointer just past null.
template <class T>
T* imaginaryParts(T* interleaved) noexcept {
    return interleaved == nullptr ? nullptr : interleaved + 1;
}

}  // namespace varnel::gabor
