// The transform over the lag. The lag sequence of a slice is Hermitian
// (r[-t] = conj r[t]), so its spectrum is real: folding the negative lags
// onto the circular lag axis gives an Hc array whose inverse real FFT is the
// slice's spectrum, half the work of a complex FFT. The table is lag-major,
// so a tile of slices is taken at once: each table row is then read in runs
// of adjacent values instead of one value per cache line.
#include <algorithm>
#include <cstddef>

#include "fft/plan_hold.h"
#include "quadratic/wigner_stages.h"
#include "varnel.h"

namespace varnel::wigner {
namespace {

// Hc array of the circular lag sequence r[t] + conj r[M-t] for each slice
// first + s, s < count, at tile[s*M]. Lag M-k is the negative lag -k.
void foldHermitianLags(const double* tabRe, const double* tabIm, std::int32_t m, SliceBlock block, double* tile) {
    const auto re = [&](std::ptrdiff_t lag) { return tabRe + lag * block.rowLength + block.first; };
    const auto im = [&](std::ptrdiff_t lag) { return tabIm + lag * block.rowLength + block.first; };
    const std::ptrdiff_t count = block.count;
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
void gatherEvenLags(const double* tab, std::int32_t m, SliceBlock block, double* tile) {
    const double scale = 2.0 / m;
    for (std::ptrdiff_t t = 0; t < m; ++t) {
        const double* row = tab + t * block.rowLength + block.first;
        for (std::ptrdiff_t s = 0; s < block.count; ++s) tile[s * m + t] = row[s] * scale;
    }
    for (std::ptrdiff_t s = 0; s < block.count; ++s) tile[s * m] *= 0.5;
}

// Every slice of a whole table, a tile at a time.
template <class Block>
std::int32_t forEachTile(std::int32_t sliceCount, std::int32_t binCount, double* out, Block&& block) {
    for (std::ptrdiff_t j0 = 0; j0 < sliceCount; j0 += kLagSliceTile) {
        const SliceBlock tile{j0, std::min<std::ptrdiff_t>(kLagSliceTile, sliceCount - j0), sliceCount};
        if (const std::int32_t status = block(tile, out + j0 * binCount); status != kStatusOk) return status;
    }
    return kStatusOk;
}

}  // namespace

LagSpectrum::LagSpectrum(std::int32_t lagLength, std::int32_t binCount) noexcept
    : lagLength_(lagLength),
      binCount_(binCount),
      work_(fft::Workspace<>::parts(kLagSliceTile + 1, lagLength), {lagLength}),
      tile_(work_.data()),
      result_(work_.ok() ? work_.part(kLagSliceTile, lagLength) : nullptr) {}

// Slices whose whole spectrum is kept go straight to out; the others pass
// through the result buffer and keep their first binCount values.
template <class Transform>
std::int32_t LagSpectrum::transformTile(std::ptrdiff_t count, double* out, Transform&& transform) noexcept {
    const bool direct = binCount_ == lagLength_;
    for (std::ptrdiff_t s = 0; s < count; ++s) {
        double* slice = out + s * binCount_;
        const std::int32_t status = transform(tile_ + s * lagLength_, direct ? slice : result_);
        if (status != kStatusOk) return status;
        if (!direct) std::copy(result_, result_ + binCount_, slice);
    }
    return kStatusOk;
}

std::int32_t LagSpectrum::complexBlock(const double* tabRe, const double* tabIm, SliceBlock block,
                                       double* out) noexcept {
    foldHermitianLags(tabRe, tabIm, lagLength_, block, tile_);
    // The folded array is consumed: the inverse real FFT overwrites its input.
    return transformTile(block.count, out, [&](double* folded, double* spectrum) {
        return fft::reIfft(work_.plan(), folded, spectrum, 1, 1, lagLength_, work_.fftScratch());
    });
}

std::int32_t LagSpectrum::realBlock(const double* tab, SliceBlock block, double* out) noexcept {
    gatherEvenLags(tab, lagLength_, block, tile_);
    // Only the real parts, the first binCount entries of the Hc result, are kept.
    return transformTile(block.count, out, [&](double* lags, double* spectrum) {
        return fft::reFft(work_.plan(), lags, spectrum, 1, 1, lagLength_, work_.fftScratch());
    });
}

std::int32_t LagSpectrum::complexPair(double* out1, double* out2) noexcept {
    // cxIfft without its factor (the forward transform with real and
    // imaginary parts exchanged on both sides): the lags come scaled by
    // 1/M, so no pass over the result scales it.
    return fft::cxFft(work_.plan(), lagsIm(), lagsRe(), out2 != nullptr ? out2 : result_, out1, 1, 1, lagLength_,
                      work_.fftScratch());
}

std::int32_t LagSpectrum::realSlice(double* out) noexcept {
    tile_[0] *= 0.5;
    return transformTile(1, out, [&](double* lags, double* spectrum) {
        return fft::reFft(work_.plan(), lags, spectrum, 1, 1, lagLength_, work_.fftScratch());
    });
}

std::int32_t cxLagSpectrum(const double* tabRe, const double* tabIm, std::int32_t lagLength, std::int32_t sliceCount,
                           std::int32_t binCount, double* out) noexcept {
    if (lagLength < 1 || sliceCount < 1 || binCount < 1) return kStatusOk;
    LagSpectrum spectrum(lagLength, binCount);
    if (!spectrum.ok()) return kStatusNoMemory;
    return forEachTile(sliceCount, binCount, out, [&](SliceBlock tile, double* tileOut) {
        return spectrum.complexBlock(tabRe, tabIm, tile, tileOut);
    });
}

std::int32_t reLagSpectrum(const double* tab, std::int32_t lagLength, std::int32_t sliceCount, std::int32_t binCount,
                           double* out) noexcept {
    if (lagLength < 1 || sliceCount < 1 || binCount < 1) return kStatusOk;
    LagSpectrum spectrum(lagLength, binCount);
    if (!spectrum.ok()) return kStatusNoMemory;
    return forEachTile(sliceCount, binCount, out,
                       [&](SliceBlock tile, double* tileOut) { return spectrum.realBlock(tab, tile, tileOut); });
}

}  // namespace varnel::wigner
