// The Gabor spectrogram: every term of the order band is smoothed along
// frequency per lattice time, then along time per output bin, and the time
// convolutions of all terms are summed in the Doppler domain so that only
// one inverse transform per (bin, phase) is needed at the end.
#include <cmath>
#include <cstddef>

#include "frame/array_check.h"
#include "frame/export_guard.h"
#include "frame/numbers.h"
#include "quadratic/gabor_sp_doppler.h"
#include "fft/plan_hold.h"
#include "quadratic/gabor_sp_request.h"
#include "quadratic/gabor_sp_sizes.h"
#include "quadratic/gabor_sp_stages.h"
#include "quadratic/gabor_sp_workspace.h"
#include "varnel.h"

namespace varnel::gaborsp {
namespace {

struct TermStages {
    const GaborCoefficients& lattice;
    const FrequencyGrid& frequency;
    const TimeGrid& time;
    const SpectrogramWorkspace& space;

    std::int32_t add(std::int32_t dm, std::int32_t dn, double weight) const {
        const std::int32_t M = lattice.M, N = lattice.N;
        const SplitComplex P = space.products(), R = space.smoothed();
        gaborCrossProducts(lattice, dm, dn, P);
        // The kernel centre dn*pi/N repeats every 2N of dn (a whole turn);
        // reducing a far-wrapped offset keeps its samples accurate.
        const std::int64_t centreOffset = dn % (2 * std::int64_t{N});
        std::int32_t status = freqGaussianKernel(frequency, -static_cast<double>(dm) * lattice.dM,
                                                 static_cast<double>(centreOffset) * kPi / N, space.table(),
                                                 space.freqKernel());
        if (status == kStatusOk) status = freqSmooth(frequency, P, M, M - dm, space.freqKernel(), space.work(), R);
        if (status == kStatusOk)
            status = timeGaussianKernel(time, 2.0 * dn * kPi / N, static_cast<double>(dm) * lattice.dM / 2.0,
                                        space.table(), space.timeKernel());
        if (status != kStatusOk) return status;
        if (weight != 1.0) scaleComplex(space.timeKernel(), static_cast<std::ptrdiff_t>(time.K2) * time.NT, weight);
        return timeSmoothAccumulate(time, R, M, frequency.nF, space.timeKernel(), space.work(), space.accumulator());
    }
};

// The inverse transforms left the time samples in the real parts of the
// accumulator blocks [f][b]; sample q of block (f, b) is fine time q*K2 + b.
void writeSpectrogram(const SpectrogramShape& s, SplitComplex acc, double scale, double* out) {
    const std::ptrdiff_t NT = s.NT, K2 = s.K2, nF = s.nF;
    for (std::ptrdiff_t q = 0; q < s.M; ++q)
        for (std::ptrdiff_t b = 0; b < K2; ++b)
            for (std::ptrdiff_t f = 0; f < nF; ++f) out[(q * K2 + b) * nF + f] = acc.re[(f * K2 + b) * NT + q] * scale;
}

std::int32_t gaborSpectrogram(const SpectrogramRequest& r, double* out) {
    const std::int32_t NT = timeFftLength(6.3 * std::sqrt(r.a), r.dM, r.M);
    if (NT == 0) return kStatusNoMemory;
    const SpectrogramShape shape{r.M, r.N, r.K1, r.K2, NT, r.nF};
    const SpectrogramWorkspace space(shape);
    if (!space.ok()) return kStatusNoMemory;
    const fft::PlanHold frequencyPlan(r.N);
    const fft::PlanHold timePlan(NT);
    if (!frequencyPlan.ok() || !timePlan.ok()) return kStatusNoMemory;

    const GaborCoefficients lattice{r.coefs, r.M, r.N, r.dM};
    const FrequencyGrid frequency{frequencyPlan.get(), space.fftScratch(), r.N, r.K1, std::int64_t{r.N} * r.K1,
                                  r.f0, r.nF, r.a};
    const TimeGrid time{timePlan.get(), space.fftScratch(), NT, r.dM, r.K2, r.a};
    const TermStages stages{lattice, frequency, time, space};
    std::int32_t status = forEachSpectrogramTerm(
        orderBand(r.lowOrder, r.highOrder, r.M, r.N), r.M,
        [&](std::int32_t dm, std::int32_t dn, double weight) { return stages.add(dm, dn, weight); });
    if (status == kStatusOk)
        status = dopplerBlocksToTime(time.plan, time.fftScratch, NT, space.accumulator(), std::int64_t{r.nF} * r.K2,
                                     space.hc());
    if (status != kStatusOk) return status;

    const double scale = static_cast<double>(r.dM) * r.dM * 4.0 / r.N / r.N / static_cast<double>(frequency.L);
    writeSpectrogram(shape, space.accumulator(), scale, out);
    return kStatusOk;
}

}  // namespace
}  // namespace varnel::gaborsp

extern "C" {

VARNEL_API int32_t CxGaborSp(const double* coefs, int32_t M, int32_t N, int32_t dM, double a, int32_t lowOrder,
                             int32_t highOrder, int32_t K2, int32_t K1, int32_t f0, int32_t nF, double* out) {
    return varnel::guardedExport([&]() -> std::int32_t {
        using namespace varnel::gaborsp;
        const SpectrogramRequest request{coefs, M, N, dM, a, lowOrder, highOrder, K2, K1, f0, nF};
        if (const std::int32_t status = checkSpectrogramRequest(request); status != kStatusOk) return status;
        // No output instants: nothing to compute or write (and no kernel
        // length to divide by).
        if (K2 == 0) return kStatusOk;
        const std::int64_t coefValues = 2 * std::int64_t{M} * N;
        const std::int64_t outValues = varnel::countProduct(std::int64_t{M} * K2, nF);
        if (const std::int32_t status = varnel::ArrayCheck().reads(coefs, coefValues).writes(out, outValues).status();
            status != kStatusOk) {
            return status;
        }
        return gaborSpectrogram(request, out);
    });
}

}  // extern "C"
