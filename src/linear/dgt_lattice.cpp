#include "linear/dgt_lattice.h"

#include "frame/numbers.h"

namespace varnel::gabor {

std::int32_t checkLattice(const WindowSpec* spec, bool streaming, Lattice& lattice) noexcept {
    if (spec == nullptr) return kStatusBadWindowSpec;
    const std::int32_t length = spec->windowLength;
    const std::int32_t step = spec->timeStep;
    const std::int32_t bins = spec->binCount;
    if (length < 1 || step < 1 || !isPowerOfTwo(bins)) return kStatusBadWindowSpec;
    if (length % step != 0 || length % bins != 0 || bins < step) return kStatusBadWindowSpec;
    if (streaming && !isPowerOfTwo(step)) return kStatusBadWindowSpec;
    if (spec->window == nullptr) return kStatusBadWindowSpec;
    lattice = Lattice{spec->window, length, step, bins, length / 2};
    return kStatusOk;
}

std::int32_t checkLatticeWithBins(const WindowSpec* spec, std::int32_t bins, bool streaming,
                                  Lattice& lattice) noexcept {
    const std::int32_t status = checkLattice(spec, streaming, lattice);
    if (status != kStatusOk) return status;
    return bins == lattice.bins ? kStatusOk : kStatusBadWindowSpec;
}

}  // namespace varnel::gabor
