#include "adaptive/reassignment.h"

#include <immintrin.h>

#include <algorithm>
#include <cmath>

#include "frame/numbers.h"
#include "frame/vector_paths.h"

namespace varnel::adaptive {

void reassignWindows(const double* w, std::int32_t length, std::int32_t binCount, double* h, double* th,
                     double* dh) noexcept {
    const std::ptrdiff_t last = length - 1;
    const double norm = std::sqrt(static_cast<double>(binCount));
    const double centre = static_cast<double>(last) / 2.0;
    for (std::ptrdiff_t i = 0; i <= last; ++i) {
        h[i] = w[i] / norm;
        th[i] = (static_cast<double>(i) - centre) * h[i];
    }
    const double d = (h[last] - h[0]) / static_cast<double>(last);
    dh[0] = (d + h[1] + h[last]) / 2.0;
    for (std::ptrdiff_t i = 1; i < last; ++i) dh[i] = (h[i + 1] - h[i - 1]) / 2.0;
    dh[last] = (d - h[last - 1] - h[0]) / 2.0;
}

namespace {

using std::ptrdiff_t;

// What every bin of a frame shares, as doubles. Dividing by a power of two
// and multiplying by its inverse round the same real number, so such time
// steps (the common ones) save a division per bin.
struct FrameConstants {
    double timeStep, inverseStep, binsPerRadian, bins, inverseBins, half, frames, threshold, frame, rowLength;
    bool exactInverse;

    FrameConstants(const CellGrid& grid, std::int64_t m, bool real)
        : timeStep(grid.timeStep),
          inverseStep(1.0 / grid.timeStep),
          binsPerRadian(grid.binCount / kTwoPi),
          bins(grid.binCount),
          inverseBins(1.0 / grid.binCount),
          half(grid.binCount / 2),
          frames(static_cast<double>(grid.frameCount)),
          threshold(grid.threshold),
          frame(static_cast<double>(m)),
          rowLength(real ? grid.binCount / 2 : grid.binCount),
          exactInverse(isPowerOfTwo(grid.timeStep)) {}

    double perStep(double samples) const { return exactInverse ? samples * inverseStep : samples / timeStep; }
};

// One bin from the three spectra's real and imaginary parts; returns its
// index. The residue (k - binShift) mod K is kd - K floor(kd / K): exact
// for every finite kd, since K is a power of two.
template <bool Real>
[[gnu::always_inline]] inline std::int64_t cell(double hr, double hi, double tr, double ti, double dr, double di,
                                                std::int64_t bin, const FrameConstants& c, double* energy,
                                                std::int64_t* index) {
    const double p = hr * hr + hi * hi;
    const double frameShift = std::floor(c.perStep((tr * hr + ti * hi) / p) + 0.5);
    const double binShift = std::floor((di * hr - dr * hi) / p * c.binsPerRadian + 0.5);
    const bool small = Real ? p <= c.threshold : p < c.threshold;
    const auto rowLength = static_cast<std::int64_t>(c.rowLength);
    std::int64_t target = static_cast<std::int64_t>(c.frame) * rowLength + bin;
    double e = p;
    if (!small && std::isfinite(frameShift) && std::isfinite(binShift)) {
        const double row = c.frame + frameShift;
        const double moved = static_cast<double>(bin) - binShift;
        double wrapped = moved - c.bins * std::floor(moved * c.inverseBins);
        if (Real && wrapped > c.half) wrapped = c.bins - wrapped;
        if (row >= 0.0 && row < c.frames && (!Real || wrapped < c.half)) {
            target = static_cast<std::int64_t>(row) * rowLength + static_cast<std::int64_t>(wrapped);
        } else {
            e = 0.0;
        }
    }
    *energy = e;
    *index = target;
    return target;
}

std::int64_t baselineReal(const double* sh, const double* sth, const double* sdh, const CellGrid& grid, std::int64_t m,
                          const CellTargets& out) {
    const FrameConstants c(grid, m, true);
    const ptrdiff_t k = grid.binCount;
    if (k < 2) return -1;  // no bins below K/2
    std::int64_t last = cell<true>(sh[0], 0.0, sth[0], 0.0, sdh[0], 0.0, 0, c, out.energy, out.index);
    for (ptrdiff_t j = 1; j < k / 2; ++j) {
        last = std::max(last, cell<true>(sh[j], sh[k - j], sth[j], sth[k - j], sdh[j], sdh[k - j], j, c, out.energy + j,
                                         out.index + j));
    }
    return last;
}

std::int64_t baselineComplex(const double* zh, const double* zth, const double* zdh, const CellGrid& grid,
                             std::int64_t m, const CellTargets& out) {
    const FrameConstants c(grid, m, false);
    std::int64_t last = -1;
    for (ptrdiff_t j = 0; j < grid.binCount; ++j) {
        last = std::max(last, cell<false>(zh[2 * j], zh[2 * j + 1], zth[2 * j], zth[2 * j + 1], zdh[2 * j],
                                          zdh[2 * j + 1], j, c, out.energy + j, out.index + j));
    }
    return last;
}

// The AVX2 build: four bins at a time with the same operations, the
// branches of cell() as masks. The compiler does not vectorise cell()
// itself (floor and the selects keep it scalar), hence the intrinsics.
// Indices are formed in doubles, exact below 2^52, and turned into
// integers by adding 2^52, whose last 52 bits are then the index.
#define VARNEL_AVX2 [[gnu::target("avx2"), gnu::always_inline]] inline

constexpr double kIndexLimit = 0x1p52;

struct Lanes {
    bool exactInverse;
    __m256d timeStep, inverseStep, binsPerRadian, bins, inverseBins, half, frames, threshold, frame, rowLength, zero,
        magic, last;

    VARNEL_AVX2 explicit Lanes(const FrameConstants& c)
        : exactInverse(c.exactInverse),
          timeStep(_mm256_set1_pd(c.timeStep)),
          inverseStep(_mm256_set1_pd(c.inverseStep)),
          binsPerRadian(_mm256_set1_pd(c.binsPerRadian)),
          bins(_mm256_set1_pd(c.bins)),
          inverseBins(_mm256_set1_pd(c.inverseBins)),
          half(_mm256_set1_pd(c.half)),
          frames(_mm256_set1_pd(c.frames)),
          threshold(_mm256_set1_pd(c.threshold)),
          frame(_mm256_set1_pd(c.frame)),
          rowLength(_mm256_set1_pd(c.rowLength)),
          zero(_mm256_setzero_pd()),
          magic(_mm256_set1_pd(kIndexLimit)),
          last(_mm256_set1_pd(-1.0)) {}

    VARNEL_AVX2 __m256d perStep(__m256d samples) const {
        return exactInverse ? _mm256_mul_pd(samples, inverseStep) : _mm256_div_pd(samples, timeStep);
    }
    // The largest index collected so far.
    VARNEL_AVX2 std::int64_t lastIndex() const {
        const __m128d pair = _mm_max_pd(_mm256_castpd256_pd128(last), _mm256_extractf128_pd(last, 1));
        return static_cast<std::int64_t>(_mm_cvtsd_f64(_mm_max_sd(pair, _mm_unpackhi_pd(pair, pair))));
    }
};

template <bool Real>
VARNEL_AVX2 void cells4(__m256d hr, __m256d hi, __m256d tr, __m256d ti, __m256d dr, __m256d di, __m256d bin, Lanes& c,
                        double* energy, std::int64_t* index) {
    const __m256d half = _mm256_set1_pd(0.5);
    const __m256d p = _mm256_add_pd(_mm256_mul_pd(hr, hr), _mm256_mul_pd(hi, hi));
    const __m256d timeNum = _mm256_add_pd(_mm256_mul_pd(tr, hr), _mm256_mul_pd(ti, hi));
    const __m256d freqNum = _mm256_sub_pd(_mm256_mul_pd(di, hr), _mm256_mul_pd(dr, hi));
    const __m256d frameShift = _mm256_floor_pd(_mm256_add_pd(c.perStep(_mm256_div_pd(timeNum, p)), half));
    const __m256d binShift =
        _mm256_floor_pd(_mm256_add_pd(_mm256_mul_pd(_mm256_div_pd(freqNum, p), c.binsPerRadian), half));
    const __m256d small = _mm256_cmp_pd(p, c.threshold, Real ? _CMP_LE_OQ : _CMP_LT_OQ);
    const __m256d row = _mm256_add_pd(c.frame, frameShift);
    const __m256d moved = _mm256_sub_pd(bin, binShift);
    // x - x is 0 for a finite x and NaN otherwise; m + frameShift and
    // k - binShift are finite exactly when the shifts are.
    const __m256d finite =
        _mm256_cmp_pd(_mm256_add_pd(_mm256_sub_pd(row, row), _mm256_sub_pd(moved, moved)), c.zero, _CMP_EQ_OQ);
    const __m256d moves = _mm256_andnot_pd(small, finite);
    __m256d wrapped = _mm256_sub_pd(moved, _mm256_mul_pd(c.bins, _mm256_floor_pd(_mm256_mul_pd(moved, c.inverseBins))));
    __m256d inside = _mm256_and_pd(_mm256_cmp_pd(row, c.zero, _CMP_GE_OQ), _mm256_cmp_pd(row, c.frames, _CMP_LT_OQ));
    if constexpr (Real) {
        // Bins above K/2 fold to K minus them, the smaller of the two.
        wrapped = _mm256_min_pd(wrapped, _mm256_sub_pd(c.bins, wrapped));
        inside = _mm256_and_pd(inside, _mm256_cmp_pd(wrapped, c.half, _CMP_LT_OQ));
    }
    const __m256d lands = _mm256_and_pd(moves, inside);
    const __m256d dropped = _mm256_andnot_pd(inside, moves);
    const __m256d own = _mm256_add_pd(_mm256_mul_pd(c.frame, c.rowLength), bin);
    const __m256d target = _mm256_add_pd(_mm256_mul_pd(row, c.rowLength), wrapped);
    const __m256d chosen = _mm256_blendv_pd(own, target, lands);
    c.last = _mm256_max_pd(c.last, chosen);
    _mm256_storeu_pd(energy, _mm256_andnot_pd(dropped, p));
    const __m256i bits =
        _mm256_sub_epi64(_mm256_castpd_si256(_mm256_add_pd(chosen, c.magic)), _mm256_castpd_si256(c.magic));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(index), bits);
}

// s[0], s[-1], s[-2], s[-3]: the Hc imaginary parts of four ascending bins.
VARNEL_AVX2 __m256d mirrored(const double* s) { return _mm256_permute4x64_pd(_mm256_loadu_pd(s - 3), 0x1B); }

// Four Cx bins as real parts and imaginary parts in bin order.
VARNEL_AVX2 void split(const double* z, __m256d& re, __m256d& im) {
    const __m256d a = _mm256_loadu_pd(z), b = _mm256_loadu_pd(z + 4);
    re = _mm256_permute4x64_pd(_mm256_unpacklo_pd(a, b), 0xD8);
    im = _mm256_permute4x64_pd(_mm256_unpackhi_pd(a, b), 0xD8);
}

bool indicesFitDoubles(const CellGrid& grid, bool real) {
    const std::int64_t rowLength = real ? grid.binCount / 2 : grid.binCount;
    return grid.frameCount <= static_cast<std::int64_t>(kIndexLimit) / std::max<std::int64_t>(rowLength, 1);
}

[[gnu::target("avx2")]] std::int64_t avx2Real(const double* sh, const double* sth, const double* sdh,
                                              const CellGrid& grid, std::int64_t m, const CellTargets& out) {
    if (!indicesFitDoubles(grid, true)) return baselineReal(sh, sth, sdh, grid, m, out);
    const FrameConstants c(grid, m, true);
    const ptrdiff_t k = grid.binCount;
    if (k < 2) return -1;
    std::int64_t last = cell<true>(sh[0], 0.0, sth[0], 0.0, sdh[0], 0.0, 0, c, out.energy, out.index);
    Lanes lanes(c);
    const __m256d step = _mm256_set1_pd(4.0);
    __m256d bin = _mm256_setr_pd(1.0, 2.0, 3.0, 4.0);
    ptrdiff_t j = 1;
    for (; j + 4 <= k / 2; j += 4, bin = _mm256_add_pd(bin, step)) {
        cells4<true>(_mm256_loadu_pd(sh + j), mirrored(sh + k - j), _mm256_loadu_pd(sth + j), mirrored(sth + k - j),
                     _mm256_loadu_pd(sdh + j), mirrored(sdh + k - j), bin, lanes, out.energy + j, out.index + j);
    }
    for (; j < k / 2; ++j) {
        last = std::max(last, cell<true>(sh[j], sh[k - j], sth[j], sth[k - j], sdh[j], sdh[k - j], j, c, out.energy + j,
                                         out.index + j));
    }
    return std::max(last, lanes.lastIndex());
}

[[gnu::target("avx2")]] std::int64_t avx2Complex(const double* zh, const double* zth, const double* zdh,
                                                 const CellGrid& grid, std::int64_t m, const CellTargets& out) {
    if (!indicesFitDoubles(grid, false)) return baselineComplex(zh, zth, zdh, grid, m, out);
    const FrameConstants c(grid, m, false);
    const ptrdiff_t k = grid.binCount;
    Lanes lanes(c);
    const __m256d step = _mm256_set1_pd(4.0);
    __m256d bin = _mm256_setr_pd(0.0, 1.0, 2.0, 3.0);
    ptrdiff_t j = 0;
    for (; j + 4 <= k; j += 4, bin = _mm256_add_pd(bin, step)) {
        __m256d hr, hi, tr, ti, dr, di;
        split(zh + 2 * j, hr, hi);
        split(zth + 2 * j, tr, ti);
        split(zdh + 2 * j, dr, di);
        cells4<false>(hr, hi, tr, ti, dr, di, bin, lanes, out.energy + j, out.index + j);
    }
    std::int64_t last = -1;
    for (; j < k; ++j) {
        last = std::max(last, cell<false>(zh[2 * j], zh[2 * j + 1], zth[2 * j], zth[2 * j + 1], zdh[2 * j],
                                          zdh[2 * j + 1], j, c, out.energy + j, out.index + j));
    }
    return std::max(last, lanes.lastIndex());
}

#undef VARNEL_AVX2

constexpr CellLoops baselineLoops{baselineReal, baselineComplex};
constexpr CellLoops avx2Loops{avx2Real, avx2Complex};

}  // namespace

const CellLoops& cellLoops() noexcept { return avx2PathsEnabled() ? avx2Loops : baselineLoops; }

}  // namespace varnel::adaptive
