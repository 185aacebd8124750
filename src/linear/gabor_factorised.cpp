#include "linear/gabor_factorised.h"

#include <algorithm>
#include <bit>

#include "frame/scratch.h"

namespace varnel::gabor {
namespace {

using std::ptrdiff_t;

// Decimated rows are handled this many at a time, so that gathering them
// and scattering their correlations into the frames touch whole cache
// lines of the signal and of the output.
constexpr ptrdiff_t kBlockRows = 16;

struct Geometry {
    ptrdiff_t period;  // P
    ptrdiff_t bins;    // N
    ptrdiff_t step;    // dM
    ptrdiff_t steps;   // q = N/dM: frames per N samples
    ptrdiff_t length;  // b = P/N: the correlation length
    ptrdiff_t block;   // rows per block
    ptrdiff_t rowStride;  // doubles from one row of a block to the next

    Geometry(const Lattice& lattice, std::int64_t frames) noexcept
        : period(frames * lattice.step),
          bins(lattice.bins),
          step(lattice.step),
          steps(lattice.bins / lattice.step),
          length(period / lattice.bins),
          block(std::min<ptrdiff_t>(kBlockRows, lattice.bins)),
          rowStride(paddedRow(length)) {}

    // A block's rows are read and written across, one value of each in
    // turn, so they start on different cache sets: a whole number of
    // cache lines plus an odd one, never a multiple of 4 KiB apart.
    static ptrdiff_t paddedRow(ptrdiff_t length) noexcept {
        const ptrdiff_t lines = (length + 7) / 8;
        return 8 * (lines % 2 == 0 ? lines + 1 : lines);
    }

    // The window row that row l correlates with for frames r + q*t, and
    // whether the correlation is read one lag further: row l - r*dM when
    // that is not negative, else row l - r*dM + N, whose samples come one
    // period of N later.
    ptrdiff_t windowRow(ptrdiff_t l, ptrdiff_t r, bool& later) const noexcept {
        const ptrdiff_t e = l - r * step;
        later = e < 0;
        return later ? e + bins : e;
    }
};

// Parts: 1 for real signals, 2 for complex ones (real and imaginary).
struct AnalysisArrays {
    double* period[2] = {};  // the shifted period, P values
    double* table = nullptr;  // the window rows' spectra, N*b
    double* rows[2] = {};    // a block's decimated rows
    double* spectra[2] = {};
    double* correlations[2] = {};
    double* product[2] = {};  // one row's product spectrum
    double* frame[2] = {};    // one frame's values
    double* frameSpectrum[2] = {};  // and a complex frame's spectrum

    AnalysisArrays(const Geometry& g, int parts, Carve& carve) noexcept {
        const ptrdiff_t block = g.block * g.rowStride;
        for (int k = 0; k < parts; ++k) period[k] = carve.take(g.period);
        table = carve.take(g.period);
        for (int k = 0; k < parts; ++k) {
            rows[k] = carve.take(block);
            spectra[k] = carve.take(block);
            correlations[k] = carve.take(block);
            product[k] = carve.take(g.length);
            frame[k] = carve.take(g.bins);
            if (parts == 2) frameSpectrum[k] = carve.take(g.bins);
        }
    }
};

struct SynthesisArrays {
    double* inverse[2] = {};  // the frames' inverse transforms, F*N values
    double* table = nullptr;  // the window rows' spectra
    double* sum[2] = {};      // the periodic sum, P values
    double* rows[2] = {};     // a block's gathered rows, then its rows of the sum
    double* totals[2] = {};   // a block's summed spectra
    double* spectrum[2] = {};  // one row's spectrum
    double* frame = nullptr;  // one real frame's copy

    SynthesisArrays(const Geometry& g, std::int64_t frames, int parts, Carve& carve) noexcept {
        const ptrdiff_t block = g.block * g.rowStride;
        for (int k = 0; k < parts; ++k) inverse[k] = carve.take(frames * g.bins);
        table = carve.take(g.period);
        for (int k = 0; k < parts; ++k) {
            sum[k] = carve.take(g.period);
            rows[k] = carve.take(block);
            totals[k] = carve.take(block);
            spectrum[k] = carve.take(g.length);
        }
        if (parts == 1) frame = carve.take(g.bins);
    }
};

// Row i of a block (at rows + i*rowStride) takes y[l0 + i + N*s], s < b:
// row l0 + i of the decimation by N of a P-periodic sequence.
void gatherRows(const Geometry& g, const double* y, ptrdiff_t l0, double* rows) noexcept {
    for (ptrdiff_t s = 0; s < g.length; ++s) {
        const double* src = y + l0 + g.bins * s;
        for (ptrdiff_t i = 0; i < g.block; ++i) rows[i * g.rowStride + s] = src[i];
    }
}

// The inverse of gatherRows.
void scatterRows(const Geometry& g, const double* rows, ptrdiff_t l0, double* y) noexcept {
    for (ptrdiff_t s = 0; s < g.length; ++s) {
        double* dst = y + l0 + g.bins * s;
        for (ptrdiff_t i = 0; i < g.block; ++i) dst[i] = rows[i * g.rowStride + s];
    }
}

// The Hc spectra of the N decimated rows of the window periodised over P
// (gp[v] = sum of g[j] over j = v mod P) into table[l*b ...], using
// `periodised` (P doubles) and `rows` (block*b) as work space.
void windowSpectra(const Geometry& g, const Lattice& lattice, const TransformPlans& plans, double* periodised,
                   double* rows, double* table) noexcept {
    const ptrdiff_t first = std::min<ptrdiff_t>(g.period, lattice.length);
    std::copy(lattice.window, lattice.window + first, periodised);
    std::fill(periodised + first, periodised + g.period, 0.0);
    for (ptrdiff_t j0 = g.period; j0 < lattice.length; j0 += g.period) {
        const ptrdiff_t count = std::min<ptrdiff_t>(g.period, lattice.length - j0);
        for (ptrdiff_t v = 0; v < count; ++v) periodised[v] += lattice.window[j0 + v];
    }
    const auto b = static_cast<std::int32_t>(g.length);
    for (ptrdiff_t l0 = 0; l0 < g.bins; l0 += g.block) {
        gatherRows(g, periodised, l0, rows);
        for (ptrdiff_t i = 0; i < g.block; ++i) {
            fft::reFft(plans.correlation, rows + i * g.rowStride, table + (l0 + i) * g.length, 1, 1, b,
                       plans.correlationScratch);
        }
    }
}

// The table the caller made, or this call's own in `table`.
const double* windowTable(const Geometry& g, const Lattice& lattice, const TransformPlans& plans,
                          double* periodised, double* rows, double* table) noexcept {
    if (plans.windowTable != nullptr) return plans.windowTable;
    windowSpectra(g, lattice, plans, periodised, rows, table);
    return table;
}

// The period of the transform's buffer: sample u is signal sample u - h
// modulo P, zero past the signal's end, so that frame k's window starts at
// sample k*dM.
template <class Sample>
void shiftedPeriod(const Geometry& g, const Lattice& lattice, std::int32_t n, Sample&& sample, double* y) noexcept {
    const ptrdiff_t shift = lattice.half % g.period;
    for (ptrdiff_t u = 0; u < g.period; ++u) {
        const ptrdiff_t t = u >= shift ? u - shift : u - shift + g.period;
        y[u] = t < n ? sample(t) : 0.0;
    }
}

// z = x * conj(w) for Hc spectra of length b: the spectrum of the circular
// correlation of the two real rows.
void correlateHc(const double* __restrict x, const double* __restrict w, ptrdiff_t b,
                 double* __restrict z) noexcept {
    // Real parts ascending, then imaginary parts descending, each loop
    // reading its mirror halves reversed, so that both vectorise.
    const ptrdiff_t half = (b - 1) / 2;
    for (ptrdiff_t k = 1; k <= half; ++k) z[k] = x[k] * w[k] + x[b - k] * w[b - k];
    for (ptrdiff_t k = 1; k <= half; ++k) z[b - k] = x[b - k] * w[k] - x[k] * w[b - k];
    z[0] = x[0] * w[0];
    if (b % 2 == 0) z[b / 2] = x[b / 2] * w[b / 2];
}

// The same for a complex row (split, full spectrum) against a real row's
// Hc spectrum, whose upper half is the conjugate of the lower.
void correlateCx(const double* xr, const double* xi, const double* w, ptrdiff_t b, double* zr, double* zi) noexcept {
    zr[0] = xr[0] * w[0];
    zi[0] = xi[0] * w[0];
    ptrdiff_t k = 1;
    for (; k < b - k; ++k) {
        const double wr = w[k], wi = w[b - k];
        zr[k] = xr[k] * wr + xi[k] * wi;
        zi[k] = xi[k] * wr - xr[k] * wi;
        zr[b - k] = xr[b - k] * wr - xi[b - k] * wi;
        zi[b - k] = xi[b - k] * wr + xr[b - k] * wi;
    }
    if (k == b - k) {
        zr[k] = xr[k] * w[k];
        zi[k] = xi[k] * w[k];
    }
}

// Pairs, for rows l0.. of a block and frames r + q*t, position l0 + i of
// frame r + q*t with row i's lag t (t + 1, wrapped, when its window row
// comes a period later): visit(framePosition, rowIndex) for every t < b.
template <class Visit>
void pairFramesWithRows(const Geometry& g, ptrdiff_t l0, ptrdiff_t r, Visit&& visit) noexcept {
    ptrdiff_t row[kBlockRows];
    bool later;
    for (ptrdiff_t i = 0; i < g.block; ++i) {
        g.windowRow(l0 + i, r, later);
        row[i] = i * g.rowStride + (later ? 1 : 0);
    }
    const ptrdiff_t stride = g.steps * g.bins;
    ptrdiff_t position = r * g.bins + l0;
    for (ptrdiff_t t = 0; t + 1 < g.length; ++t, position += stride) {
        for (ptrdiff_t i = 0; i < g.block; ++i) visit(position + i, row[i] + t);
    }
    for (ptrdiff_t i = 0; i < g.block; ++i) {
        const ptrdiff_t last = row[i] + g.length - 1;
        visit(position + i, last == i * g.rowStride + g.length ? i * g.rowStride : last);
    }
}

}  // namespace

std::int32_t factorisedLength(const Lattice& lattice, std::int64_t padded) noexcept {
    const std::int64_t bins = lattice.bins;
    if (bins % lattice.step != 0 || padded % bins != 0 || padded / bins < 2) return 0;
    const std::int64_t length = padded / bins;
    // Folding costs about L operations per frame, the factorised route
    // about N*log2(b) for its correlation transforms plus the passes that
    // gather and scatter the decimated rows, which slow down once the
    // period outgrows the caches. Measured with Gaussian windows over the
    // four real and complex transforms and expansions, the two routes take
    // equal time at L of about 11N to 16N for b = 128, 14N to 19N for 256,
    // 16N to 25N for 512 and 24N to 26N for 1024; this rule follows that
    // line, and leaves windows of up to 2N, which barely fold, to folding.
    const std::int64_t factorisedCost =
        bins * std::max<std::int64_t>(4 * std::bit_width(static_cast<std::uint64_t>(length)) - 16, 2);
    return lattice.length > factorisedCost ? static_cast<std::int32_t>(length) : 0;
}

TransformPlans withWindowTable(TransformPlans plans, const Lattice& lattice, std::int64_t frames, double* scratch,
                               double* table) noexcept {
    if (plans.correlation == nullptr) return plans;
    const Geometry g(lattice, frames);
    Carve carve(scratch);
    double* periodised = carve.take(g.period);
    windowSpectra(g, lattice, plans, periodised, carve.take(g.block * g.rowStride), table);
    plans.windowTable = table;
    return plans;
}

std::size_t realFactorisedScratch(const Lattice& lattice, const PeriodicSignal& signal) noexcept {
    Carve count(nullptr);
    AnalysisArrays(Geometry(lattice, signal.frames), 1, count);
    return count.used();
}

std::size_t complexFactorisedScratch(const Lattice& lattice, const PeriodicSignal& signal) noexcept {
    Carve count(nullptr);
    AnalysisArrays(Geometry(lattice, signal.frames), 2, count);
    return count.used();
}

std::int32_t realFactorised(const double* x, const Lattice& lattice, const PeriodicSignal& signal, double* out,
                            const TransformPlans& plans, double* scratch) noexcept {
    const Geometry g(lattice, signal.frames);
    Carve carve(scratch);
    const AnalysisArrays arrays(g, 1, carve);
    double* y = arrays.period[0];
    double* rows = arrays.rows[0];
    double* spectra = arrays.spectra[0];
    double* correlations = arrays.correlations[0];
    double* product = arrays.product[0];
    double* frame = arrays.frame[0];
    const auto b = static_cast<std::int32_t>(g.length);

    const double* table = windowTable(g, lattice, plans, y, rows, arrays.table);
    shiftedPeriod(g, lattice, signal.length, [&](ptrdiff_t t) { return x[t]; }, y);
    for (ptrdiff_t l0 = 0; l0 < g.bins; l0 += g.block) {
        gatherRows(g, y, l0, rows);
        for (ptrdiff_t i = 0; i < g.block; ++i) {
            fft::reFft(plans.correlation, rows + i * g.rowStride, spectra + i * g.rowStride, 1, 1, b,
                       plans.correlationScratch);
        }
        for (ptrdiff_t r = 0; r < g.steps; ++r) {
            for (ptrdiff_t i = 0; i < g.block; ++i) {
                bool later;
                const ptrdiff_t w = g.windowRow(l0 + i, r, later);
                correlateHc(spectra + i * g.rowStride, table + w * g.length, g.length, product);
                fft::reIfft(plans.correlation, product, correlations + i * g.rowStride, 1, 1, b,
                            plans.correlationScratch);
            }
            pairFramesWithRows(g, l0, r, [&](ptrdiff_t to, ptrdiff_t from) { out[to] = correlations[from]; });
        }
    }
    // Each frame now holds its folded, rotated samples; its spectrum
    // replaces them.
    const auto n = static_cast<std::int32_t>(g.bins);
    for (std::int64_t k = 0; k < signal.frames; ++k) {
        double* values = out + k * g.bins;
        std::copy(values, values + g.bins, frame);
        fft::reFft(plans.bins, frame, values, 1, 1, n, plans.binsScratch);
    }
    return kStatusOk;
}

std::int32_t complexFactorised(ConstSplitComplex x, const Lattice& lattice, const PeriodicSignal& signal,
                               SplitComplex out, const TransformPlans& plans, double* scratch) noexcept {
    const Geometry g(lattice, signal.frames);
    Carve carve(scratch);
    const AnalysisArrays arrays(g, 2, carve);
    const auto [yRe, yIm] = arrays.period;
    const auto [rowsRe, rowsIm] = arrays.rows;
    const auto [spectraRe, spectraIm] = arrays.spectra;
    const auto [corrRe, corrIm] = arrays.correlations;
    const auto [productRe, productIm] = arrays.product;
    const auto [frameRe, frameIm] = arrays.frame;
    const auto b = static_cast<std::int32_t>(g.length);

    const double* table = windowTable(g, lattice, plans, yRe, rowsRe, arrays.table);
    shiftedPeriod(g, lattice, signal.length, [&](ptrdiff_t t) { return x.real(t); }, yRe);
    shiftedPeriod(g, lattice, signal.length, [&](ptrdiff_t t) { return x.imag(t); }, yIm);
    for (ptrdiff_t l0 = 0; l0 < g.bins; l0 += g.block) {
        gatherRows(g, yRe, l0, rowsRe);
        gatherRows(g, yIm, l0, rowsIm);
        for (ptrdiff_t i = 0; i < g.block; ++i) {
            const ptrdiff_t row = i * g.rowStride;
            fft::cxFft(plans.correlation, rowsRe + row, rowsIm + row, spectraRe + row, spectraIm + row, 1, 1, b,
                       plans.correlationScratch);
        }
        for (ptrdiff_t r = 0; r < g.steps; ++r) {
            for (ptrdiff_t i = 0; i < g.block; ++i) {
                bool later;
                const ptrdiff_t w = g.windowRow(l0 + i, r, later);
                const ptrdiff_t row = i * g.rowStride;
                correlateCx(spectraRe + row, spectraIm + row, table + w * g.length, g.length, productRe,
                            productIm);
                fft::cxIfft(plans.correlation, productRe, productIm, corrRe + row, corrIm + row, 1, 1, b,
                            plans.correlationScratch);
            }
            pairFramesWithRows(g, l0, r, [&](ptrdiff_t to, ptrdiff_t from) {
                out.real(to) = arrays.correlations[0][from];
                out.imag(to) = arrays.correlations[1][from];
            });
        }
    }
    // The spectra are made at unit stride, where the vector kernels run,
    // and copied out.
    const auto n = static_cast<std::int32_t>(g.bins);
    const auto [spectrumRe, spectrumIm] = arrays.frameSpectrum;
    for (std::int64_t k = 0; k < signal.frames; ++k) {
        const SplitComplex values = out.offset(k * g.bins);
        for (ptrdiff_t j = 0; j < g.bins; ++j) {
            frameRe[j] = values.real(j);
            frameIm[j] = values.imag(j);
        }
        fft::cxFft(plans.bins, frameRe, frameIm, spectrumRe, spectrumIm, 1, 1, n, plans.binsScratch);
        for (ptrdiff_t j = 0; j < g.bins; ++j) {
            values.real(j) = spectrumRe[j];
            values.imag(j) = spectrumIm[j];
        }
    }
    return kStatusOk;
}

std::int32_t factorisedExpansionLength(const Lattice& lattice, std::int64_t frames) noexcept {
    // Up to one window per period the expansion's two wraps make it
    // periodic, which the factorised route is; beyond, they drop parts.
    const std::int64_t period = frames * lattice.step;
    return lattice.length <= period ? factorisedLength(lattice, period) : 0;
}

std::size_t factorisedExpansionScratch(const Lattice& lattice, std::int64_t frames, int parts) noexcept {
    Carve count(nullptr);
    SynthesisArrays(Geometry(lattice, frames), frames, parts, count);
    return count.used();
}

namespace {

// sum += x * w for Hc spectra of length b: the spectrum of the circular
// convolution of the two real rows, accumulated.
void convolveAddHc(const double* __restrict x, const double* __restrict w, ptrdiff_t b,
                   double* __restrict sum) noexcept {
    const ptrdiff_t half = (b - 1) / 2;
    for (ptrdiff_t k = 1; k <= half; ++k) sum[k] += x[k] * w[k] - x[b - k] * w[b - k];
    for (ptrdiff_t k = 1; k <= half; ++k) sum[b - k] += x[k] * w[b - k] + x[b - k] * w[k];
    sum[0] += x[0] * w[0];
    if (b % 2 == 0) sum[b / 2] += x[b / 2] * w[b / 2];
}

// The same for a complex row's full spectrum and a real row's Hc spectrum.
void convolveAddCx(const double* xr, const double* xi, const double* w, ptrdiff_t b, double* sr, double* si) noexcept {
    sr[0] += xr[0] * w[0];
    si[0] += xi[0] * w[0];
    ptrdiff_t k = 1;
    for (; k < b - k; ++k) {
        const double wr = w[k], wi = w[b - k];
        sr[k] += xr[k] * wr - xi[k] * wi;
        si[k] += xi[k] * wr + xr[k] * wi;
        sr[b - k] += xr[b - k] * wr + xi[b - k] * wi;
        si[b - k] += xi[b - k] * wr - xr[b - k] * wi;
    }
    if (k == b - k) {
        sr[k] += xr[k] * w[k];
        si[k] += xi[k] * w[k];
    }
}

// Output sample t is sample t + h of the periodic sum, times dM; zeros
// from P on.
void writePeriod(const Geometry& g, const Lattice& lattice, const double* z, double* out, ptrdiff_t outStride,
                 std::int32_t outLength) noexcept {
    const ptrdiff_t shift = lattice.half % g.period;
    const double scale = lattice.step;
    const ptrdiff_t written = std::min<ptrdiff_t>(outLength, g.period);
    for (ptrdiff_t t = 0; t < written; ++t) {
        const ptrdiff_t u = t + shift < g.period ? t + shift : t + shift - g.period;
        out[t * outStride] = scale * z[u];
    }
    for (ptrdiff_t t = written; t < outLength; ++t) out[t * outStride] = 0.0;
}

}  // namespace

std::int32_t expandRealFactorised(const double* coef, std::int64_t frames, const Lattice& lattice, double* out,
                                  std::ptrdiff_t outStride, std::int32_t outLength, const TransformPlans& plans,
                                  double* scratch) noexcept {
    const Geometry g(lattice, frames);
    Carve carve(scratch);
    const SynthesisArrays arrays(g, frames, 1, carve);
    double* inverse = arrays.inverse[0];
    double* z = arrays.sum[0];
    double* rows = arrays.rows[0];
    double* totals = arrays.totals[0];
    double* spectra = arrays.spectrum[0];
    double* frame = arrays.frame;
    const auto b = static_cast<std::int32_t>(g.length);
    const auto n = static_cast<std::int32_t>(g.bins);

    const double* table = windowTable(g, lattice, plans, z, rows, arrays.table);
    for (std::int64_t k = 0; k < frames; ++k) {
        std::copy(coef + k * g.bins, coef + (k + 1) * g.bins, frame);
        fft::reIfft(plans.bins, frame, inverse + k * g.bins, 1, 1, n, plans.binsScratch);
    }
    for (ptrdiff_t l0 = 0; l0 < g.bins; l0 += g.block) {
        for (ptrdiff_t r = 0; r < g.steps; ++r) {
            pairFramesWithRows(g, l0, r, [&](ptrdiff_t from, ptrdiff_t to) { rows[to] = inverse[from]; });
            for (ptrdiff_t i = 0; i < g.block; ++i) {
                const ptrdiff_t row = i * g.rowStride;
                fft::reFft(plans.correlation, rows + row, spectra, 1, 1, b, plans.correlationScratch);
                bool later;
                const ptrdiff_t w = g.windowRow(l0 + i, r, later);
                if (r == 0) std::fill(totals + row, totals + row + g.length, 0.0);
                convolveAddHc(spectra, table + w * g.length, g.length, totals + row);
            }
        }
        for (ptrdiff_t i = 0; i < g.block; ++i) {
            fft::reIfft(plans.correlation, totals + i * g.rowStride, rows + i * g.rowStride, 1, 1, b,
                        plans.correlationScratch);
        }
        scatterRows(g, rows, l0, z);
    }
    writePeriod(g, lattice, z, out, outStride, outLength);
    return kStatusOk;
}

std::int32_t expandComplexFactorised(ConstSplitComplex coef, std::int64_t frames, const Lattice& lattice,
                                     SplitComplex out, std::int32_t outLength, const TransformPlans& plans,
                                     double* scratch) noexcept {
    const Geometry g(lattice, frames);
    Carve carve(scratch);
    const SynthesisArrays arrays(g, frames, 2, carve);
    const auto [inverseRe, inverseIm] = arrays.inverse;
    const auto [zRe, zIm] = arrays.sum;
    const auto [rowsRe, rowsIm] = arrays.rows;
    const auto [totalsRe, totalsIm] = arrays.totals;
    const auto [spectraRe, spectraIm] = arrays.spectrum;
    const auto b = static_cast<std::int32_t>(g.length);
    const auto n = static_cast<std::int32_t>(g.bins);
    const auto is = static_cast<std::int32_t>(coef.stride);

    const double* table = windowTable(g, lattice, plans, zRe, rowsRe, arrays.table);
    for (std::int64_t k = 0; k < frames; ++k) {
        const ConstSplitComplex frame = coef.offset(k * g.bins);
        fft::cxIfft(plans.bins, frame.re, frame.im, inverseRe + k * g.bins, inverseIm + k * g.bins, is, 1, n,
                    plans.binsScratch);
    }
    for (ptrdiff_t l0 = 0; l0 < g.bins; l0 += g.block) {
        for (ptrdiff_t r = 0; r < g.steps; ++r) {
            pairFramesWithRows(g, l0, r, [&](ptrdiff_t from, ptrdiff_t to) {
                arrays.rows[0][to] = arrays.inverse[0][from];
                arrays.rows[1][to] = arrays.inverse[1][from];
            });
            for (ptrdiff_t i = 0; i < g.block; ++i) {
                const ptrdiff_t row = i * g.rowStride;
                fft::cxFft(plans.correlation, rowsRe + row, rowsIm + row, spectraRe, spectraIm, 1, 1, b,
                           plans.correlationScratch);
                bool later;
                const ptrdiff_t w = g.windowRow(l0 + i, r, later);
                if (r == 0) {
                    std::fill(totalsRe + row, totalsRe + row + g.length, 0.0);
                    std::fill(totalsIm + row, totalsIm + row + g.length, 0.0);
                }
                convolveAddCx(spectraRe, spectraIm, table + w * g.length, g.length, totalsRe + row, totalsIm + row);
            }
        }
        for (ptrdiff_t i = 0; i < g.block; ++i) {
            const ptrdiff_t row = i * g.rowStride;
            fft::cxIfft(plans.correlation, totalsRe + row, totalsIm + row, rowsRe + row, rowsIm + row, 1, 1, b,
                        plans.correlationScratch);
        }
        scatterRows(g, rowsRe, l0, zRe);
        scatterRows(g, rowsIm, l0, zIm);
    }
    writePeriod(g, lattice, zRe, out.re, out.stride, outLength);
    writePeriod(g, lattice, zIm, out.im, out.stride, outLength);
    return kStatusOk;
}

}  // namespace varnel::gabor
