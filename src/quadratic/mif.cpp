// Mean instantaneous frequency of the Gabor spectrogram: first frequency
// moment over energy at each fine instant. Numerator and denominator are
// built alike from one of each pair of opposite terms, so no factor is
// needed for the omitted halves: it cancels in the quotient.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <initializer_list>

#include "frame/array_check.h"
#include "frame/export_guard.h"
#include "frame/numbers.h"
#include "quadratic/gabor_sp_doppler.h"
#include "fft/plan_hold.h"
#include "quadratic/gabor_sp_sizes.h"
#include "quadratic/mif_stages.h"
#include "quadratic/mif_workspace.h"
#include "varnel.h"

namespace varnel::gaborsp {
namespace {

std::int32_t checkMifArguments(std::int32_t M, std::int32_t N, std::int32_t dM, double a, std::int32_t order,
                               std::int32_t K2) noexcept {
    if (M < 1 || !isPowerOfTwo(N)) return kStatusBadLength;
    if (!(a > 0.0)) return kStatusNotPositiveParam;  // a NaN fails too
    if (!isPowerOfTwo(dM)) return kStatusBadWindowSpec;
    if (order < 0) return kStatusBadOrder;
    if (K2 < 0) return kStatusNegativeParam;
    return kStatusOk;
}

// acc block b (K2 blocks of NT) += DFT(seq[0..len-1], zero-padded to NT) *
// G block b. work is scratch of 2*NT complex values.
std::int32_t mifTimeAccumulate(const TimeGrid& grid, SplitComplex seq, std::int32_t len, SplitComplex G,
                               SplitComplex work, SplitComplex acc) {
    const std::ptrdiff_t NT = grid.NT;
    const SplitComplex padded = work;
    const SplitComplex spectrum = work.offset(NT);
    for (std::ptrdiff_t m = 0; m < len; ++m) {
        padded.re[m] = seq.re[m];
        padded.im[m] = seq.im[m];
    }
    clearComplex(padded.offset(len), NT - len);
    const std::int32_t status = fft::cxFft(grid.plan, padded.re, padded.im, spectrum.re, spectrum.im, 1, 1, grid.NT,
                                                 grid.fftScratch);
    if (status != kStatusOk) return status;
    for (std::int32_t b = 0; b < grid.K2; ++b) multiplyAccumulate(spectrum, G.offset(b * NT), acc.offset(b * NT), NT);
    return kStatusOk;
}

// dm = 0 .. D; dn = 0 .. D for dm = 0 (its negative offsets are the
// opposites of these), -(D - dm) .. D - dm ascending otherwise.
template <class Term>
std::int32_t forEachMifTerm(std::int32_t D, Term&& term) {
    for (std::int32_t dm = 0; dm <= D; ++dm) {
        for (std::int32_t dn = dm == 0 ? 0 : dm - D; dn <= D - dm; ++dn) {
            if (const std::int32_t status = term(dm, dn); status != kStatusOk) return status;
        }
    }
    return kStatusOk;
}

struct MifTerms {
    const GaborCoefficients& lattice;
    const TimeGrid& time;
    const MifWorkspace& space;

    std::int32_t add(std::int32_t dm, std::int32_t dn) const {
        // A time offset so large that the frequency integral has underflowed
        // to zero adds nothing; skipping it also keeps an infinite centroid
        // shift (tiny a) from turning that zero into a NaN.
        if (dm > 0 && mifCrossDecay(lattice.dM, dm, time.a) == 0.0) return kStatusOk;
        const std::int32_t rows = lattice.M - dm;
        const SplitComplex G = space.kernel();
        const std::ptrdiff_t kernelSize = static_cast<std::ptrdiff_t>(time.K2) * time.NT;
        mifTermSums(lattice, time.a, dm, dn, space.numerator(), space.denominator());
        // Centred on the pair's midpoint rounded down to a whole sample.
        const double centre = static_cast<double>((static_cast<std::int64_t>(dm) * lattice.dM) / 2);
        std::int32_t status = timeGaussianKernel(time, 2.0 * dn * kPi / lattice.N, centre, space.table(), G);
        if (status != kStatusOk) return status;
        if (dm == 0 && dn == 0) scaleComplex(G, kernelSize, 0.5);
        status = mifTimeAccumulate(time, space.numerator(), rows, G, space.work(), space.numeratorAcc());
        if (status == kStatusOk)
            status = mifTimeAccumulate(time, space.denominator(), rows, G, space.work(), space.denominatorAcc());
        if (status != kStatusOk || dn != 0) return status;
        // The zero-frequency atoms count at half the weight of the others.
        scaleComplex(G, kernelSize, 0.5);
        mifDcTerm(lattice, time.a, dm, space.dcSequence());
        return mifTimeAccumulate(time, space.dcSequence(), rows, G, space.work(), space.denominatorAcc());
    }
};

// Sample q of phase block b is fine time q*K2 + b.
void writeQuotient(std::int32_t M, std::int32_t K2, std::int32_t NT, const double* num, const double* den,
                   double* out) {
    const std::ptrdiff_t count = static_cast<std::ptrdiff_t>(M - 1) * K2;
    for (std::ptrdiff_t t = 0; t < count; ++t) {
        const std::ptrdiff_t k = (t % K2) * NT + t / K2;
        out[t] = num[k] / den[k];
    }
}

std::int32_t meanInstantaneousFrequency(const double* coefs, std::int32_t M, std::int32_t N, std::int32_t dM, double a,
                                        std::int32_t order, std::int32_t K2, double* out) {
    const std::int32_t NT = timeFftLength(12.0 * std::sqrt(2.0 * a), dM, M);
    if (NT == 0) return kStatusNoMemory;
    const MifWorkspace space(M, K2, NT);
    if (!space.ok()) return kStatusNoMemory;
    const fft::PlanHold plan(NT);
    if (!plan.ok()) return kStatusNoMemory;

    const GaborCoefficients lattice{coefs, M, N, dM};
    const TimeGrid time{plan.get(), space.fftScratch(), NT, dM, K2, a};
    const MifTerms terms{lattice, time, space};
    const std::int32_t D = std::min(order, std::min(M, N) - 1);
    std::int32_t status = forEachMifTerm(D, [&](std::int32_t dm, std::int32_t dn) { return terms.add(dm, dn); });
    for (const SplitComplex acc : {space.numeratorAcc(), space.denominatorAcc()})
        if (status == kStatusOk) status = dopplerBlocksToTime(plan.get(), space.fftScratch(), NT, acc, K2, space.hc());
    if (status != kStatusOk) return status;
    writeQuotient(M, K2, NT, space.numeratorAcc().re, space.denominatorAcc().re, out);
    return kStatusOk;
}

}  // namespace
}  // namespace varnel::gaborsp

extern "C" {

VARNEL_API int32_t MIFOfGaborSp(const double* coefs, int32_t M, int32_t N, int32_t dM, double a, int32_t order,
                                int32_t K2, double* out) {
    return varnel::guardedExport([&]() -> std::int32_t {
        using namespace varnel::gaborsp;
        if (const std::int32_t status = checkMifArguments(M, N, dM, a, order, K2); status != kStatusOk) return status;
        // (M - 1)*K2 = 0 output values: nothing to compute or write.
        if (M == 1 || K2 == 0) return kStatusOk;
        const std::int64_t coefValues = 2 * std::int64_t{M} * N;
        if (const std::int32_t status =
                varnel::ArrayCheck().reads(coefs, coefValues).writes(out, std::int64_t{M - 1} * K2).status();
            status != kStatusOk) {
            return status;
        }
        return meanInstantaneousFrequency(coefs, M, N, dM, a, order, K2, out);
    });
}

}  // extern "C"
