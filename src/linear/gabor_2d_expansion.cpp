// Two-dimensional Gabor expansion back to a real image: the complex
// expansion along the second dimension for every first-dimension index,
// then the real expansion down every column of what the first pass left.
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

// Block k of the coefficients becomes the complex row signal k of the
// intermediate (nCols values).
std::int32_t expandRows(const double* coef, std::int32_t F2, std::int32_t N2, const WindowSpec* spec,
                        std::int32_t nCols, std::int64_t depth, double* intermediate) {
    const std::int64_t blockValues = std::int64_t{F2} * N2;
    for (std::int64_t k = 0; k < depth; ++k) {
        if (const std::int32_t status =
                CxDGE(coef + 2 * k * blockValues, F2, N2, spec, intermediate + 2 * k * nCols, nCols);
            status != kStatusOk) {
            return status;
        }
    }
    return kStatusOk;
}

// Column c of the intermediate holds F1 complex frames; only their
// conjugate-symmetric parts are kept, so the column comes out real.
std::int32_t expandColumns(const double* intermediate, std::int32_t F1, std::int32_t N1, const WindowSpec* spec,
                           double* image, std::int32_t nRows, std::int32_t nCols) {
    const std::int64_t depth = std::int64_t{F1} * N1;
    ScratchBuffer<double> frame(2 * static_cast<std::size_t>(N1));
    if (!frame.ok()) return kStatusNoMemory;
    ScratchBuffer<double> halfComplex(static_cast<std::size_t>(depth));
    if (!halfComplex.ok()) return kStatusNoMemory;
    ScratchBuffer<double> column(static_cast<std::size_t>(nRows));
    if (!column.ok()) return kStatusNoMemory;
    const std::ptrdiff_t stride = nCols;
    std::fill(image, image + nRows * stride, 0.0);
    for (std::ptrdiff_t c = 0; c < nCols; ++c) {
        for (std::int64_t f = 0; f < depth; f += N1) {
            for (std::ptrdiff_t b = 0; b < N1; ++b) {
                const double* value = intermediate + 2 * ((f + b) * stride + c);
                frame[2 * b] = value[0];
                frame[2 * b + 1] = value[1];
            }
            _Cx2Hc(frame.data(), halfComplex.data() + f, N1);
        }
        if (const std::int32_t status = ReDGE(halfComplex.data(), F1, N1, spec, column.data(), nRows);
            status != kStatusOk) {
            return status;
        }
        for (std::ptrdiff_t r = 0; r < nRows; ++r) image[r * stride + c] = column[r];
    }
    return kStatusOk;
}

}  // namespace

extern "C" VARNEL_API int32_t DGE2d(const double* coef, int32_t F1, int32_t N1, int32_t F2, int32_t N2,
                                    const WindowSpec* spec1, const WindowSpec* spec2, double* image, int32_t nRows,
                                    int32_t nCols) {
    using namespace varnel::gabor;
    return varnel::guardedExport([&]() -> std::int32_t {
        if (F1 < 1 || F2 < 1 || N1 < 1 || N2 < 1 || nRows < 1 || nCols < 1) return kStatusBadLength;
        Lattice first, second;
        if (checkLatticeWithBins(spec1, N1, false, first) != kStatusOk ||
            checkLatticeWithBins(spec2, N2, false, second) != kStatusOk) {
            return kStatusBadWindowSpec;
        }
        const std::int64_t depth = std::int64_t{F1} * N1;
        if (const std::int32_t status = varnel::ArrayCheck()
                                            .reads(coef, varnel::countProduct(2 * depth, std::int64_t{F2} * N2))
                                            .reads(first.window, first.length)
                                            .reads(second.window, second.length)
                                            .writes(image, std::int64_t{nRows} * nCols)
                                            .status();
            status != kStatusOk) {
            return status;
        }
        ScratchBuffer<double> intermediate(intermediateDoubles(nCols, depth));
        if (!intermediate.ok()) return kStatusNoMemory;
        PlanPairHold plans(N1, N2);
        if (!plans.ok()) return kStatusNoMemory;
        if (const std::int32_t status = expandRows(coef, F2, N2, spec2, nCols, depth, intermediate.data());
            status != kStatusOk) {
            return status;
        }
        return expandColumns(intermediate.data(), F1, N1, spec1, image, nRows, nCols);
    });
}
