#include "fft/rader_setup.h"

#include "fft/unit_roots.h"
#include "frame/scratch.h"

namespace varnel::fft {
namespace {

bool hasFullOrder(std::int64_t g, std::int64_t p) {
    std::int64_t power = g;
    for (std::int64_t order = 1; order < p - 1; ++order) {
        if (power == 1) return false;
        power = (power * g) % p;
    }
    return power == 1;
}

// scatter = [0, 1, g, g^2, ..., g^(p-2)], gather = [0, 1, g^-1, ..., g^-(p-2)]
// where g^-s = g^(p-1-s).
void fillIndexTables(std::int32_t* gather, std::int32_t* scatter, std::int64_t g, std::int64_t p) {
    gather[0] = scatter[0] = 0;
    std::int64_t power = 1;
    for (std::int64_t t = 0; t <= p - 2; ++t) {
        scatter[1 + t] = static_cast<std::int32_t>(power);
        gather[t == 0 ? 1 : p - t] = static_cast<std::int32_t>(power);
        power = (power * g) % p;
    }
}

// DFT of b[t] = exp(-2 pi i g^t / p) / (p-1): the convolution kernel, with
// the 1/(p-1) of the inverse transform folded in.
bool fillKernelSpectrum(FftStage& stage, std::int32_t p) {
    const std::int64_t len = p - 1;
    ScratchBuffer<double> roots(2 * static_cast<std::size_t>(len));
    ScratchBuffer<double> kernel(2 * static_cast<std::size_t>(len));
    if (!roots.ok() || !kernel.ok()) return false;
    double* rootRe = roots.data();
    double* rootIm = roots.data() + len;
    unitRoots(1, p, 1, len, rootRe, rootIm, 1);
    const double scale = 1.0 / static_cast<double>(len);
    for (std::int64_t t = 0; t < len; ++t) {
        const std::int32_t r = stage.raderScatter[1 + t];
        kernel[t] = rootRe[r - 1] * scale;
        kernel[len + t] = rootIm[r - 1] * scale;
    }
    return cxFft(stage.raderPlan, kernel.data(), kernel.data() + len, stage.raderRe, stage.raderIm, 1, 1,
                 static_cast<std::int32_t>(len)) == 0;
}

}  // namespace

std::int32_t primitiveRoot(std::int32_t p) noexcept {
    for (std::int64_t g = 2; g < p; ++g)
        if (hasFullOrder(g, p)) return static_cast<std::int32_t>(g);
    return 1;
}

bool setUpRaderStage(FftStage& stage, std::int32_t p) noexcept {
    stage.raderPlan = fftPlanCreate(p - 1);
    stage.raderGather = static_cast<std::int32_t*>(scratchAllocate(p, sizeof(std::int32_t)));
    stage.raderScatter = static_cast<std::int32_t*>(scratchAllocate(p, sizeof(std::int32_t)));
    stage.raderRe = static_cast<double*>(scratchAllocate(p - 1, sizeof(double)));
    stage.raderIm = static_cast<double*>(scratchAllocate(p - 1, sizeof(double)));
    if (!stage.raderPlan || !stage.raderGather || !stage.raderScatter || !stage.raderRe || !stage.raderIm)
        return false;
    fillIndexTables(stage.raderGather, stage.raderScatter, primitiveRoot(p), p);
    return fillKernelSpectrum(stage, p);
}

}  // namespace varnel::fft
