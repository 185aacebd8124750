// Two-dimensional Gabor expansion back to a real image: the complex
// expansion along the second dimension for every first-dimension index
// that the image depends on, then the real expansion down every column of
// what the first pass left.
// Every check and all the scratch and plans come first, and expansions of
// power-of-two lengths cannot fail once their plans are held, so a call
// that fails writes nothing.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "fft/plan_hold.h"
#include "frame/array_check.h"
#include "frame/array_size.h"
#include "frame/export_guard.h"
#include "linear/dge_synthesis.h"
#include "linear/dgt_lattice.h"
#include "linear/gabor_factorised.h"
#include "varnel.h"

namespace {

using namespace varnel::gabor;

// One dimension: its lattice and the frame count of the coefficients.
struct Dimension {
    Lattice lattice;
    std::int32_t frames;
    std::int64_t values() const noexcept { return std::int64_t{frames} * lattice.bins; }  // F*N
};

// The image is the real part of the complex expansion, which is the
// expansion of the conjugate-symmetric part of the first-dimension spectra:
// bins b1 and N1 - b1 averaged as (X[b1] + conj X[N1 - b1])/2. The second
// expansion is linear and its window real, so conj X[N1 - b1] is the
// expansion of the coefficients of bin N1 - b1 conjugated, with bins b2 and
// (N2 - b2) mod N2 exchanged: the coefficients are combined first and only
// the N1/2 + 1 rows of each first-dimension frame that the columns read
// are expanded, half the work of expanding all N1.
//
// Row signal f1*(N1/2 + 1) + b1 of the intermediate (nCols values): the
// expansion of the combined coefficients of bins b1 and N1 - b1 of
// first-dimension frame f1.
std::int32_t expandRows(const double* coef, const Dimension& first, const Dimension& second, std::int32_t nCols,
                        const TransformPlans& plans, double* combined, double* scratch, double* intermediate) {
    const std::int64_t blockValues = second.values();
    const std::int32_t bins1 = first.lattice.bins, bins2 = second.lattice.bins, half = first.lattice.lowerBins();
    for (std::int64_t f1 = 0; f1 < first.frames; ++f1) {
        for (std::int32_t b1 = 0; b1 < half; ++b1) {
            const double* block = coef + 2 * (f1 * bins1 + b1) * blockValues;
            const double* partner = coef + 2 * (f1 * bins1 + (bins1 - b1) % bins1) * blockValues;
            // Split arrays, which the expansion's transforms read as they are.
            double* combinedRe = combined;
            double* combinedIm = combined + blockValues;
            // Both blocks are read in ascending order, which the hardware
            // prefetches: the partner's bins are added to the halves
            // already written, in reverse, while those are in L1.
            for (std::int64_t f2 = 0; f2 < blockValues; f2 += bins2) {
                const double* a = block + 2 * f2;
                const double* z = partner + 2 * f2;
                for (std::int32_t b2 = 0; b2 < bins2; ++b2) {
                    combinedRe[f2 + b2] = 0.5 * a[2 * b2];
                    combinedIm[f2 + b2] = 0.5 * a[2 * b2 + 1];
                }
                combinedRe[f2] += 0.5 * z[0];  // bin 0 is its own partner
                combinedIm[f2] -= 0.5 * z[1];
                for (std::int32_t j = 1; j < bins2; ++j) {
                    combinedRe[f2 + bins2 - j] += 0.5 * z[2 * j];
                    combinedIm[f2 + bins2 - j] -= 0.5 * z[2 * j + 1];
                }
            }
            double* row = intermediate + 2 * (f1 * half + b1) * nCols;
            if (const std::int32_t status =
                    expandComplex({combined, combined + blockValues, 1}, second.frames, second.lattice,
                                  {row, row + 1, 2}, nCols, plans, scratch);
                status != kStatusOk) {
                return status;
            }
        }
    }
    return kStatusOk;
}

// Columns expanded together: their values are read, and their samples
// written, a cache line at a time instead of one line per value.
constexpr std::ptrdiff_t kColumnBlock = 8;

// Column c of the intermediate holds, for each first-dimension frame, the
// conjugate-symmetric spectrum's bins 0 .. N1/2: its Hc frames, whose real
// expansion (zeros past the period included) is column c of the image.
// Scratch: kColumnBlock * (F1*N1 + nRows) doubles.
std::int32_t expandColumns(const double* intermediate, const Dimension& first, std::int32_t nRows,
                           std::int32_t nCols, const TransformPlans& plans, double* blockScratch, double* scratch,
                           double* image) {
    const std::int32_t bins = first.lattice.bins, half = first.lattice.lowerBins();
    const std::int64_t depth = first.values();
    double* columns = blockScratch + kColumnBlock * depth;  // kColumnBlock columns of nRows samples
    for (std::ptrdiff_t c0 = 0; c0 < nCols; c0 += kColumnBlock) {
        const std::ptrdiff_t width = std::min<std::ptrdiff_t>(kColumnBlock, nCols - c0);
        for (std::int64_t f = 0; f < first.frames; ++f) {
            for (std::int32_t b = 0; b < half; ++b) {
                const double* value = intermediate + 2 * ((f * half + b) * nCols + c0);
                // The next block's values in this row, two cache lines:
                // the rows are too many for the hardware to follow.
                __builtin_prefetch(value + 2 * kColumnBlock);
                __builtin_prefetch(value + 3 * kColumnBlock);
                for (std::ptrdiff_t j = 0; j < width; ++j) {
                    double* hc = blockScratch + j * depth + f * bins;
                    hc[b] = value[2 * j];
                    if (b > 0 && 2 * b < bins) hc[bins - b] = value[2 * j + 1];
                }
            }
        }
        for (std::ptrdiff_t j = 0; j < width; ++j) {
            if (const std::int32_t status = expandReal(blockScratch + j * depth, first.frames, first.lattice,
                                                       columns + j * nRows, 1, nRows, plans, scratch);
                status != kStatusOk) {
                return status;
            }
        }
        for (std::ptrdiff_t r = 0; r < nRows; ++r)
            for (std::ptrdiff_t j = 0; j < width; ++j) image[r * nCols + c0 + j] = columns[j * nRows + r];
    }
    return kStatusOk;
}

}  // namespace

extern "C" VARNEL_API int32_t DGE2d(const double* coef, int32_t F1, int32_t N1, int32_t F2, int32_t N2,
                                    const WindowSpec* spec1, const WindowSpec* spec2, double* image, int32_t nRows,
                                    int32_t nCols) {
    return varnel::guardedExport([&]() -> std::int32_t {
        if (F1 < 1 || F2 < 1 || N1 < 1 || N2 < 1 || nRows < 1 || nCols < 1) return kStatusBadLength;
        Dimension first{{}, F1}, second{{}, F2};
        if (checkLatticeWithBins(spec1, N1, false, first.lattice) != kStatusOk ||
            checkLatticeWithBins(spec2, N2, false, second.lattice) != kStatusOk) {
            return kStatusBadWindowSpec;
        }
        const std::int64_t depth = first.values();  // F1*N1
        if (const std::int32_t status = varnel::ArrayCheck()
                                            .reads(coef, varnel::countProduct(2 * depth, second.values()))
                                            .reads(first.lattice.window, first.lattice.length)
                                            .reads(second.lattice.window, second.lattice.length)
                                            .writes(image, std::int64_t{nRows} * nCols)
                                            .status();
            status != kStatusOk) {
            return status;
        }

        // The intermediate, the window tables of the dimensions that
        // factorise, then the scratch of one pass at a time: a row's
        // combined coefficients and expansion, or a column's Hc frames and
        // expansion.
        const std::size_t intermediateValues = varnel::elementCount(
            {2, static_cast<std::uint64_t>(nCols), static_cast<std::uint64_t>(F1),
             static_cast<std::uint64_t>(first.lattice.lowerBins())});
        const ExpansionRoute columnRoute = expansionRoute(first.lattice, F1, 1);
        const ExpansionRoute rowRoute = expansionRoute(second.lattice, F2, 2);
        const auto tableValues = [](const Dimension& d, const ExpansionRoute& route) -> std::size_t {
            return route.correlationLength != 0 ? static_cast<std::size_t>(d.frames) * d.lattice.step : 0;
        };
        const std::size_t rowPass = varnel::elementSum({2 * static_cast<std::size_t>(second.values()), rowRoute.scratch});
        const std::uint64_t columnValues = static_cast<std::uint64_t>(depth) + static_cast<std::uint64_t>(nRows);
        const std::size_t columnPass =
            varnel::elementSum({varnel::elementCount({kColumnBlock, columnValues}), columnRoute.scratch});
        const varnel::fft::Workspace<4> work(
            varnel::elementSum({intermediateValues, tableValues(first, columnRoute), tableValues(second, rowRoute),
                                std::max(rowPass, columnPass)}),
            {N1, columnRoute.correlationLength, N2, rowRoute.correlationLength});
        if (!work.ok()) return kStatusNoMemory;
        double* intermediate = work.data();
        double* firstTable = intermediate + intermediateValues;
        double* secondTable = firstTable + tableValues(first, columnRoute);
        double* passScratch = secondTable + tableValues(second, rowRoute);

        // Plans i and i + 1 (N and b) of a dimension, with its window table
        // made once for all its expansions.
        const auto plans = [&work, passScratch](std::size_t i, const Dimension& d, double* table) {
            return withWindowTable(transformPlans(work, i), d.lattice, d.frames, passScratch, table);
        };
        double* combined = passScratch;
        if (const std::int32_t status = expandRows(coef, first, second, nCols, plans(2, second, secondTable), combined,
                                                   combined + 2 * second.values(), intermediate);
            status != kStatusOk) {
            return status;
        }
        return expandColumns(intermediate, first, nRows, nCols, plans(0, first, firstTable), passScratch,
                             passScratch + kColumnBlock * (depth + nRows), image);
    });
}
