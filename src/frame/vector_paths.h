// Whether the library's AVX2 paths run: the FFT's vector kernels, the
// loops of the STFT and of reassignment around it, and the solver's
// decomposition. They all follow one switch, so that the tests' comparison
// of the two paths covers them together.
#pragma once

namespace varnel {

// True when the processor has AVX2 and FMA (decided once per process) and
// the paths have not been switched off.
bool avx2PathsEnabled() noexcept;

// True when the AVX2 paths run and the processor also has AVX-512F and VL:
// the FFT kernels then come from their build for those instructions, which
// has twice the vector registers.
bool avx512VlKernelsEnabled() noexcept;

// For tests: off, every path is the baseline build; it takes effect for
// plans built and calls started afterwards.
void setAvx2PathsEnabled(bool on) noexcept;
// For tests: off, the FFT's vector kernels are the AVX2 build even where
// the processor could run the other; likewise for plans built afterwards.
void setAvx512VlKernelsEnabled(bool on) noexcept;

}  // namespace varnel
