// Two-dimensional Gabor transform of a real image: the real transform down
// every column, then the complex transform along every first-dimension
// index of the full (conjugate-symmetric) column spectra. Every check and
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
#include "frame/layouts.h"
#include "linear/dgt_lattice.h"
#include "linear/dgt_periodic_signal.h"
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

// Column c's frames, expanded to full spectra, land contiguously at
// intermediate complex element c*depth: the first pass writes in order.
std::int32_t transformColumns(const Image2d& image, const Dimension& first, const varnel::fft::FftPlan* plan,
                              double* fftScratch, double* halfComplex, double* scratch, double* intermediate) {
    const std::int64_t depth = first.values();
    for (std::ptrdiff_t c = 0; c < image.nCols; ++c) {
        if (const std::int32_t status = realTransform(image.pixels + c, image.nCols, first.lattice, first.signal,
                                                      halfComplex, {plan, fftScratch}, scratch);
            status != kStatusOk) {
            return status;
        }
        double* full = intermediate + 2 * c * depth;
        for (std::int64_t f = 0; f < depth; f += first.lattice.bins) {
            varnel::layout::hcToCx(halfComplex + f, full + 2 * f, first.lattice.bins);
        }
    }
    return kStatusOk;
}

// Index k of the intermediate (one value per image column, depth values
// apart) is transformed into its contiguous block of F2*N2 coefficients.
std::int32_t transformRows(const Dimension& first, const Dimension& second, const varnel::fft::FftPlan* plan,
                           double* fftScratch, const double* intermediate, double* scratch, double* out) {
    const std::int64_t depth = first.values();
    const std::int64_t blockValues = second.values();
    for (std::int64_t k = 0; k < depth; ++k) {
        const double* row = intermediate + 2 * k;
        double* block = out + 2 * k * blockValues;
        if (const std::int32_t status = complexTransform({row, row + 1, 2 * depth}, second.lattice, second.signal,
                                                         {block, block + 1, 2}, {plan, fftScratch}, scratch);
            status != kStatusOk) {
            return status;
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

        // The intermediate, then the scratch of one pass at a time: a
        // column's Hc frames and its transform, or a row's transform.
        const std::size_t intermediateValues =
            varnel::elementCount({2, static_cast<std::uint64_t>(nCols), static_cast<std::uint64_t>(depth)});
        const std::size_t columnPass =
            varnel::elementSum({static_cast<std::size_t>(depth), realTransformScratch(first.lattice, first.signal)});
        const std::size_t rowPass = complexTransformScratch(second.lattice, second.signal, 2);
        const varnel::fft::Workspace<2> work(varnel::elementSum({intermediateValues, std::max(columnPass, rowPass)}),
                                             {first.lattice.bins, second.lattice.bins});
        if (!work.ok()) return kStatusNoMemory;
        double* intermediate = work.data();
        double* passScratch = intermediate + intermediateValues;

        const Image2d pixels{image, nRows, nCols};
        if (const std::int32_t status =
                transformColumns(pixels, first, work.plan(0), work.fftScratch(0), passScratch, passScratch + depth,
                                 intermediate);
            status != kStatusOk) {
            return status;
        }
        return transformRows(first, second, work.plan(1), work.fftScratch(1), intermediate, passScratch, out);
    });
}
