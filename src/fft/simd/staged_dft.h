// Complex DFTs of 16 and 32 points on vectors, in two register-sized stages.
//
// The generated 32-point body keeps 64 vectors live at its widest point;
// with 16 vector registers the compiler then spills about every third
// instruction, in no useful order. Splitting N = P*Q by decimation in time
// (Q DFTs of P points over t = Q*a + b, the twiddles w_N^(b*c), then P DFTs
// of Q points) bounds what is live to one small DFT, and the intermediate
// goes through a buffer the size of one transform, which stays in L1.
// Include only from a translation unit built for one instruction set (see
// vector_passes.h).
#pragma once

#include "fft/generated/dft_bodies.h"
#include "fft/unit_roots.h"

namespace varnel::fft {
namespace {

template <int P, int Q>
struct StagedTwiddles {
    double re[Q][P], im[Q][P];
    // re/im[b][c] = w_N^(b*c).
    StagedTwiddles() {
        for (int b = 0; b < Q; ++b) unitRoots(b, P * Q, 0, P, re[b], im[b], 1);
    }
};

template <int N>
struct StagedSplit;
template <>
struct StagedSplit<16> {
    static constexpr int P = 4, Q = 4;
};
template <>
struct StagedSplit<32> {
    static constexpr int P = 8, Q = 4;
};

// Same contract as the generated bodies: load(t, re, im) for every t before
// the first store(k, re, im).
template <int N, class T, class Load, class Store>
__attribute__((always_inline)) inline void stagedCxDft(Load&& load, Store&& store) {
    constexpr int P = StagedSplit<N>::P, Q = StagedSplit<N>::Q;
    static const StagedTwiddles<P, Q> tw;
    T yRe[Q][P], yIm[Q][P];
    for (int b = 0; b < Q; ++b) {
        generated::Dft<P>::template cx<T>(
            [&](int a, T& r, T& i) __attribute__((always_inline)) { load(Q * a + b, r, i); },
            [&](int c, const T& r, const T& i) __attribute__((always_inline)) {
                if (b == 0 || c == 0) {
                    yRe[b][c] = r;
                    yIm[b][c] = i;
                } else {
                    yRe[b][c] = r * tw.re[b][c] - i * tw.im[b][c];
                    yIm[b][c] = r * tw.im[b][c] + i * tw.re[b][c];
                }
            });
    }
    for (int c = 0; c < P; ++c) {
        generated::Dft<Q>::template cx<T>(
            [&](int b, T& r, T& i) __attribute__((always_inline)) {
                r = yRe[b][c];
                i = yIm[b][c];
            },
            [&](int d, const T& r, const T& i) __attribute__((always_inline)) { store(c + P * d, r, i); });
    }
}

// The generated body for small radices, the staged one for 16 and 32.
template <int N, class T, class Load, class Store>
__attribute__((always_inline)) inline void vectorCxDft(Load&& load, Store&& store) {
    if constexpr (N == 16 || N == 32)
        stagedCxDft<N, T>(load, store);
    else
        generated::Dft<N>::template cx<T>(load, store);
}

}  // namespace
}  // namespace varnel::fft
