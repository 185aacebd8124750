// The vector kernel set, built from the templates of vector_passes.h.
// Include only from the translation units that each compile it for one
// instruction set (avx2_kernels.cpp, avx512vl_kernels.cpp): makeKernelSet
// has internal linkage, so each gets its own code.
#pragma once

#include "fft/simd/vector_passes.h"

namespace varnel::fft {
namespace {

template <int N>
constexpr void add(VectorKernelSet& set) {
    set.cxTwiddle[N] = cxTwiddleVec<N>;
    set.cxLeaf[N] = cxLeafVec<N>;
    set.reTwiddle[N] = reTwiddleVec<N>;
    set.reLeaf[N] = reLeafVec<N>;
    set.cxSiblingLeaf[N] = cxSiblingLeafVec<N>;
    set.reSiblingLeaf[N] = reSiblingLeafVec<N>;
    // Long stages (factorsTwiddles) keep their twiddles factored at every
    // radix. Below radix 8 the product that forms each twiddle costs a few
    // per cent of a transform on its own (2^16 and 3 * 2^15, whose first
    // stages have radix 2 and 3, ran 4-6% slower), but the plan builds
    // kilobytes of tables instead of megabytes: building and releasing the
    // plan of 2^16 took 15 us instead of 35 us, or 1.7 ms where glibc gave
    // the freed tables back to the system and the next plan faulted them in
    // again, and ReSTFTsp with one frame per 2^16 or 2^17 bins, which builds
    // its plan in every call, ran 4-6% faster.
    set.cxTwiddleFactored[N] = cxTwiddleVec<N, FactoredTwiddles<N>>;
    set.reTwiddleFactored[N] = reTwiddleVec<N, FactoredTwiddles<N>>;
}

// Radices of the common lengths: powers of two and the small factors of
// 1000-like, 3*2^k, 7*2^k and 9*2^k sizes (7 and 9 alone, or with 2 as 14
// and 18); and 11 and 13, for which FFTW has kernels of its own: with them
// scalar, real transforms of 22 to 352 points with a factor 11 or 13 and
// the 53-point one (a Rader stage over 52 = 4*13) took 1.2 to 2 times
// FFTW's time, and 0.7 to 1.1 times with them vectorised. The primes from
// 17 up stay scalar, where transforms already took 0.55-0.75 of FFTW's
// time: each radix's vector code adds some 200 KB to the library.
constexpr VectorKernelSet makeKernelSet() {
    VectorKernelSet set{};
    set.width = 4;
    add<2>(set);
    add<3>(set);
    add<4>(set);
    add<5>(set);
    add<7>(set);
    add<8>(set);
    add<9>(set);
    add<10>(set);
    add<11>(set);
    add<13>(set);
    add<14>(set);
    add<16>(set);
    add<18>(set);
    add<32>(set);
    set.cxWhole[0] = {16, cxSingleVec<16>};
    set.cxWhole[1] = {32, cxSingleVec<32>};
    set.cxWhole[2] = {64, cxSingleVec<64>};
    set.cxWhole[3] = {128, cxSingleVec<128>};
    set.hartleyFold = hartleyFoldVec;
    set.gather = gatherVec;
    set.cxHalves32 = cxTwiddleHalvesVec<32>;
    return set;
}

}  // namespace

}  // namespace varnel::fft
