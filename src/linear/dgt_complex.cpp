// Complex discrete Gabor transform, for split or interleaved input.
#include <cstdint>

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

}  // namespace

extern "C" VARNEL_API int32_t CxDGTEx(const double* inRe, const double* inIm, int32_t inStride, int32_t n,
                                      const WindowSpec* spec, double* outRe, double* outIm, int32_t outStride) {
    using namespace varnel::gabor;
    return varnel::guardedExport([&]() -> std::int32_t {
        if (n < 1) return kStatusBadLength;
        Lattice lattice;
        if (const std::int32_t status = checkLattice(spec, false, lattice); status != kStatusOk) return status;
        PeriodicSignal signal;
        if (const std::int32_t status = describePeriodicSignal(n, lattice, signal); status != kStatusOk) {
            return status;
        }
        if (const std::int32_t status = varnel::ArrayCheck()
                                            .readsPair(inRe, inIm, n, inStride)
                                            .reads(lattice.window, lattice.length)
                                            .writesPair(outRe, outIm, signal.frames * lattice.bins, outStride)
                                            .status();
            status != kStatusOk) {
            return status;
        }
        // Both layouts need 2(L + P) doubles: two halves, or L + P pairs.
        varnel::ScratchBuffer<double> buffer(2 * signal.slots);
        if (!buffer.ok()) return kStatusNoMemory;

        std::int32_t shift = 0;
        switch (inputLayout(inRe, inIm, inStride)) {
            case InputLayout::Split: {
                double* re = buffer.data();
                double* im = buffer.data() + signal.slots;
                std::int32_t status = extendRealSignal(inRe, 1, n, lattice, signal, re);
                if (status == kStatusOk) status = extendRealSignal(inIm, 1, n, lattice, signal, im);
                if (status != kStatusOk) return status;
                return CxSTFTExWithShift(re, im, 1, signal.stftLength, spec, &shift, outRe, outIm, outStride);
            }
            case InputLayout::Interleaved: {
                // The pairs are read through inRe alone, so a misaligned
                // inIm is never dereferenced.
                double* pairs = buffer.data();
                if (const std::int32_t status = extendComplexSignal(inRe, n, lattice, signal, pairs);
                    status != kStatusOk) {
                    return status;
                }
                return CxSTFTExWithShift(pairs, pairs + 1, 2, signal.stftLength, spec, &shift, outRe, outIm, outStride);
            }
            case InputLayout::Unsupported:
                break;
        }
        return kStatusBadLayout;
    });
}

extern "C" VARNEL_API int32_t CxDGT(const double* x, int32_t n, const WindowSpec* spec, double* out) {
    return CxDGTEx(x, varnel::gabor::imaginaryParts(x), 2, n, spec, out, varnel::gabor::imaginaryParts(out), 2);
}
