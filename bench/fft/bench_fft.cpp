// Varnel's FFT against FFTW, in the same process, on the same data layout.
//
//   cx/varnel/<n>        cxFft on split arrays, unit strides
//   cx/fftw_measure/<n>  fftw_plan_guru_split_dft (split arrays), FFTW_MEASURE
//   re/varnel/<n>        reFft, real input to the Hc spectrum
//   re/fftw_measure/<n>  fftw_plan_dft_r2c_1d, FFTW_MEASURE
//   plan/varnel/<n>      fftPlanCreate + fftPlanRelease of a plan no one
//                        else holds: what every export pays per length,
//                        since the cache is empty between calls
//
// Plans of both libraries (and Varnel's transform scratch, taken as a routine
// running many transforms takes it) are made before the timed loop and
// released after it, so each iteration is one transform. Before a size is timed,
// Varnel's output is compared once with FFTW's; a disagreement marks the
// benchmark as failed instead of timing a wrong answer.
//
// --smoke runs a few small sizes once each with FFTW_ESTIMATE and exits
// non-zero on any failure: a check that the program works, not a timing.
#include "common/bench_frame.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "fft/plan.h"
#include "frame/scratch.h"

namespace {

using namespace varnel::bench;

namespace vf = varnel::fft;

// Relative RMS difference allowed between Varnel and FFTW: both are near
// 1e-16 for these sizes, so anything visible at 1e-9 is a wrong result.
constexpr double kTolerance = 1e-9;

std::vector<std::int32_t> benchmarkSizes() {
    if (gSmoke) {
        return {16, 53, 1000, 1009, 3072};
    }
    std::vector<std::int32_t> sizes;
    for (int p = 4; p <= 20; ++p) {
        sizes.push_back(std::int32_t{1} << p);
    }
    for (std::int32_t n : {1000, 3 * 1024, 53, 1009, 65537}) {
        sizes.push_back(n);
    }
    std::sort(sizes.begin(), sizes.end());
    return sizes;
}

// True the first time a (kind, n) pair is seen, and always in smoke mode.
bool firstRun(char kind, std::int32_t n) {
    static std::set<std::pair<char, std::int32_t>> seen;
    return seen.insert({kind, n}).second || gSmoke;
}

double relativeRmsError(const std::vector<double>& got, const std::vector<double>& want) {
    double diff = 0.0;
    double norm = 0.0;
    for (std::size_t i = 0; i < want.size(); ++i) {
        diff += (got[i] - want[i]) * (got[i] - want[i]);
        norm += want[i] * want[i];
    }
    return std::sqrt(diff / std::max(norm, 1e-300));
}

bool checkAgainstFftw(benchmark::State& state, const char* what, const std::vector<double>& got,
                      const std::vector<double>& want) {
    const double error = relativeRmsError(got, want);
    if (!(error <= kTolerance)) {
        char message[160];
        std::snprintf(message, sizeof message, "%s disagrees with FFTW: relative RMS error %.3g",
                      what, error);
        fail(state, message);
        return false;
    }
    return true;
}

// FFTW's complex DFT of split input, as [re..., im...].
std::vector<double> fftwComplexReference(std::int32_t n, const double* inRe, const double* inIm) {
    Buffer re = allocate(n), im = allocate(n), outRe = allocate(n), outIm = allocate(n);
    std::copy(inRe, inRe + n, re.get());
    std::copy(inIm, inIm + n, im.get());
    fftw_iodim dim{n, 1, 1};
    fftw_plan plan = fftw_plan_guru_split_dft(1, &dim, 0, nullptr, re.get(), im.get(), outRe.get(),
                                              outIm.get(), FFTW_ESTIMATE);
    fftw_execute(plan);
    fftw_destroy_plan(plan);
    std::vector<double> out(outRe.get(), outRe.get() + n);
    out.insert(out.end(), outIm.get(), outIm.get() + n);
    return out;
}

// FFTW's real DFT rearranged into the Hc layout: Re X[k] at k for
// k <= n/2, Im X[k] at n-k for 0 < k < n/2 (odd n: k <= (n-1)/2).
std::vector<double> fftwHcReference(std::int32_t n, const double* in) {
    Buffer x = allocate(n), spectrum = allocate(2 * (n / 2 + 1));
    std::copy(in, in + n, x.get());
    fftw_plan plan = fftw_plan_dft_r2c_1d(n, x.get(), reinterpret_cast<fftw_complex*>(spectrum.get()),
                                          FFTW_ESTIMATE);
    fftw_execute(plan);
    fftw_destroy_plan(plan);
    std::vector<double> hc(static_cast<std::size_t>(n));
    for (std::int32_t k = 0; k <= n / 2; ++k) {
        hc[k] = spectrum[2 * k];
    }
    for (std::int32_t k = 1; k < n - k; ++k) {
        hc[n - k] = spectrum[2 * k + 1];
    }
    return hc;
}

void cxVarnel(benchmark::State& state) {
    const auto n = static_cast<std::int32_t>(state.range(0));
    Buffer inRe = allocate(n), inIm = allocate(n), outRe = allocate(n), outIm = allocate(n);
    if (!inRe || !inIm || !outRe || !outIm) {
        return fail(state, "out of memory");
    }
    fillSignal(inRe.get(), n, 1);
    fillSignal(inIm.get(), n, 2);

    vf::FftPlan* plan = vf::fftPlanCreate(n);
    if (plan == nullptr) {
        return fail(state, "fftPlanCreate failed");
    }
    varnel::ScratchBuffer<double> scratch(vf::fftScratchSize(n));
    const std::int32_t status =
        vf::cxFft(plan, inRe.get(), inIm.get(), outRe.get(), outIm.get(), 1, 1, n, scratch.data());
    if (status != 0) {
        vf::fftPlanRelease(plan);
        return fail(state, "cxFft returned status " + std::to_string(status));
    }
    if (firstRun('c', n)) {
        std::vector<double> got(outRe.get(), outRe.get() + n);
        got.insert(got.end(), outIm.get(), outIm.get() + n);
        if (!checkAgainstFftw(state, "cxFft", got, fftwComplexReference(n, inRe.get(), inIm.get()))) {
            vf::fftPlanRelease(plan);
            return;
        }
    }

    for (auto _ : state) {
        vf::cxFft(plan, inRe.get(), inIm.get(), outRe.get(), outIm.get(), 1, 1, n, scratch.data());
        benchmark::ClobberMemory();
    }
    vf::fftPlanRelease(plan);
}

void cxFftw(benchmark::State& state) {
    const auto n = static_cast<std::int32_t>(state.range(0));
    Buffer inRe = allocate(n), inIm = allocate(n), outRe = allocate(n), outIm = allocate(n);
    if (!inRe || !inIm || !outRe || !outIm) {
        return fail(state, "out of memory");
    }
    fftw_iodim dim{n, 1, 1};
    // FFTW_MEASURE overwrites the arrays while planning: fill them after.
    fftw_plan plan = fftw_plan_guru_split_dft(1, &dim, 0, nullptr, inRe.get(), inIm.get(), outRe.get(),
                                              outIm.get(), plannerFlags());
    if (plan == nullptr) {
        return fail(state, "FFTW could not plan");
    }
    fillSignal(inRe.get(), n, 1);
    fillSignal(inIm.get(), n, 2);

    for (auto _ : state) {
        fftw_execute(plan);
        benchmark::ClobberMemory();
    }
    fftw_destroy_plan(plan);
}

void reVarnel(benchmark::State& state) {
    const auto n = static_cast<std::int32_t>(state.range(0));
    Buffer in = allocate(n), out = allocate(n);
    if (!in || !out) {
        return fail(state, "out of memory");
    }
    fillSignal(in.get(), n, 3);

    vf::FftPlan* plan = vf::fftPlanCreate(n);
    if (plan == nullptr) {
        return fail(state, "fftPlanCreate failed");
    }
    varnel::ScratchBuffer<double> scratch(vf::fftScratchSize(n));
    const std::int32_t status = vf::reFft(plan, in.get(), out.get(), 1, 1, n, scratch.data());
    if (status != 0) {
        vf::fftPlanRelease(plan);
        return fail(state, "reFft returned status " + std::to_string(status));
    }
    if (firstRun('r', n)) {
        std::vector<double> got(out.get(), out.get() + n);
        if (!checkAgainstFftw(state, "reFft", got, fftwHcReference(n, in.get()))) {
            vf::fftPlanRelease(plan);
            return;
        }
    }

    for (auto _ : state) {
        vf::reFft(plan, in.get(), out.get(), 1, 1, n, scratch.data());
        benchmark::ClobberMemory();
    }
    vf::fftPlanRelease(plan);
}

void reFftw(benchmark::State& state) {
    const auto n = static_cast<std::int32_t>(state.range(0));
    Buffer in = allocate(n), spectrum = allocate(2 * (n / 2 + 1));
    if (!in || !spectrum) {
        return fail(state, "out of memory");
    }
    fftw_plan plan = fftw_plan_dft_r2c_1d(n, in.get(), reinterpret_cast<fftw_complex*>(spectrum.get()),
                                          plannerFlags());
    if (plan == nullptr) {
        return fail(state, "FFTW could not plan");
    }
    fillSignal(in.get(), n, 3);

    for (auto _ : state) {
        fftw_execute(plan);
        benchmark::ClobberMemory();
    }
    fftw_destroy_plan(plan);
}

void planVarnel(benchmark::State& state) {
    const auto n = static_cast<std::int32_t>(state.range(0));
    for (auto _ : state) {
        vf::FftPlan* plan = vf::fftPlanCreate(n);
        if (plan == nullptr) {
            return fail(state, "fftPlanCreate failed");
        }
        vf::fftPlanRelease(plan);
    }
}

void registerBenchmarks() {
    const std::pair<const char*, void (*)(benchmark::State&)> cases[] = {
        {"cx/varnel", cxVarnel},
        {"cx/fftw_measure", cxFftw},
        {"re/varnel", reVarnel},
        {"re/fftw_measure", reFftw},
        {"plan/varnel", planVarnel},
    };
    for (std::int32_t n : benchmarkSizes()) {
        for (const auto& [name, function] : cases) {
            auto* b = benchmark::RegisterBenchmark(name, function)->Arg(n)->Unit(benchmark::kNanosecond);
            if (gSmoke) {
                b->Iterations(1);
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) { return varnel::bench::benchMain(argc, argv, registerBenchmarks); }
