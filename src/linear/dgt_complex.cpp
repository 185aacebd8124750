// Complex discrete Gabor transform, for split or interleaved input.
#include <cstdint>

#include "fft/plan_hold.h"
#include "frame/array_check.h"
#include "frame/export_guard.h"
#include "frame/scratch.h"
#include "linear/dgt_lattice.h"
#include "linear/dgt_pairs.h"
#include "linear/dgt_periodic_signal.h"
#include "varnel.h"

namespace {

enum class InputLayout { Split, Interleaved, Unsupported };

// Interleaved input is recognised by its stride and by inIm pointing into
// the double right after inRe: the byte distance with its three low bits
// cleared is 8. The distance is taken on integers, as the two pointers may
// belong to unrelated arrays.
InputLayout inputLayout(const double* inRe, const double* inIm, std::int32_t inStride) {
    if (inStride == 1) return InputLayout::Split;
    if (inStride != 2) return InputLayout::Unsupported;
    const auto distance =
        static_cast<std::intptr_t>(reinterpret_cast<std::uintptr_t>(inIm) - reinterpret_cast<std::uintptr_t>(inRe));
    return (distance & ~std::intptr_t{7}) == 8 ? InputLayout::Interleaved : InputLayout::Unsupported;
}

std::int32_t complexDgt(const double* inRe, const double* inIm, std::int32_t inStride, std::int32_t n,
                        const WindowSpec* spec, double* outRe, double* outIm, std::int32_t outStride) {
    using namespace varnel::gabor;
    Lattice lattice;
    PeriodicSignal signal;
    if (const std::int32_t status = checkTransform(n, spec, lattice, signal); status != kStatusOk) return status;
    if (const std::int32_t status = varnel::ArrayCheck()
                                        .readsPair(inRe, inIm, n, inStride)
                                        .reads(lattice.window, lattice.length)
                                        .writesPair(outRe, outIm, signal.frames * lattice.bins, outStride)
                                        .status();
        status != kStatusOk) {
        return status;
    }
    // The layout is judged once the scratch is held and before the plan
    // is taken, so that a refused layout never builds one.
    const std::size_t own = complexTransformScratch(lattice, signal, outStride);
    const std::size_t binsScratch = varnel::fft::fftScratchSize(lattice.bins);
    const std::int32_t correlation = signal.correlationLength;
    const varnel::ScratchBuffer<double> scratch(own + binsScratch +
                                                (correlation != 0 ? varnel::fft::fftScratchSize(correlation) : 0));
    if (!scratch.ok()) return kStatusNoMemory;
    const InputLayout layout = inputLayout(inRe, inIm, inStride);
    if (layout == InputLayout::Unsupported) return kStatusBadLayout;
    const varnel::fft::PlanHold plan(lattice.bins);
    if (!plan.ok()) return kStatusNoMemory;
    const varnel::fft::PlanHold correlationPlan(correlation);
    if (correlation != 0 && !correlationPlan.ok()) return kStatusNoMemory;
    // Interleaved pairs are read through inRe alone, so a misaligned
    // inIm is never dereferenced.
    const varnel::ConstSplitComplex x = layout == InputLayout::Split
                                              ? varnel::ConstSplitComplex{inRe, inIm, 1}
                                              : varnel::ConstSplitComplex{inRe, inRe + 1, 2};
    double* binsFftScratch = scratch.data() + own;
    return complexTransform(x, lattice, signal, {outRe, outIm, outStride},
                            {plan.get(), binsFftScratch, correlationPlan.get(), binsFftScratch + binsScratch},
                            scratch.data());
}

}  // namespace

extern "C" VARNEL_API int32_t CxDGTEx(const double* inRe, const double* inIm, int32_t inStride, int32_t n,
                                      const WindowSpec* spec, double* outRe, double* outIm, int32_t outStride) {
    return varnel::guardedExport([&] { return complexDgt(inRe, inIm, inStride, n, spec, outRe, outIm, outStride); });
}

extern "C" VARNEL_API int32_t CxDGT(const double* x, int32_t n, const WindowSpec* spec, double* out) {
    using varnel::gabor::imaginaryParts;
    return varnel::guardedExport([&] { return complexDgt(x, imaginaryParts(x), 2, n, spec, out, imaginaryParts(out), 2); });
}
