// The one source of complex unit roots (twiddles, prime-DFT tables and the
// fixed twiddles of the vector kernels).
#pragma once

#include <cstddef>
#include <cstdint>

namespace varnel::fft {

// (a + ib) (-i)^quadrant for quadrant 0..3: a root a quarter turn further
// round, obtained exactly by exchanging and negating.
template <class T>
void turnQuarters(T a, T b, std::int64_t quadrant, T& re, T& im) {
    switch (quadrant) {
        case 0: re = a, im = b; break;
        case 1: re = b, im = -a; break;
        case 2: re = -a, im = -b; break;
        default: re = -b, im = a; break;
    }
}

// Writes exp(-2 pi i * step * k / period) for k = first .. first+count-1 to
// re[(k-first)*stride], im[(k-first)*stride]; period >= 1.
//
// Every value is rounded once from extended precision, where its error is
// below 1e-18, so the tables are within one unit in the last place and
// correctly rounded in all but near-tie cases (about 1 in 100), and their
// error does not grow with the table's length. A sine and cosine per entry
// would cost more than the transforms that read the tables, and plans are
// rebuilt for every call, so the entries of each run of kBlock (64) are the
// product, in extended precision, of the block's first root, computed
// directly, and a root of step * i, i < kBlock, made from the root of step
// by at most 12 products. The multiples of an eighth of the period (0, ±1,
// ±i, (±1±i)/√2) are always computed directly, so they come out exact or
// correctly rounded.
void unitRoots(std::int64_t step, std::int64_t period, std::int64_t first, std::int64_t count, double* re,
               double* im, std::ptrdiff_t stride) noexcept;

// The roots exp(-2 pi i k / n) for k < count <= n/8 + 1, when n is a power
// of two from 8 to 2^16: every such root is one of 2^16's first eighth,
// which is computed once per process (by unitRoots, on first use) and read
// at the stride 2^16/n, so that plans of these lengths do not compute
// their own. False, with nothing written, for any other n or count.
bool octantRoots(std::int64_t n, std::int64_t count, double* re, double* im) noexcept;

}  // namespace varnel::fft
