// Templates of the vectorised kernel passes. Include only from a
// translation unit built for one instruction set: everything here has
// internal linkage, so instantiations made with different code-generation
// flags in different translation units can never be merged by the linker.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "fft/generated/dft_bodies.h"
#include "fft/simd/staged_dft.h"
#include "fft/simd/vector_kernels.h"
#include "fft/unit_roots.h"

// Lambdas take the bare attribute; functions also need `inline`.
#define VARNEL_INLINE __attribute__((always_inline))
#define VARNEL_FORCE_INLINE inline __attribute__((always_inline))

namespace varnel::fft {
namespace {

// GNU vector types. Lane permutations use __builtin_shufflevector with
// constant lane indices (GCC >= 12 and clang); GCC's __builtin_shuffle with
// a mask vector does not exist in clang. GCC emits identical code for either.
using std::ptrdiff_t;
using V4 = double __attribute__((vector_size(32)));
using V2 = double __attribute__((vector_size(16)));

// A row stride known at compile time. With a run-time stride every row of
// a wide pass needs its own address register, and with 16 general registers
// the compiler keeps most of them on the stack and reloads them for each
// vector; with a constant one every access is a fixed offset from one
// pointer.
template <ptrdiff_t S>
using Fixed = std::integral_constant<ptrdiff_t, S>;

VARNEL_FORCE_INLINE V4 reversed(V4 v) { return __builtin_shufflevector(v, v, 3, 2, 1, 0); }

template <class T>
struct Lanes;

template <>
struct Lanes<double> {
    static constexpr int width = 1;
    static VARNEL_INLINE double load(const double* p) { return *p; }
    static VARNEL_INLINE void store(double* p, double v) { *p = v; }
    static VARNEL_INLINE double loadDown(const double* p) { return *p; }
    static VARNEL_INLINE void storeDown(double* p, double v) { *p = v; }
    static VARNEL_INLINE double gather(const double* p, ptrdiff_t) { return *p; }
};

// Loads and stores of whole vectors at any alignment.
template <class V>
struct VectorMemory {
    static constexpr int width = sizeof(V) / sizeof(double);
    static VARNEL_INLINE V load(const double* p) {
        V v;
        __builtin_memcpy(&v, p, sizeof v);
        return v;
    }
    static VARNEL_INLINE void store(double* p, V v) { __builtin_memcpy(p, &v, sizeof v); }
};

// Lane l of a vector belongs to column or transform l of the block; the
// "down" forms walk memory backwards, for the upper halves of Hc arrays.
template <>
struct Lanes<V4> : VectorMemory<V4> {
    static VARNEL_INLINE V4 loadDown(const double* p) { return reversed(load(p - 3)); }
    static VARNEL_INLINE void storeDown(double* p, V4 v) { store(p - 3, reversed(v)); }
    static VARNEL_INLINE V4 zeroLast(V4 v) { return __builtin_shufflevector(v, V4{}, 0, 1, 2, 4); }
    static VARNEL_INLINE V4 gather(const double* p, ptrdiff_t s) { return V4{p[0], p[s], p[2 * s], p[3 * s]}; }
};

// The twiddle passes take their columns eight at a time where the
// translation unit is compiled for AVX-512F (avx512vl_kernels.cpp), four
// otherwise. Each lane does the same operations in the same order either
// way, so both widths give the same bits. On an AMD EPYC with full-width
// 512-bit units (family 26) the transforms from 256 points up took 8-23%
// less time; leaves and sibling leaves, which transpose 4 x 4 blocks, keep
// four lanes.
#ifdef __AVX512F__
using V8 = double __attribute__((vector_size(64)));
template <>
struct Lanes<V8> : VectorMemory<V8> {
    static VARNEL_INLINE V8 reversed(V8 v) { return __builtin_shufflevector(v, v, 7, 6, 5, 4, 3, 2, 1, 0); }
    static VARNEL_INLINE V8 loadDown(const double* p) { return reversed(load(p - 7)); }
    static VARNEL_INLINE void storeDown(double* p, V8 v) { store(p - 7, reversed(v)); }
    static VARNEL_INLINE V8 zeroLast(V8 v) { return __builtin_shufflevector(v, V8{}, 0, 1, 2, 3, 4, 5, 6, 8); }
};
using VWide = V8;
#else
using VWide = V4;
#endif

template <>
struct Lanes<V2> : VectorMemory<V2> {
    static VARNEL_INLINE V2 reversed(V2 v) { return __builtin_shufflevector(v, v, 1, 0); }
    static VARNEL_INLINE V2 loadDown(const double* p) { return reversed(load(p - 1)); }
    static VARNEL_INLINE void storeDown(double* p, V2 v) { store(p - 1, reversed(v)); }
    static VARNEL_INLINE V2 zeroLast(V2 v) { return __builtin_shufflevector(v, V2{}, 0, 2); }
    static VARNEL_INLINE V2 gather(const double* p, ptrdiff_t s) { return V2{p[0], p[s]}; }
};

// Rows of a 4x4 block become columns: after the call v[l][i] = old v[i][l].
VARNEL_FORCE_INLINE void transpose4(V4& a, V4& b, V4& c, V4& d) {
    const V4 t0 = __builtin_shufflevector(a, b, 0, 4, 2, 6);
    const V4 t1 = __builtin_shufflevector(a, b, 1, 5, 3, 7);
    const V4 t2 = __builtin_shufflevector(c, d, 0, 4, 2, 6);
    const V4 t3 = __builtin_shufflevector(c, d, 1, 5, 3, 7);
    a = __builtin_shufflevector(t0, t2, 0, 1, 4, 5);
    b = __builtin_shufflevector(t1, t3, 0, 1, 4, 5);
    c = __builtin_shufflevector(t0, t2, 2, 3, 6, 7);
    d = __builtin_shufflevector(t1, t3, 2, 3, 6, 7);
}

// Writes buffer[k] lane l to row[offsets[l] + k] ...
template <int N>
VARNEL_FORCE_INLINE void storeRows(V4 (&buffer)[N], double* row, const ptrdiff_t (&offsets)[4]) {
    int k = 0;
    for (; k + 4 <= N; k += 4) {
        V4 a = buffer[k], b = buffer[k + 1], c = buffer[k + 2], d = buffer[k + 3];
        transpose4(a, b, c, d);
        Lanes<V4>::store(row + offsets[0] + k, a);
        Lanes<V4>::store(row + offsets[1] + k, b);
        Lanes<V4>::store(row + offsets[2] + k, c);
        Lanes<V4>::store(row + offsets[3] + k, d);
    }
    for (; k < N; ++k)
        for (int l = 0; l < 4; ++l) row[offsets[l] + k] = buffer[k][l];
}

// ... and to row[l * rowStride + k].
template <int N>
VARNEL_FORCE_INLINE void storeRows(V4 (&buffer)[N], double* row, ptrdiff_t rowStride) {
    const ptrdiff_t offsets[4] = {0, rowStride, 2 * rowStride, 3 * rowStride};
    storeRows<N>(buffer, row, offsets);
}

template <int N>
VARNEL_FORCE_INLINE void storeRows(V2 (&buffer)[N], double* row, const ptrdiff_t (&offsets)[4]) {
    int k = 0;
    for (; k + 2 <= N; k += 2) {
        const V2 a = buffer[k], b = buffer[k + 1];
        Lanes<V2>::store(row + offsets[0] + k, __builtin_shufflevector(a, b, 0, 2));
        Lanes<V2>::store(row + offsets[1] + k, __builtin_shufflevector(a, b, 1, 3));
    }
    for (; k < N; ++k) {
        row[offsets[0] + k] = buffer[k][0];
        row[offsets[1] + k] = buffer[k][1];
    }
}

template <int N>
VARNEL_FORCE_INLINE void storeRows(V2 (&buffer)[N], double* row, ptrdiff_t rowStride) {
    const ptrdiff_t offsets[4] = {0, rowStride};
    storeRows<N>(buffer, row, offsets);
}

// Writes buffer[k] (lane l = transform j0 + l) to out[(j0 + l) * N + k].
template <int N, class V>
VARNEL_FORCE_INLINE void storeTransposed(V (&buffer)[N], double* out, ptrdiff_t j0) {
    storeRows<N>(buffer, out + j0 * N, N);
}

// Where a twiddle pass finds w^(jk), row j >= 1 and column k, for the
// lanes k .. k+width-1: in a table of N-1 rows of m columns ...
// m is a ptrdiff_t, or a Fixed<32> (see cxTwiddleVec).
template <class Stride = ptrdiff_t>
struct TableTwiddles {
    const double* re;
    const double* im;
    Stride m;

    static TableTwiddles make(const double* re, const double* im, ptrdiff_t m) { return {re, im, Stride(m)}; }
    template <class T>
    VARNEL_FORCE_INLINE void get(int j, ptrdiff_t k, T& wr, T& wi) const {
        wr = Lanes<T>::load(re + (j - 1) * m + k);
        wi = Lanes<T>::load(im + (j - 1) * m + k);
    }
};

// ... or, for long stages, whose table would not stay in the cache, as the
// product w^(j s b) w^(j c) with k = s b + c, s = kTwiddleSpan and
// 0 <= c <= s, b chosen so that all lanes share it: the passes take their
// vectors of w columns at k = 0 mod w (complex) or 1 mod w (real), which
// never straddle two such blocks. The layout is vector_kernels.h's.
template <int N>
struct FactoredTwiddles {
    const double* re;
    const double* im;

    static FactoredTwiddles make(const double* re, const double* im, ptrdiff_t) { return {re, im}; }
    template <class T>
    VARNEL_FORCE_INLINE void get(int j, ptrdiff_t k, T& wr, T& wi) const {
        constexpr ptrdiff_t s = kTwiddleSpan, stepRow = kTwiddleSpan + 1;
        const ptrdiff_t b = (k + Lanes<T>::width - 2) / s, c = k - s * b;
        const T cr = Lanes<T>::load(re + (j - 1) * stepRow + c), ci = Lanes<T>::load(im + (j - 1) * stepRow + c);
        const ptrdiff_t at = (N - 1) * stepRow + b * (N - 1) + (j - 1);
        const double br = re[at], bi = im[at];
        wr = br * cr - bi * ci;
        wi = br * ci + bi * cr;
    }
};

// Complex twiddle pass on the columns k .. k+width-1, output j handed to
// store(j, re, im) ...
template <int N, class T, class Tw, class Stride, class Store>
VARNEL_FORCE_INLINE void cxTwiddleColumns(const double* re, const double* im, const Tw& tw, ptrdiff_t k, Stride ds,
                                          ptrdiff_t dk, Store&& store) {
    using L = Lanes<T>;
    vectorCxDft<N, T>(
        [&](int j, T& r, T& i) VARNEL_INLINE {
            const T yr = L::load(re + j * ds + dk), yi = L::load(im + j * ds + dk);
            if (j == 0) {
                r = yr;
                i = yi;
                return;
            }
            T wr, wi;
            tw.get(j, k, wr, wi);
            r = yr * wr - yi * wi;
            i = yr * wi + yi * wr;
        },
        store);
}

// ... or stored in the same places of toRe and toIm (in place when they
// are re and im).
template <int N, class T, class Tw, class Stride>
VARNEL_FORCE_INLINE void cxTwiddleColumns(const double* re, const double* im, const Tw& tw, ptrdiff_t k, Stride ds,
                                          ptrdiff_t dk, double* toRe, double* toIm) {
    using L = Lanes<T>;
    cxTwiddleColumns<N, T>(re, im, tw, k, ds, dk, [&](int j, const T& r, const T& i) VARNEL_INLINE {
            L::store(toRe + j * ds + dk, r);
            L::store(toIm + j * ds + dk, i);
        });
}

// Rows of a stage lie m apart; for large power-of-two m they all fall into
// the same few cache sets, so with many rows each cache line is evicted
// before its next columns are used. Wide radices therefore copy B columns
// of every row (whole cache lines) into a small buffer, run the DFTs there
// and copy them back: each line is then fetched and written once. So do
// the radices from 7 up that are no powers of two when their rows lie a
// multiple of kSetPeriod apart (the 9-point pass of 9*1024 values took half
// the time); the powers of two keep the forms measured for them.
template <int N>
constexpr bool buffersRows(ptrdiff_t m, ptrdiff_t wideFrom) {
    return (N >= 16 && m >= wideFrom) || (N >= 7 && (N & (N - 1)) != 0 && m % kSetPeriod == 0);
}

template <int N, class Tw>
VARNEL_FORCE_INLINE void cxTwiddleRows(const double* re, const double* im, double* toRe, double* toIm,
                                       const double* twRe, const double* twIm, ptrdiff_t m) {
    constexpr ptrdiff_t B = 16;
    if constexpr (std::is_same_v<Tw, TableTwiddles<>>) {
        // 32 columns: the outer stage of 256 to 1024 and the 1024-point
        // cores of the longer powers of two. With m a constant, 1024 took
        // 18% less time.
        if (m == 32) {
            const TableTwiddles<Fixed<32>> fixed{twRe, twIm, {}};
            for (ptrdiff_t k = 0; k < 32; k += Lanes<VWide>::width)
                cxTwiddleColumns<N, VWide>(re, im, fixed, k, Fixed<32>{}, k, toRe, toIm);
            return;
        }
    }
    const Tw tw = Tw::make(twRe, twIm, m);
    if (!buffersRows<N>(m, 64) || m % B != 0) {
        // Eight lanes only with eight rows or more: with them in its radix-7
        // and -9 passes, the 1008-point transform (inside 1009) took 2-3%
        // longer, as loads of rows just stored four lanes at a time (see
        // the real pass of 32 columns).
        if (N >= 8 && m % Lanes<VWide>::width == 0)
            for (ptrdiff_t k = 0; k < m; k += Lanes<VWide>::width)
                cxTwiddleColumns<N, VWide>(re, im, tw, k, m, k, toRe, toIm);
        else
            for (ptrdiff_t k = 0; k < m; k += 4) cxTwiddleColumns<N, V4>(re, im, tw, k, m, k, toRe, toIm);
        return;
    }
    alignas(64) double bRe[N * B], bIm[N * B];
    for (ptrdiff_t k0 = 0; k0 < m; k0 += B) {
        for (int j = 0; j < N; ++j) {
            __builtin_memcpy(bRe + j * B, re + j * m + k0, B * sizeof(double));
            __builtin_memcpy(bIm + j * B, im + j * m + k0, B * sizeof(double));
        }
        for (ptrdiff_t c = 0; c < B; c += Lanes<VWide>::width)
            cxTwiddleColumns<N, VWide>(bRe, bIm, tw, k0 + c, B, c, bRe, bIm);
        for (int j = 0; j < N; ++j) {
            __builtin_memcpy(toRe + j * m + k0, bRe + j * B, B * sizeof(double));
            __builtin_memcpy(toIm + j * m + k0, bIm + j * B, B * sizeof(double));
        }
    }
}

// In place, or from one pair of planes into another for the radices up to
// kCxTwiddleToRadix. The in-place form is compiled on its own: read through
// pointers that its stores might reach, its rows could not be loaded ahead
// of them, and in-place passes of 16384 to 65536 points took 2-3% longer.
template <int N, class Tw = TableTwiddles<>>
void cxTwiddleVec(const double* re, const double* im, double* toRe, double* toIm, const double* twRe,
                  const double* twIm, ptrdiff_t m) {
    if constexpr (N <= kCxTwiddleToRadix) {
        if (toRe != re) return cxTwiddleRows<N, Tw>(re, im, toRe, toIm, twRe, twIm, m);
    }
    cxTwiddleRows<N, Tw>(toRe, toIm, toRe, toIm, twRe, twIm, m);
}

// The last two passes of a transform of 2*N*32 values, the radix-N pass
// over each half's 32 columns and the radix-2 pass that joins the halves
// (twiddles w^u of the 2*N*32-th root at halfTwRe/Im[u]), as one: the
// second half's outputs are joined with the first half's, just stored and
// still in L1, as they come, instead of being stored and read back by a
// pass of their own.
template <int N>
void cxTwiddleHalvesVec(double* re, double* im, const double* twRe, const double* twIm, const double* halfTwRe,
                        const double* halfTwIm) {
    using L = Lanes<VWide>;
    constexpr ptrdiff_t m = 32, half = N * m;
    const TableTwiddles<Fixed<m>> tw{twRe, twIm, {}};
    for (ptrdiff_t k = 0; k < m; k += L::width) {
        cxTwiddleColumns<N, VWide>(re, im, tw, k, Fixed<m>{}, k, re, im);
        cxTwiddleColumns<N, VWide>(re + half, im + half, tw, k, Fixed<m>{}, k,
                                [&](int j, const VWide& r, const VWide& i) VARNEL_INLINE {
                                    const ptrdiff_t u = j * m + k;
                                    const VWide wr = L::load(halfTwRe + u), wi = L::load(halfTwIm + u);
                                    const VWide br = r * wr - i * wi, bi = r * wi + i * wr;
                                    const VWide ar = L::load(re + u), ai = L::load(im + u);
                                    L::store(re + u, ar + br);
                                    L::store(im + u, ai + bi);
                                    L::store(re + half + u, ar - br);
                                    L::store(im + half + u, ai - bi);
                                });
    }
}

template <int N, class V, bool Contiguous>
VARNEL_FORCE_INLINE void cxLeafBlock(const double* inRe, const double* inIm, double* outRe, double* outIm, ptrdiff_t is,
                               ptrdiff_t count, ptrdiff_t j0) {
    using L = Lanes<V>;
    V bufRe[N], bufIm[N];
    vectorCxDft<N, V>(
        [&](int t, V& r, V& i) VARNEL_INLINE {
            const ptrdiff_t at = (j0 + t * count) * is;
            r = Contiguous ? L::load(inRe + at) : L::gather(inRe + at, is);
            i = Contiguous ? L::load(inIm + at) : L::gather(inIm + at, is);
        },
        [&](int k, const V& r, const V& i) VARNEL_INLINE {
            bufRe[k] = r;
            bufIm[k] = i;
        });
    storeTransposed<N>(bufRe, outRe, j0);
    storeTransposed<N>(bufIm, outIm, j0);
}

// The last transform of an odd count, in both lanes of a pair: so it runs
// the same vector operations as the others, which the kernel sets compile
// alike (scalar code the compiler may contract into FMAs differently for
// each instruction set, and the two sets differed in the last bits).
template <int N>
VARNEL_FORCE_INLINE void cxLeafAlone(const double* inRe, const double* inIm, double* outRe, double* outIm,
                                     ptrdiff_t is, ptrdiff_t count) {
    const ptrdiff_t j = count - 1;
    V2 bufRe[N], bufIm[N];
    vectorCxDft<N, V2>(
        [&](int t, V2& r, V2& i) VARNEL_INLINE {
            r = Lanes<V2>::gather(inRe + (j + t * count) * is, 0);
            i = Lanes<V2>::gather(inIm + (j + t * count) * is, 0);
        },
        [&](int k, const V2& r, const V2& i) VARNEL_INLINE {
            bufRe[k] = r;
            bufIm[k] = i;
        });
    for (int k = 0; k < N; ++k) outRe[j * N + k] = bufRe[k][0], outIm[j * N + k] = bufIm[k][0];
}

// Blocks of four transforms, then one of two and one alone for the rest:
// with an odd count (3, 7 or 9 leaves of 32 points, as in 96, 224 and 288)
// the leaves would otherwise fall back to the scalar kernels, and those
// transforms took a third to a half longer than FFTW's.
template <int N, bool Contiguous>
VARNEL_FORCE_INLINE void cxLeaves(const double* inRe, const double* inIm, double* outRe, double* outIm, ptrdiff_t is,
                                  ptrdiff_t count) {
    const ptrdiff_t whole = count - count % 4;
    for (ptrdiff_t j = 0; j < whole; j += 4) cxLeafBlock<N, V4, Contiguous>(inRe, inIm, outRe, outIm, is, count, j);
    if (count % 4 >= 2) cxLeafBlock<N, V2, Contiguous>(inRe, inIm, outRe, outIm, is, count, whole);
    if (count % 2) cxLeafAlone<N>(inRe, inIm, outRe, outIm, is, count);
}

template <int N>
void cxLeafVec(const double* inRe, const double* inIm, double* outRe, double* outIm, ptrdiff_t is, ptrdiff_t count) {
    if (is == 1)
        cxLeaves<N, true>(inRe, inIm, outRe, outIm, 1, count);
    else
        cxLeaves<N, false>(inRe, inIm, outRe, outIm, is, count);
}

template <int N, class V, bool Contiguous>
VARNEL_FORCE_INLINE void reLeafBlock(const double* in, double* out, ptrdiff_t is, ptrdiff_t count, ptrdiff_t j0) {
    V buf[N];
    generated::Dft<N>::template re<V>(
        [&](int t, V& x) VARNEL_INLINE {
            const ptrdiff_t at = (j0 + t * count) * is;
            x = Contiguous ? Lanes<V>::load(in + at) : Lanes<V>::gather(in + at, is);
        },
        [&](int r, const V& v) VARNEL_INLINE { buf[r] = v; });
    storeTransposed<N>(buf, out, j0);
}

// As for the complex leaves.
template <int N>
VARNEL_FORCE_INLINE void reLeafAlone(const double* in, double* out, ptrdiff_t is, ptrdiff_t count) {
    const ptrdiff_t j = count - 1;
    V2 buf[N];
    generated::Dft<N>::template re<V2>(
        [&](int t, V2& x) VARNEL_INLINE { x = Lanes<V2>::gather(in + (j + t * count) * is, 0); },
        [&](int r, const V2& v) VARNEL_INLINE { buf[r] = v; });
    for (int k = 0; k < N; ++k) out[j * N + k] = buf[k][0];
}

template <int N, bool Contiguous>
VARNEL_FORCE_INLINE void reLeaves(const double* in, double* out, ptrdiff_t is, ptrdiff_t count) {
    const ptrdiff_t whole = count - count % 4;
    for (ptrdiff_t j = 0; j < whole; j += 4) reLeafBlock<N, V4, Contiguous>(in, out, is, count, j);
    if (count % 4 >= 2) reLeafBlock<N, V2, Contiguous>(in, out, is, count, whole);
    if (count % 2) reLeafAlone<N>(in, out, is, count);
}

template <int N>
void reLeafVec(const double* in, double* out, ptrdiff_t is, ptrdiff_t count) {
    if (is == 1)
        reLeaves<N, true>(in, out, 1, count);
    else
        reLeaves<N, false>(in, out, is, count);
}

// The leaf passes of `siblings` sub-transforms whose inputs interleave:
// sub-transform s has `count` leaf transforms, its transform j reads
// in[(j + t*count) * siblings + s] and writes out[s * block + j*N + k].
// Called for all of them at once, the lanes run over neighbouring values
// of q = j*siblings + s, so every load is a contiguous vector where the
// leaf pass of one sub-transform would gather each lane on its own; each
// lane then writes its own row. siblings*count is a multiple of
// kSiblingLeafMultiple.
struct SiblingVectors {
    ptrdiff_t siblings, count, block, rowLength;

    // body.template operator()<V>(q0, offsets) for every vector V of lanes
    // q0, q0+1, ..., lane l's row starting at offsets[l]: four lanes, and a
    // pair for the last two leaves of a count that is no multiple of 4.
    // When the lanes share j, the vectors of four siblings one j after the
    // other, so that their rows are written in order; else in the order of
    // q, each lane's sibling and j stepped on by 4 without a division.
    template <class Body>
    VARNEL_FORCE_INLINE void forEachVector(Body&& body) const {
        ptrdiff_t offsets[4];
        if (siblings % 4 == 0) {
            for (ptrdiff_t s0 = 0; s0 < siblings; s0 += 4) {
                for (ptrdiff_t j = 0; j < count; ++j) {
                    for (int l = 0; l < 4; ++l) offsets[l] = (s0 + l) * block + j * rowLength;
                    body.template operator()<V4>(j * siblings + s0, offsets);
                }
            }
            return;
        }
        ptrdiff_t s[4], j[4];
        for (int l = 0; l < 4; ++l) s[l] = l % siblings, j[l] = l / siblings;
        const ptrdiff_t total = siblings * count;
        ptrdiff_t q0 = 0;
        for (; q0 + 4 <= total; q0 += 4) {
            for (int l = 0; l < 4; ++l) offsets[l] = s[l] * block + j[l] * rowLength;
            body.template operator()<V4>(q0, offsets);
            for (int l = 0; l < 4; ++l) {
                for (s[l] += 4; s[l] >= siblings; s[l] -= siblings) ++j[l];
            }
        }
        if (q0 < total) {
            for (int l = 0; l < 2; ++l) offsets[l] = s[l] * block + j[l] * rowLength;
            body.template operator()<V2>(q0, offsets);
        }
    }
};

// Rows a multiple of kSetPeriod apart (the 32 rows of 32*32*32 lie 8 KB
// apart) put all of a vector's loads into one L1 set: every one misses, and
// a line's other half is gone before its vector comes. The sibling passes
// then copy whole lines, eight siblings at one j, into a buffer first (row t
// of plane p at (p*N + t)*8) and run both vectors from there. The copy is
// unrolled so that each row's load is an instruction of its own, whose
// stride the processor's prefetcher follows from one j to the next: with a
// loop over the rows the real transforms from 2^19 on ran 7-16% slower than
// without the buffer. Complex 65536 to 2^18 took 8-12% less time, real
// 65536 and 2^17 8-13% less; the longer ones are level.
constexpr bool readsWholeLines(ptrdiff_t siblings, ptrdiff_t count) {
    return siblings * count % kSetPeriod == 0 && siblings % 8 == 0;
}

// body(line, rows) for each vector, line[(p*N + t)*8] holding its row t of
// plane p and lane l's output row starting at rows[l].
//
// The eight siblings of a line are those whose values share a cache line of
// the first plane: an input 32 bytes off a line would otherwise have every
// copy touch two lines, 8-10% of the time of 16384 points. Sibling q counts
// along each row t of the input (q = j*siblings + s). A row's length is a
// multiple of a line, so every row's lines start at the same q = lead, and
// the siblings before lead complete the row's last line from its start.
template <int N, int Planes, class Body>
VARNEL_FORCE_INLINE void siblingLines(const double* const (&planes)[Planes], ptrdiff_t siblings, ptrdiff_t count,
                                      ptrdiff_t block, Body&& body) {
    const ptrdiff_t total = siblings * count;
    const ptrdiff_t lead = (-reinterpret_cast<std::uintptr_t>(planes[0]) / sizeof(double)) % 8;
    alignas(64) double lines[Planes * N * 8];
    ptrdiff_t rows[2][4];
    for (ptrdiff_t s0 = 0; s0 < siblings; s0 += 8) {
        for (ptrdiff_t j = 0; j < count; ++j) {
            const ptrdiff_t q0 = j * siblings + s0 + lead, tail = std::min<ptrdiff_t>(8, total - q0);
#pragma GCC unroll 2
            for (int p = 0; p < Planes; ++p) {
                if (tail == 8) {
#pragma GCC unroll 32
                    for (int t = 0; t < N; ++t)
                        __builtin_memcpy(lines + (p * N + t) * 8, planes[p] + t * total + q0, 8 * sizeof(double));
                    continue;
                }
                for (int t = 0; t < N; ++t) {
                    std::copy_n(planes[p] + t * total + q0, tail, lines + (p * N + t) * 8);
                    std::copy_n(planes[p] + t * total, 8 - tail, lines + (p * N + t) * 8 + tail);
                }
            }
            for (int l = 0; l < 8; ++l) {
                const ptrdiff_t s = s0 + lead + l, wraps = s >= siblings, row = j + wraps == count ? 0 : j + wraps;
                rows[l / 4][l % 4] = (s - wraps * siblings) * block + row * N;
            }
            body(lines, rows[0]);
            body(lines + 4, rows[1]);
        }
    }
}

template <int N>
void cxSiblingLeafVec(const double* inRe, const double* inIm, double* outRe, double* outIm, ptrdiff_t siblings,
                      ptrdiff_t count, ptrdiff_t block) {
    const ptrdiff_t total = siblings * count;
    // The leaf DFTs of one vector of siblings whose row t is at re/im + t*step.
    const auto leaves = [&]<class V>(const double* re, const double* im, ptrdiff_t step,
                                     const ptrdiff_t (&rows)[4]) VARNEL_INLINE {
        using L = Lanes<V>;
        V bufRe[N], bufIm[N];
        vectorCxDft<N, V>(
            [&](int t, V& r, V& i) VARNEL_INLINE {
                r = L::load(re + t * step);
                i = L::load(im + t * step);
            },
            [&](int k, const V& r, const V& i) VARNEL_INLINE {
                bufRe[k] = r;
                bufIm[k] = i;
            });
        storeRows<N>(bufRe, outRe, rows);
        storeRows<N>(bufIm, outIm, rows);
    };
    if (readsWholeLines(siblings, count)) {
        const double* const planes[2] = {inRe, inIm};
        siblingLines<N>(planes, siblings, count, block,
                        [&](const double* line, const ptrdiff_t (&rows)[4])
                            VARNEL_INLINE { leaves.template operator()<V4>(line, line + N * 8, 8, rows); });
        return;
    }
    const SiblingVectors where{siblings, count, block, N};
    where.forEachVector([&]<class V>(ptrdiff_t q0, const ptrdiff_t (&rows)[4]) VARNEL_INLINE {
        leaves.template operator()<V>(inRe + q0, inIm + q0, total, rows);
    });
}

template <int N>
void reSiblingLeafVec(const double* in, double* out, ptrdiff_t siblings, ptrdiff_t count, ptrdiff_t block) {
    const ptrdiff_t total = siblings * count;
    // The leaf DFTs of one vector of siblings whose row t is at x + t*step.
    const auto leaves = [&]<class V>(const double* x, ptrdiff_t step, const ptrdiff_t (&rows)[4]) VARNEL_INLINE {
        V buf[N];
        generated::Dft<N>::template re<V>(
            [&](int t, V& v) VARNEL_INLINE { v = Lanes<V>::load(x + t * step); },
            [&](int r, const V& v) VARNEL_INLINE { buf[r] = v; });
        storeRows<N>(buf, out, rows);
    };
    if (readsWholeLines(siblings, count)) {
        const double* const planes[1] = {in};
        siblingLines<N>(planes, siblings, count, block,
                        [&](const double* line, const ptrdiff_t (&rows)[4])
                            VARNEL_INLINE { leaves.template operator()<V4>(line, 8, rows); });
        return;
    }
    const SiblingVectors where{siblings, count, block, N};
    where.forEachVector([&]<class V>(ptrdiff_t q0, const ptrdiff_t (&rows)[4]) VARNEL_INLINE {
        leaves.template operator()<V>(in + q0, total, rows);
    });
}

// One real pair step on columns k .. k+width-1 (all below m/2): bin k of
// every sub-spectrum, held in its re slot k and im slot m-k, feeds bins
// k + j'm of the combined spectrum. Bins below half the combined length
// are stored directly, the others as the conjugates of their mirror bins,
// and which case applies depends only on j'.
//
// With EndsAtMiddle the last lane is column m/2, whose values are real: its
// imaginary input is forced to zero. For even N the general stores then put
// every output of that column in the right slot too (the two stores that
// meet in one slot carry a value and its conjugate's equal part).
//
// Row j's re slot k is up + j*ds + c and its im slot m-k is down + j*ds - c:
// up = data, down = data + m, ds = m and c = k in the data itself, other
// values in a buffer holding a block of columns.
template <int N, class T, bool EndsAtMiddle = false, class Tw, class Stride>
VARNEL_FORCE_INLINE void rePairColumns(double* up, double* down, Stride ds, ptrdiff_t c, const Tw& tw,
                                       ptrdiff_t k) {
    using L = Lanes<T>;
    static_assert(!EndsAtMiddle || N % 2 == 0, "the middle-column merge needs an even radix");
    vectorCxDft<N, T>(
        [&](int j, T& r, T& i) VARNEL_INLINE {
            const T xr = L::load(up + j * ds + c);
            T xi = L::loadDown(down + j * ds - c);
            if constexpr (EndsAtMiddle) xi = L::zeroLast(xi);
            if (j == 0) {
                r = xr;
                i = xi;
                return;
            }
            T wr, wi;
            tw.get(j, k, wr, wi);
            r = xr * wr - xi * wi;
            i = xr * wi + xi * wr;
        },
        [&](int j, const T& r, const T& i) VARNEL_INLINE {
            if (2 * j < N) {
                L::store(up + j * ds + c, r);
                L::storeDown(down + (N - 1 - j) * ds - c, i);
            } else {
                L::storeDown(down + (N - 1 - j) * ds - c, r);
                L::store(up + j * ds + c, -i);
            }
        });
}

// Column m/2 of every sub-spectrum is real; only the bins up to half the
// combined length are stored, since the rest are their conjugates.
template <int N, class Tw>
VARNEL_FORCE_INLINE void reMiddleColumn(double* data, const Tw& tw, ptrdiff_t m) {
    const ptrdiff_t k = m / 2;
    generated::Dft<N>::template cx<double>(
        [&](int j, double& r, double& i) VARNEL_INLINE {
            const double x = data[j * m + k];
            if (j == 0) {
                r = x;
                i = 0.0;
                return;
            }
            double wr, wi;
            tw.get(j, k, wr, wi);
            r = x * wr;
            i = x * wi;
        },
        [&](int j, double r, double i) VARNEL_INLINE {
            if (2 * j + 1 < N) {
                data[j * m + k] = r;
                data[(N - j) * m - k] = i;
            } else if (2 * j + 1 == N) {
                data[j * m + k] = r;
            }
        });
}

template <int N, class Tw = TableTwiddles<>>
void reTwiddleVec(double* data, const double* twRe, const double* twIm, ptrdiff_t m) {
    const Tw tw = Tw::make(twRe, twIm, m);
    generated::Dft<N>::template re<double>([&](int t, double& x) VARNEL_INLINE { x = data[t * m]; },
                                           [&](int r, double v) VARNEL_INLINE { data[r * m] = v; });
    const ptrdiff_t lastPair = (m - 1) / 2;
    ptrdiff_t k = 1;
    if (buffersRows<N>(m, 128)) {
        // As in the complex pass, blocks of columns go through a buffer;
        // row j holds columns k0 .. k0+B-1, then m-k0-B+1 .. m-k0.
        constexpr ptrdiff_t B = 16, W = 2 * B;
        alignas(64) double buffer[N * W];
        for (; k + B <= m / 2; k += B) {
            for (int j = 0; j < N; ++j) {
                __builtin_memcpy(buffer + j * W, data + j * m + k, B * sizeof(double));
                __builtin_memcpy(buffer + j * W + B, data + j * m + m - k - B + 1, B * sizeof(double));
            }
            for (ptrdiff_t c = 0; c < B; c += Lanes<VWide>::width)
                rePairColumns<N, VWide>(buffer, buffer + W - 1, W, c, tw, k + c);
            for (int j = 0; j < N; ++j) {
                __builtin_memcpy(data + j * m + k, buffer + j * W, B * sizeof(double));
                __builtin_memcpy(data + j * m + m - k - B + 1, buffer + j * W + B, B * sizeof(double));
            }
        }
    }
    if constexpr (N % 2 == 0 && std::is_same_v<Tw, TableTwiddles<>>) {
        if (m == 32) {  // as in the complex pass
            // Eight lanes only with many rows: at 64 to 256 points, whose
            // leaves have just stored the rows four lanes at a time, a load
            // of eight could not be forwarded from those stores, and 128
            // took half as long again.
            using V = std::conditional_t<N >= 16, VWide, V4>;
            const TableTwiddles<Fixed<32>> fixed{twRe, twIm, {}};
            for (; k + Lanes<V>::width < 16; k += Lanes<V>::width)
                rePairColumns<N, V>(data, data + 32, Fixed<32>{}, k, fixed, k);
            rePairColumns<N, V, true>(data, data + 32, Fixed<32>{}, k, fixed, k);
            return;
        }
    }
    if constexpr (N % 2 == 0) {
        if (m % (2 * Lanes<VWide>::width) == 0) {  // columns 1 .. m/2 split into whole vectors
            for (; k + Lanes<VWide>::width < m / 2; k += Lanes<VWide>::width)
                rePairColumns<N, VWide>(data, data + m, m, k, tw, k);
            rePairColumns<N, VWide, true>(data, data + m, m, k, tw, k);
            return;
        }
        if (m % 8 == 0) {
            for (; k + 4 < m / 2; k += 4) rePairColumns<N, V4>(data, data + m, m, k, tw, k);
            rePairColumns<N, V4, true>(data, data + m, m, k, tw, k);
            return;
        }
    }
    for (; k + 3 <= lastPair; k += 4) rePairColumns<N, V4>(data, data + m, m, k, tw, k);
    // The last one to three pair columns, and the middle one of an even m,
    // two to a vector where they can: at m = 100 (1000, 2000, 10^4 points)
    // the 49th pair column and the middle one had been two scalar DFTs.
    if (k < lastPair) {
        rePairColumns<N, V2>(data, data + m, m, k, tw, k);
        k += 2;
    }
    if constexpr (N % 2 == 0) {
        if (k == lastPair && m % 2 == 0) {
            rePairColumns<N, V2, true>(data, data + m, m, k, tw, k);
            return;
        }
    }
    if (k == lastPair) rePairColumns<N, double>(data, data + m, m, k, tw, k);
    if (m % 2 == 0) reMiddleColumn<N>(data, tw, m);
}


// One complex DFT of N = 4Q points at unit strides, vectorised inside the
// transform: with t = 4a + b the four lanes b run the Q-point DFTs over a
// side by side, the twiddles w_N^(b c) are applied, and after 4x4
// transposes the 4-point DFTs over b run lane-wise on four bins c at once,
// whose outputs c + Qd are neighbours in memory.
template <int N>
struct SingleTwiddles {
    V4 re[N / 4], im[N / 4];
    // Lane b of re/im[c] is w_N^(b*c).
    SingleTwiddles() {
        double lanesRe[N / 4][4], lanesIm[N / 4][4];
        for (int b = 0; b < 4; ++b) unitRoots(b, N, 0, N / 4, &lanesRe[0][b], &lanesIm[0][b], 4);
        __builtin_memcpy(re, lanesRe, sizeof re);
        __builtin_memcpy(im, lanesIm, sizeof im);
    }
};

template <int N>
void cxSingleVec(const double* inRe, const double* inIm, double* outRe, double* outIm) {
    constexpr int Q = N / 4;
    static_assert(N % 16 == 0, "needs whole 4x4 blocks of bins");
    static const SingleTwiddles<N> tw;
    V4 yRe[Q], yIm[Q];
    generated::Dft<Q>::template cx<V4>(
        [&](int a, V4& r, V4& i) VARNEL_INLINE {
            r = Lanes<V4>::load(inRe + 4 * a);
            i = Lanes<V4>::load(inIm + 4 * a);
        },
        [&](int c, const V4& r, const V4& i) VARNEL_INLINE {
            yRe[c] = r * tw.re[c] - i * tw.im[c];
            yIm[c] = r * tw.im[c] + i * tw.re[c];
        });
    for (int c = 0; c < Q; c += 4) {
        transpose4(yRe[c], yRe[c + 1], yRe[c + 2], yRe[c + 3]);
        transpose4(yIm[c], yIm[c + 1], yIm[c + 2], yIm[c + 3]);
        generated::Dft<4>::template cx<V4>(
            [&](int b, V4& r, V4& i) VARNEL_INLINE {
                r = yRe[c + b];
                i = yIm[c + b];
            },
            [&](int d, const V4& r, const V4& i) VARNEL_INLINE {
                Lanes<V4>::store(outRe + Q * d + c, r);
                Lanes<V4>::store(outIm + Q * d + c, i);
            });
    }
}

// The first stage's copy of its decimated sub-sequences (gatherDecimated in
// fft/first_stage_gather.h) at unit input stride, for f = 2 or a multiple
// of 4 and m a multiple of 8 (gathersInVectors): four input rows of f
// values at a time are transposed in 4x4 squares, and a tile of eight rows
// fills one whole cache line of four blocks, so that a vector moves four
// samples where the scalar copy moves one.
void gatherVec(const double* in, std::int32_t f, ptrdiff_t m, std::int32_t count, double* blocks) {
    using L = Lanes<V4>;
    if (f == 2) {
        for (ptrdiff_t t = 0; t < m; t += 4) {
            const V4 a = L::load(in + 2 * t), b = L::load(in + 2 * t + 4);
            L::store(blocks + t, __builtin_shufflevector(a, b, 0, 2, 4, 6));
            L::store(blocks + m + t, __builtin_shufflevector(a, b, 1, 3, 5, 7));
        }
        return;
    }
    for (ptrdiff_t t0 = 0; t0 < m; t0 += 8) {
        for (std::int32_t j = 0; j < count; j += 4) {
            for (ptrdiff_t h = 0; h < 8; h += 4) {
                const double* row = in + f * (t0 + h) + j;
                V4 a = L::load(row), b = L::load(row + f), c = L::load(row + 2 * f), d = L::load(row + 3 * f);
                transpose4(a, b, c, d);
                double* block = blocks + j * m + t0 + h;
                L::store(block, a);
                L::store(block + m, b);
                L::store(block + 2 * m, c);
                L::store(block + 3 * m, d);
            }
        }
    }
}

// The real inverse transform's pairing (scaledHartleyPairs in re_fft.cpp):
// (a, b) -> (a - b, a + b) on the pairs k, n-k, each value first scaled by
// q, four pairs at a time from both ends while the two blocks are apart.
void hartleyFoldVec(double* data, std::int32_t n, double q) {
    using L = Lanes<V4>;
    data[0] *= q;
    if (n % 2 == 0) data[n / 2] *= q;
    const V4 scale = {q, q, q, q};
    ptrdiff_t k = 1;
    for (; k + 3 < n - k - 3; k += 4) {
        const V4 a = L::load(data + k) * scale, b = L::loadDown(data + n - k) * scale;
        L::store(data + k, a - b);
        L::storeDown(data + n - k, a + b);
    }
    for (; k < n - k; ++k) {
        const double a = data[k] * q, b = data[n - k] * q;
        data[k] = a - b;
        data[n - k] = a + b;
    }
}

}  // namespace
}  // namespace varnel::fft
