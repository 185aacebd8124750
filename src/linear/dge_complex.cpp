// Complex discrete Gabor expansion with coefficients and signal in any
// strided layout (interleaved, split, or strided pairs of arrays).
#include <cstdint>

#include "fft/plan_hold.h"
#include "frame/array_check.h"
#include "frame/export_guard.h"
#include "linear/dge_synthesis.h"
#include "linear/dgt_lattice.h"
#include "linear/dgt_pairs.h"
#include "linear/stft_frames.h"
#include "varnel.h"

namespace {

std::int32_t complexDge(varnel::ConstSplitComplex coef, std::int32_t F, std::int32_t N, const WindowSpec* spec,
                        varnel::SplitComplex out, std::int32_t outLength) {
    using namespace varnel::gabor;
    if (outLength < 1 || F < 1 || N < 1) return kStatusBadLength;
    Lattice lattice;
    if (const std::int32_t status = checkLatticeWithBins(spec, N, false, lattice); status != kStatusOk) return status;
    if (const std::int32_t status = varnel::ArrayCheck()
                                        .readsPair(coef.re, coef.im, std::int64_t{F} * N, coef.stride)
                                        .reads(lattice.window, lattice.length)
                                        .writesPair(out.re, out.im, outLength, out.stride)
                                        .status();
        status != kStatusOk) {
        return status;
    }
    const ExpansionRoute route = expansionRoute(lattice, F, 2);
    const varnel::fft::Workspace<2> work(route.scratch, {lattice.bins, route.correlationLength});
    if (!work.ok()) return kStatusNoMemory;
    return expandComplex(coef, F, lattice, out, outLength, transformPlans(work), work.data());
}

}  // namespace

extern "C" VARNEL_API int32_t CxDGEEx(const double* inRe, const double* inIm, int32_t inStride, int32_t F, int32_t N,
                                      const WindowSpec* spec, double* outRe, double* outIm, int32_t outStride,
                                      int32_t outLength) {
    return varnel::guardedExport(
        [&] { return complexDge({inRe, inIm, inStride}, F, N, spec, {outRe, outIm, outStride}, outLength); });
}

extern "C" VARNEL_API int32_t CxDGE(const double* coef, int32_t F, int32_t N, const WindowSpec* spec, double* out,
                                    int32_t outLength) {
    using varnel::gabor::imaginaryParts;
    return varnel::guardedExport(
        [&] { return complexDge({coef, imaginaryParts(coef), 2}, F, N, spec, {out, imaginaryParts(out), 2}, outLength); });
}
