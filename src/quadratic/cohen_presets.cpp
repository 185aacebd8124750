// Choi-Williams and cone-shaped distributions: Cohen with a kernel of nFreq
// rows by nextPow2(N) Doppler columns, each row made when the smoothing
// reaches it. With that width the smoothing computes only when the slices
// cover more than half of nextPow2(N) samples
// (floor(N/timeStep)*timeStep > nextPow2(N)/2) and answers 28 otherwise.
#include <cstddef>
#include <cstdint>

#include "frame/export_guard.h"
#include "frame/next_pow2.h"
#include "frame/numbers.h"
#include "frame/scratch.h"
#include "quadratic/cohen_stages.h"
#include "quadratic/wigner_grid.h"
#include "quadratic/wigner_stages.h"
#include "varnel.h"

namespace {

using namespace varnel;

std::int32_t presetDistribution(const double* re, const double* im, std::int32_t n, std::int32_t nFreq,
                                std::int32_t timeStep, double parameter, std::int32_t analytic, double* out,
                                wigner::KernelRows::RowFill fill) {
    if (n < 1) return kStatusBadLength;
    if (!isPowerOfTwo(timeStep)) return kStatusBadDecimation;
    // nFreq is tested as a bit pattern: 0 (and INT32_MIN) pass here.
    const auto bits = static_cast<std::uint32_t>(nFreq);
    if ((bits & (bits - 1U)) != 0) return kStatusBadBinCount;
    // What Cohen answers for these, without building an empty table first.
    if (nFreq < 1) return kStatusBadKernelSize;
    const wigner::WignerGrid grid = wigner::wignerGrid(im, analytic, n, nFreq, timeStep);
    if (const std::int32_t status = wigner::signalArrays(grid, re, im, n, out).status(); status != kStatusOk) {
        return status;
    }
    if (n > wigner::kMaxSignalLength) return kStatusNoMemory;

    const std::int32_t width = nextPow2(n);
    // The table of nFreq rows is never formed: the smoothing asks for one
    // row at a time.
    ScratchBuffer<double> row(static_cast<std::size_t>(width));
    if (!row.ok()) return kStatusNoMemory;
    return wigner::cohenDistribution(re, im, n, wigner::KernelRows::preset(fill, parameter, nFreq, width, row.data()),
                                     nFreq, timeStep, analytic, out);
}

}  // namespace

extern "C" {

VARNEL_API int32_t CWD(const double* re, const double* im, int32_t N, int32_t nFreq, int32_t timeStep, double sigma,
                       int32_t analytic, double* out) {
    return guardedExport([&] {
        return presetDistribution(re, im, N, nFreq, timeStep, sigma, analytic, out, wigner::choiWilliamsRow);
    });
}

VARNEL_API int32_t CSD(const double* re, const double* im, int32_t N, int32_t nFreq, int32_t timeStep, double alpha,
                       int32_t analytic, double* out) {
    return guardedExport([&] {
        return presetDistribution(re, im, N, nFreq, timeStep, alpha, analytic, out, wigner::coneRow);
    });
}

}  // extern "C"
