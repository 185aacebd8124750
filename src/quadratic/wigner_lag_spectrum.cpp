// The transform over the lag. The lag sequence of a slice is Hermitian
// (r[-t] = conj r[t]), so its spectrum is real: folding the negative lags
// onto the circular lag axis gives an Hc array whose inverse real FFT is the
// slice's spectrum, half the work of a complex FFT. The table is lag-major,
// so a few slices are taken at once: each table row is then read in runs of
// adjacent values instead of one value per cache line.
#include <algorithm>
#include <cstddef>

#include "frame/scratch.h"
#include "quadratic/wigner_plan.h"
#include "quadratic/wigner_stages.h"
#include "varnel.h"

namespace varnel::wigner {
namespace {

constexpr std::ptrdiff_t kSliceTile = 8;

struct TileWorkspace {
    ScratchBuffer<double> scratch;
    PlanHold plan;
    double* tile;    // one lag sequence of M values per slice of the tile
    double* result;  // one slice's spectrum when it cannot go straight to out

    TileWorkspace(std::int32_t lagLength, std::ptrdiff_t tileSize) noexcept
        : scratch(static_cast<std::size_t>(lagLength) * static_cast<std::size_t>(tileSize + 1)),
          plan(scratch.ok() ? lagLength : 0),
          tile(scratch.data()),
          result(scratch.ok() ? scratch.data() + tileSize * lagLength : nullptr) {}
    bool ok() const noexcept { return plan.ok(); }
};

// Hc array of the circular lag sequence r[t] + conj r[M-t] for each slice
// j0 + s, s < count, at tile[s*M]. Lag M-k is the negative lag -k.
void foldHermitianLags(const double* tabRe, const double* tabIm, std::int32_t m, std::ptrdiff_t sliceCount,
                       std::ptrdiff_t j0, std::ptrdiff_t count, double* tile) {
    const auto re = [&](std::ptrdiff_t lag) { return tabRe + lag * sliceCount + j0; };
    const auto im = [&](std::ptrdiff_t lag) { return tabIm + lag * sliceCount + j0; };
    for (std::ptrdiff_t s = 0; s < count; ++s) tile[s * m] = re(0)[s];
    for (std::ptrdiff_t k = 1; k <= (m - 1) / 2; ++k) {
        const double* posRe = re(k);
        const double* negRe = re(m - k);
        const double* posIm = im(k);
        const double* negIm = im(m - k);
        for (std::ptrdiff_t s = 0; s < count; ++s) {
            tile[s * m + k] = posRe[s] + negRe[s];
            tile[s * m + m - k] = negIm[s] - posIm[s];
        }
    }
    if (m % 2 == 0) {
        const double* middle = re(m / 2);
        for (std::ptrdiff_t s = 0; s < count; ++s) tile[s * m + m / 2] = 2.0 * middle[s];
    }
}

// The even lag sequence of each slice as 2 r[t]/M with the zero lag counted
// once, so that a forward real FFT gives the spectrum directly.
void gatherEvenLags(const double* tab, std::int32_t m, std::ptrdiff_t sliceCount, std::ptrdiff_t j0,
                    std::ptrdiff_t count, double* tile) {
    const double scale = 2.0 / m;
    for (std::ptrdiff_t t = 0; t < m; ++t) {
        const double* row = tab + t * sliceCount + j0;
        for (std::ptrdiff_t s = 0; s < count; ++s) tile[s * m + t] = row[s] * scale;
    }
    for (std::ptrdiff_t s = 0; s < count; ++s) tile[s * m] *= 0.5;
}

// Runs transform(sequence, destination) for every slice, tile by tile, and
// copies the first binCount values when the destination is the workspace.
template <class Gather, class Transform>
std::int32_t forEachSliceTile(std::int32_t m, std::int32_t sliceCount, std::int32_t binCount, double* out,
                              Gather&& gather, Transform&& transform) {
    if (m < 1 || sliceCount < 1 || binCount < 1) return kStatusOk;
    const std::ptrdiff_t tileSize = std::min<std::ptrdiff_t>(kSliceTile, sliceCount);
    TileWorkspace work(m, tileSize);
    if (!work.ok()) return kStatusNoMemory;
    const bool direct = binCount == m;
    for (std::ptrdiff_t j0 = 0; j0 < sliceCount; j0 += tileSize) {
        const std::ptrdiff_t count = std::min<std::ptrdiff_t>(tileSize, sliceCount - j0);
        gather(j0, count, work.tile);
        for (std::ptrdiff_t s = 0; s < count; ++s) {
            double* slice = out + (j0 + s) * binCount;
            double* destination = direct ? slice : work.result;
            const std::int32_t status = transform(work.plan.get(), work.tile + s * m, destination);
            if (status != kStatusOk) return status;
            if (!direct) std::copy(work.result, work.result + binCount, slice);
        }
    }
    return kStatusOk;
}

}  // namespace

std::int32_t cxLagSpectrum(const double* tabRe, const double* tabIm, std::int32_t lagLength, std::int32_t sliceCount,
                           std::int32_t binCount, double* out) noexcept {
    const auto gather = [&](std::ptrdiff_t j0, std::ptrdiff_t count, double* tile) {
        foldHermitianLags(tabRe, tabIm, lagLength, sliceCount, j0, count, tile);
    };
    // The folded array is consumed: the inverse real FFT overwrites its input.
    const auto transform = [&](const fft::FftPlan* plan, double* folded, double* spectrum) {
        return fft::reIfft(plan, folded, spectrum, 1, 1, lagLength);
    };
    return forEachSliceTile(lagLength, sliceCount, binCount, out, gather, transform);
}

std::int32_t reLagSpectrum(const double* tab, std::int32_t lagLength, std::int32_t sliceCount, std::int32_t binCount,
                           double* out) noexcept {
    const auto gather = [&](std::ptrdiff_t j0, std::ptrdiff_t count, double* tile) {
        gatherEvenLags(tab, lagLength, sliceCount, j0, count, tile);
    };
    // Only the real parts, the first binCount entries of the Hc result, are kept.
    const auto transform = [&](const fft::FftPlan* plan, double* lags, double* spectrum) {
        return fft::reFft(plan, lags, spectrum, 1, 1, lagLength);
    };
    return forEachSliceTile(lagLength, sliceCount, binCount, out, gather, transform);
}

}  // namespace varnel::wigner
