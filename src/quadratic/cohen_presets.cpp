// Choi-Williams and cone-shaped distributions: a kernel table of nFreq rows
// by nextPow2(N) Doppler columns, handed to Cohen. With that width Cohen
// computes only when the slices cover more than half of nextPow2(N)
// samples (floor(N/timeStep)*timeStep > nextPow2(N)/2) and answers 28
// otherwise.
#include <cstddef>
#include <cstdint>

#include "frame/export_guard.h"
#include "frame/next_pow2.h"
#include "frame/scratch.h"
#include "quadratic/cohen_stages.h"
#include "quadratic/wigner_grid.h"
#include "quadratic/wigner_stages.h"
#include "varnel.h"

namespace {

using namespace varnel;

using KernelFill = void (*)(std::int32_t, std::int32_t, double, double*) noexcept;

std::int32_t presetDistribution(const double* re, const double* im, std::int32_t n, std::int32_t nFreq,
                                std::int32_t timeStep, double parameter, std::int32_t analytic, double* out,
                                KernelFill fill) {
    if (n < 1) return kStatusBadLength;
    if (!wigner::isPowerOfTwo(timeStep)) return kStatusBadDecimation;
    // nFreq is tested as a bit pattern: 0 (and INT32_MIN) pass here.
    const auto bits = static_cast<std::uint32_t>(nFreq);
    if ((bits & (bits - 1U)) != 0) return kStatusBadBinCount;
    // What Cohen answers for these, without building an empty table first.
    if (nFreq < 1) return kStatusBadKernelSize;
    const wigner::WignerGrid grid = wigner::wignerGrid(im, analytic, n, nFreq, timeStep);
    if (re == nullptr || (out == nullptr && grid.outputCount() > 0)) return kStatusBadLength;
    if (n > wigner::kMaxSignalLength) return kStatusNoMemory;

    const std::int32_t width = nextPow2(n);
    ScratchBuffer<double> table(static_cast<std::size_t>(nFreq) * static_cast<std::size_t>(width));
    if (!table.ok()) return kStatusNoMemory;
    fill(nFreq, width, parameter, table.data());
    return Cohen(re, im, n, table.data(), nFreq, width, timeStep, analytic, out);
}

}  // namespace

extern "C" {

VARNEL_API int32_t CWD(const double* re, const double* im, int32_t N, int32_t nFreq, int32_t timeStep, double sigma,
                       int32_t analytic, double* out) {
    return guardedExport([&] {
        return presetDistribution(re, im, N, nFreq, timeStep, sigma, analytic, out, wigner::choiWilliamsKernel);
    });
}

VARNEL_API int32_t CSD(const double* re, const double* im, int32_t N, int32_t nFreq, int32_t timeStep, double alpha,
                       int32_t analytic, double* out) {
    return guardedExport([&] {
        return presetDistribution(re, im, N, nFreq, timeStep, alpha, analytic, out, wigner::coneKernel);
    });
}

}  // extern "C"
