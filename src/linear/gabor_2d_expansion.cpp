// Two-dimensional Gabor expansion back to a real image: the complex
// expansion along the second dimension for every first-dimension index,
// then the real expansion down every column of what the first pass left.
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
#include "frame/layouts.h"
#include "linear/dge_synthesis.h"
#include "linear/dgt_lattice.h"
#include "varnel.h"

namespace {

using namespace varnel::gabor;

// One dimension: its lattice and the frame count of the coefficients.
struct Dimension {
    Lattice lattice;
    std::int32_t frames;
    std::int64_t values() const noexcept { return std::int64_t{frames} * lattice.bins; }  // F*N
};

// Block k of the coefficients becomes the complex row signal k of the
// intermediate (nCols values).
std::int32_t expandRows(const double* coef, const Dimension& first, const Dimension& second, std::int32_t nCols,
                        const varnel::fft::FftPlan* plan, double* fftScratch, double* scratch,
                        double* intermediate) {
    const std::int64_t blockValues = second.values();
    for (std::int64_t k = 0; k < first.values(); ++k) {
        const double* block = coef + 2 * k * blockValues;
        double* row = intermediate + 2 * k * nCols;
        if (const std::int32_t status = expandComplex({block, block + 1, 2}, second.frames, second.lattice,
                                                      {row, row + 1, 2}, nCols, {plan, fftScratch}, scratch);
            status != kStatusOk) {
            return status;
        }
    }
    return kStatusOk;
}

// Column c of the intermediate holds F1 complex frames; only their
// conjugate-symmetric parts are kept, so the column comes out real and
// goes straight into the image, zeros past the period included.
std::int32_t expandColumns(const double* intermediate, const Dimension& first, std::int32_t nRows,
                           std::int32_t nCols, const varnel::fft::FftPlan* plan, double* fftScratch, double* frame,
                           double* halfComplex, double* scratch, double* image) {
    const std::int32_t bins = first.lattice.bins;
    const std::ptrdiff_t stride = nCols;
    for (std::ptrdiff_t c = 0; c < nCols; ++c) {
        for (std::int64_t f = 0; f < first.values(); f += bins) {
            for (std::ptrdiff_t b = 0; b < bins; ++b) {
                const double* value = intermediate + 2 * ((f + b) * stride + c);
                frame[2 * b] = value[0];
                frame[2 * b + 1] = value[1];
            }
            varnel::layout::cxToHc(frame, halfComplex + f, bins);
        }
        if (const std::int32_t status =
                expandReal(halfComplex, first.frames, first.lattice, image + c, stride, nRows, {plan, fftScratch},
                           scratch);
            status != kStatusOk) {
            return status;
        }
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

        // The intermediate, then the scratch of one pass at a time: a row's
        // expansion, or a column's frame, Hc frames and expansion.
        const std::size_t intermediateValues =
            varnel::elementCount({2, static_cast<std::uint64_t>(nCols), static_cast<std::uint64_t>(depth)});
        const std::size_t rowPass = synthesisScratch(second.lattice, F2, 2);
        const std::size_t columnPass = varnel::elementSum({2 * static_cast<std::size_t>(N1),
                                                           static_cast<std::size_t>(depth),
                                                           synthesisScratch(first.lattice, F1, 1)});
        const varnel::fft::Workspace<2> work(varnel::elementSum({intermediateValues, std::max(rowPass, columnPass)}),
                                             {N1, N2});
        if (!work.ok()) return kStatusNoMemory;
        double* intermediate = work.data();
        double* passScratch = intermediate + intermediateValues;

        if (const std::int32_t status =
                expandRows(coef, first, second, nCols, work.plan(1), work.fftScratch(1), passScratch, intermediate);
            status != kStatusOk) {
            return status;
        }
        double* frame = passScratch;
        double* halfComplex = frame + 2 * static_cast<std::ptrdiff_t>(N1);
        return expandColumns(intermediate, first, nRows, nCols, work.plan(0), work.fftScratch(0), frame, halfComplex,
                             halfComplex + depth, image);
    });
}
