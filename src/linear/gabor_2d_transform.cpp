// Two-dimensional Gabor transform of a real image: the real transform down
// every column, then the complex transform along every first-dimension
// index of the full (conjugate-symmetric) column spectra.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "frame/array_check.h"
#include "frame/export_guard.h"
#include "frame/scratch.h"
#include "linear/dgt_lattice.h"
#include "linear/gabor_2d_plans.h"
#include "linear/gabor_2d_size.h"
#include "varnel.h"

namespace {

using varnel::ScratchBuffer;
using varnel::gabor::Lattice;

std::int64_t frameCount(std::int32_t n, const Lattice& lattice) {
    return (std::int64_t{n} + lattice.step - 1) / lattice.step;
}

// Column c's frames, expanded to full spectra, land contiguously at
// intermediate complex element c*depth: the first pass writes in order.
std::int32_t transformColumns(const double* image, std::int32_t nRows, std::int32_t nCols, const WindowSpec* spec,
                              const Lattice& lattice, std::int64_t depth, double* intermediate) {
    ScratchBuffer<double> column(static_cast<std::size_t>(nRows));
    if (!column.ok()) return kStatusNoMemory;
    ScratchBuffer<double> halfComplex(static_cast<std::size_t>(depth));
    if (!halfComplex.ok()) return kStatusNoMemory;
    const std::ptrdiff_t stride = nCols;
    for (std::ptrdiff_t c = 0; c < nCols; ++c) {
        for (std::ptrdiff_t r = 0; r < nRows; ++r) column[r] = image[r * stride + c];
        if (const std::int32_t status = ReDGT(column.data(), nRows, spec, halfComplex.data()); status != kStatusOk) {
            return status;
        }
        double* full = intermediate + 2 * c * depth;
        for (std::int64_t f = 0; f < depth; f += lattice.bins)
            _Hc2Cx(halfComplex.data() + f, full + 2 * f, lattice.bins);
    }
    return kStatusOk;
}

// Row k of the intermediate (one value per image column) is transformed
// into its contiguous block of F2*N2 coefficients.
std::int32_t transformRows(std::int32_t nCols, const WindowSpec* spec, std::int64_t depth, std::int64_t blockValues,
                           const double* intermediate, double* out) {
    ScratchBuffer<double> row(2 * static_cast<std::size_t>(nCols));
    if (!row.ok()) return kStatusNoMemory;
    for (std::int64_t k = 0; k < depth; ++k) {
        for (std::ptrdiff_t c = 0; c < nCols; ++c) {
            row[2 * c] = intermediate[2 * (c * depth + k)];
            row[2 * c + 1] = intermediate[2 * (c * depth + k) + 1];
        }
        if (const std::int32_t status = CxDGT(row.data(), nCols, spec, out + 2 * k * blockValues);
            status != kStatusOk) {
            return status;
        }
    }
    return kStatusOk;
}

}  // namespace

extern "C" VARNEL_API int32_t DGT2d(const double* image, int32_t nRows, int32_t nCols, const WindowSpec* spec1,
                                    const WindowSpec* spec2, double* out) {
    using namespace varnel::gabor;
    return varnel::guardedExport([&]() -> std::int32_t {
        if (nRows < 1 || nCols < 1) return kStatusBadLength;
        Lattice first, second;
        if (checkLattice(spec1, false, first) != kStatusOk || checkLattice(spec2, false, second) != kStatusOk) {
            return kStatusBadWindowSpec;
        }
        const std::int64_t depth = frameCount(nRows, first) * first.bins;          // F1*N1
        const std::int64_t blockValues = frameCount(nCols, second) * second.bins;  // F2*N2
        if (const std::int32_t status = varnel::ArrayCheck()
                                            .reads(image, std::int64_t{nRows} * nCols)
                                            .reads(first.window, first.length)
                                            .reads(second.window, second.length)
                                            .writes(out, varnel::countProduct(2 * depth, blockValues))
                                            .status();
            status != kStatusOk) {
            return status;
        }

        ScratchBuffer<double> intermediate(intermediateDoubles(nCols, depth));
        if (!intermediate.ok()) return kStatusNoMemory;
        PlanPairHold plans(first.bins, second.bins);
        if (!plans.ok()) return kStatusNoMemory;
        if (const std::int32_t status = transformColumns(image, nRows, nCols, spec1, first, depth, intermediate.data());
            status != kStatusOk) {
            return status;
        }
        return transformRows(nCols, spec2, depth, blockValues, intermediate.data(), out);
    });
}
