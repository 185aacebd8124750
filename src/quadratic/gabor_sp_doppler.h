// Back from the Doppler domain, once per accumulated block after all
// terms are in.
#pragma once

#include <cstdint>

#include "fft/plan.h"
#include "quadratic/gabor_sp_arrays.h"

namespace varnel::gaborsp {

// For each of `blocks` blocks of NT complex values: the real part of its
// inverse DFT (with 1/NT), written over the block's real parts. Only the
// real part is wanted, so the block is reduced to its Hermitian part (an Hc
// array in hc, NT doubles of scratch) and one inverse real FFT suffices.
// Done in place so that the caller's output is written only once every
// transform has succeeded.
std::int32_t dopplerBlocksToTime(const fft::FftPlan* plan, double* fftScratch, std::int32_t NT, SplitComplex acc,
                                 std::int64_t blocks, double* hc);

}  // namespace varnel::gaborsp
