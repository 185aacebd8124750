// Two-dimensional Gabor transform of a real image: the real transform down
// every column, then the complex transform along every first-dimension
// index of the column spectra's lower half; the upper half's coefficients
// follow by conjugate symmetry. Every check and
// all the scratch and plans of both passes come first, and transforms of
// power-of-two lengths cannot fail once their plans are held, so a call
// that fails writes nothing.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "fft/plan_hold.h"
#include "frame/array_check.h"
#include "frame/array_size.h"
#include "frame/export_guard.h"
#include "linear/dgt_lattice.h"
#include "linear/dgt_periodic_signal.h"
#include "linear/gabor_factorised.h"
#include "varnel.h"

namespace {

using namespace varnel::gabor;

struct Image2d {
    const double* pixels;
    std::int32_t nRows, nCols;
};

// One dimension: its lattice and the signal its transforms see.
struct Dimension {
    Lattice lattice;
    PeriodicSignal signal;
    std::int64_t values() const noexcept { return signal.frames * lattice.bins; }  // F*N
};

// Bins 0 .. N1/2 of each first-dimension frame: the others are their
// conjugates (the columns are real), and so are their rows' transforms.
//
// Column c's frames, bins 0 .. N1/2 of each, land contiguously at
// intermediate complex element c*depth (depth = F1 (N1/2 + 1)): the first
// pass writes in order. The columns are copied out kColumnBlock at a time,
// reading the image a cache line per row instead of one per value.
constexpr std::ptrdiff_t kColumnBlock = 8;

// Scratch: kColumnBlock * nRows doubles for the copied columns, F1*N1 for
// one column's Hc frames, then the real transform's.
std::int32_t transformColumns(const Image2d& image, const Dimension& first, const TransformPlans& plans,
                              double* columns, double* intermediate) {
    const std::int32_t bins = first.lattice.bins, half = first.lattice.lowerBins();
    const std::int64_t depth = first.signal.frames * half;
    const std::ptrdiff_t nRows = image.nRows;
    double* halfComplex = columns + kColumnBlock * nRows;
    double* transformScratch = halfComplex + first.values();
    for (std::ptrdiff_t c0 = 0; c0 < image.nCols; c0 += kColumnBlock) {
        const std::ptrdiff_t width = std::min<std::ptrdiff_t>(kColumnBlock, image.nCols - c0);
        for (std::ptrdiff_t r = 0; r < nRows; ++r)
            for (std::ptrdiff_t j = 0; j < width; ++j) columns[j * nRows + r] = image.pixels[r * image.nCols + c0 + j];
        for (std::ptrdiff_t j = 0; j < width; ++j) {
            if (const std::int32_t status = realTransform(columns + j * nRows, first.lattice, first.signal,
                                                          halfComplex, plans, transformScratch);
                status != kStatusOk) {
                return status;
            }
            double* column = intermediate + 2 * (c0 + j) * depth;
            for (std::int64_t f = 0; f < first.signal.frames; ++f) {
                const double* hc = halfComplex + f * bins;
                double* values = column + 2 * f * half;
                for (std::int32_t b = 0; b < half; ++b) {
                    values[2 * b] = hc[b];
                    values[2 * b + 1] = b > 0 && 2 * b < bins ? hc[bins - b] : 0.0;
                }
            }
        }
    }
    return kStatusOk;
}

// Index (f1, b1), b1 <= N1/2, of the intermediate (one value per image
// column) is transformed into its contiguous block of F2*N2 coefficients;
// block (f1, N1 - b1) is then its conjugate with bins b2 and
// (N2 - b2) mod N2 exchanged, as the transform of the conjugate row is.
std::int32_t transformRows(const Dimension& first, const Dimension& second, const TransformPlans& plans,
                           const double* intermediate, double* scratch, double* out) {
    const std::int32_t bins1 = first.lattice.bins, bins2 = second.lattice.bins, half = first.lattice.lowerBins();
    const std::int64_t depth = first.signal.frames * half;
    const std::int64_t blockValues = second.values();
    for (std::int64_t f1 = 0; f1 < first.signal.frames; ++f1) {
        for (std::int32_t b1 = 0; b1 < half; ++b1) {
            const double* row = intermediate + 2 * (f1 * half + b1);
            double* block = out + 2 * (f1 * bins1 + b1) * blockValues;
            if (const std::int32_t status =
                    complexTransform({row, row + 1, 2 * depth}, second.lattice, second.signal, {block, block + 1, 2},
                                     plans, scratch);
                status != kStatusOk) {
                return status;
            }
            if (b1 == 0 || 2 * b1 == bins1) continue;
            double* mirror = out + 2 * (f1 * bins1 + bins1 - b1) * blockValues;
            for (std::int64_t f2 = 0; f2 < blockValues; f2 += bins2) {
                const double* from = block + 2 * f2;
                double* to = mirror + 2 * f2;
                to[0] = from[0];
                to[1] = -from[1];
                for (std::int32_t b2 = 1; b2 < bins2; ++b2) {
                    to[2 * b2] = from[2 * (bins2 - b2)];
                    to[2 * b2 + 1] = -from[2 * (bins2 - b2) + 1];
                }
            }
        }
    }
    return kStatusOk;
}

}  // namespace

extern "C" VARNEL_API int32_t DGT2d(const double* image, int32_t nRows, int32_t nCols, const WindowSpec* spec1,
                                    const WindowSpec* spec2, double* out) {
    return varnel::guardedExport([&]() -> std::int32_t {
        if (nRows < 1 || nCols < 1) return kStatusBadLength;
        Dimension first, second;
        if (checkLattice(spec1, false, first.lattice) != kStatusOk ||
            checkLattice(spec2, false, second.lattice) != kStatusOk) {
            return kStatusBadWindowSpec;
        }
        if (const std::int32_t status = describePeriodicSignal(nRows, first.lattice, first.signal);
            status != kStatusOk) {
            return status;
        }
        if (const std::int32_t status = describePeriodicSignal(nCols, second.lattice, second.signal);
            status != kStatusOk) {
            return status;
        }
        const std::int64_t depth = first.values();  // F1*N1
        if (const std::int32_t status = varnel::ArrayCheck()
                                            .reads(image, std::int64_t{nRows} * nCols)
                                            .reads(first.lattice.window, first.lattice.length)
                                            .reads(second.lattice.window, second.lattice.length)
                                            .writes(out, varnel::countProduct(2 * depth, second.values()))
                                            .status();
            status != kStatusOk) {
            return status;
        }

        // The intermediate, the window tables of the dimensions that
        // factorise, then the scratch of one pass at a time: a block of
        // columns, a column's Hc frames and its transform, or a row's
        // transform.
        const std::size_t intermediateValues =
            varnel::elementCount({2, static_cast<std::uint64_t>(nCols), static_cast<std::uint64_t>(first.signal.frames),
                                  static_cast<std::uint64_t>(first.lattice.lowerBins())});
        const auto tableValues = [](const Dimension& d) -> std::size_t {
            return d.signal.correlationLength != 0 ? static_cast<std::size_t>(d.signal.padded) : 0;
        };
        const std::size_t columnPass =
            varnel::elementSum({varnel::elementCount({kColumnBlock, static_cast<std::uint64_t>(nRows)}),
                                static_cast<std::size_t>(depth), realTransformScratch(first.lattice, first.signal)});
        const std::size_t rowPass = complexTransformScratch(second.lattice, second.signal, 2);
        const varnel::fft::Workspace<4> work(
            varnel::elementSum({intermediateValues, tableValues(first), tableValues(second), std::max(columnPass, rowPass)}),
            {first.lattice.bins, first.signal.correlationLength, second.lattice.bins, second.signal.correlationLength});
        if (!work.ok()) return kStatusNoMemory;
        double* intermediate = work.data();
        double* firstTable = intermediate + intermediateValues;
        double* secondTable = firstTable + tableValues(first);
        double* passScratch = secondTable + tableValues(second);

        // Plans i and i + 1 (N and b) of a dimension, with its window table
        // made once for all its transforms.
        const auto plans = [&work, passScratch](std::size_t i, const Dimension& d, double* table) {
            return withWindowTable(transformPlans(work, i), d.lattice, d.signal.frames, passScratch, table);
        };
        const Image2d pixels{image, nRows, nCols};
        if (const std::int32_t status =
                transformColumns(pixels, first, plans(0, first, firstTable), passScratch, intermediate);
            status != kStatusOk) {
            return status;
        }
        return transformRows(first, second, plans(2, second, secondTable), intermediate, passScratch, out);
    });
}
