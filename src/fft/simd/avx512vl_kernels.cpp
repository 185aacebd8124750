// The same kernel set for processors that also have AVX-512F and VL. It
// gains the 32 vector registers that EVEX encoding reaches, against 16: a
// 32-point pass works on 64 vectors of values and their twiddles, so it
// goes through the stack either way, but far less with 32 registers (the
// large transforms ran 5-14% faster, 2^14 to 2^20, an AVX-512 Xeon). And
// its twiddle passes take eight columns to a vector instead of four
// (vector_passes.h). Each lane's arithmetic is the AVX2 set's, operation
// for operation, so both give the same bits. Compiled with those
// instructions enabled and reached only through kAvx512VlKernelSet after
// a run-time CPU check.
#include "fft/simd/kernel_set.h"

namespace varnel::fft {

extern const VectorKernelSet kAvx512VlKernelSet = makeKernelSet();

}  // namespace varnel::fft
