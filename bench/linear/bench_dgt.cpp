// The real discrete Gabor transform (ReDGT) against the same coefficients
// computed by hand with FFTW, in the same process, on the same signal and
// window.
//
//   dgt/varnel/<n>        ReDGT: periodic extension, fold, rotate, reFft
//   dgt/fftw_measure/<n>  the same frames by hand: the signal extended
//                         periodically by half a window on each side, each
//                         frame windowed and rotated into a buffer of N,
//                         fftw_plan_dft_r2c_1d (FFTW_MEASURE, planned once
//                         outside the timed loop), copied into the Hc layout
//
// Lattice: periodic Hann window of L = 1024 samples, time step dM = 256,
// N = 1024 bins; signal of n = 2^20 samples, one iteration is the whole
// signal (4096 frames). LTFAT's dgtreal on the same problem is timed by
// dgt_ltfat.py next to this file.
//
// Before the first timing, Varnel's coefficients are compared with the
// hand-made ones; a disagreement marks the benchmark as failed instead of
// timing a wrong answer. --smoke runs one small signal once with
// FFTW_ESTIMATE and exits non-zero on any failure.
#include "common/bench_frame.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "varnel.h"

namespace {

using namespace varnel::bench;

constexpr std::int32_t kWindowLength = 1024;
constexpr std::int32_t kTimeStep = 256;
constexpr std::int32_t kBins = 1024;
constexpr double kTolerance = 1e-9;  // relative RMS; both sides are near 1e-15

std::int32_t signalLength() {
    return gSmoke ? (1 << 14) : (1 << 20);
}

std::int64_t frameCount(std::int32_t n) {
    return (n + kTimeStep - 1) / kTimeStep;
}

// The hand-made transform: everything FFTW does not do itself.
class FftwGabor {
public:
    explicit FftwGabor(std::int32_t n)
        : n_(n),
          window_(periodicHann(kWindowLength)),
          extended_(allocate(n + kWindowLength)),
          frame_(allocate(kBins)),
          spectrum_(allocate(2 * (kBins / 2 + 1))) {
        if (extended_ && frame_ && spectrum_) {
            plan_ = fftw_plan_dft_r2c_1d(kBins, frame_.get(), reinterpret_cast<fftw_complex*>(spectrum_.get()),
                                         plannerFlags());
        }
    }
    ~FftwGabor() {
        if (plan_) fftw_destroy_plan(plan_);
    }
    FftwGabor(const FftwGabor&) = delete;
    FftwGabor& operator=(const FftwGabor&) = delete;

    bool ok() const { return plan_ != nullptr; }

    // Frame k covers signal times k*dM - L/2 ... + L - 1 of the periodic
    // signal; window position j goes to (j + k*dM) mod N so that the phase
    // refers to the start of the extended signal. L = N: no folding.
    void transform(const double* x, double* out) {
        const std::int32_t h = kWindowLength / 2;
        double* e = extended_.get();
        std::copy(x + n_ - h, x + n_, e);
        std::copy(x, x + n_, e + h);
        std::copy(x, x + (kWindowLength - h), e + h + n_);
        const double* w = window_.data();
        double* frame = frame_.get();
        for (std::int64_t k = 0; k < frameCount(n_); ++k) {
            const double* segment = e + k * kTimeStep;
            const std::int32_t s = static_cast<std::int32_t>((k * kTimeStep) % kBins);
            for (std::int32_t j = 0; j < kBins - s; ++j) frame[j + s] = w[j] * segment[j];
            for (std::int32_t j = kBins - s; j < kBins; ++j) frame[j + s - kBins] = w[j] * segment[j];
            fftw_execute(plan_);
            double* hc = out + k * kBins;
            const double* c = spectrum_.get();
            for (std::int32_t b = 0; b <= kBins / 2; ++b) hc[b] = c[2 * b];
            for (std::int32_t b = 1; b < kBins / 2; ++b) hc[kBins - b] = c[2 * b + 1];
        }
    }

    const std::vector<double>& window() const { return window_; }

private:
    std::int32_t n_;
    std::vector<double> window_;
    Buffer extended_, frame_, spectrum_;
    fftw_plan plan_ = nullptr;
};

void dgtVarnel(benchmark::State& state) {
    const auto n = static_cast<std::int32_t>(state.range(0));
    const std::int64_t count = frameCount(n) * kBins;
    Buffer x = allocate(n), out = allocate(count), want = allocate(count);
    FftwGabor reference(n);
    if (!x || !out || !want || !reference.ok()) return fail(state, "out of memory");
    fillSignal(x.get(), n, 5);
    const WindowSpec spec{reference.window().data(), kWindowLength, kTimeStep, kBins};

    const std::int32_t status = ReDGT(x.get(), n, &spec, out.get());
    if (status != kStatusOk) return fail(state, "ReDGT returned status " + std::to_string(status));
    reference.transform(x.get(), want.get());
    const double error = relativeRmsError(out.get(), want.get(), count);
    if (!(error <= kTolerance)) {
        char message[120];
        std::snprintf(message, sizeof message, "ReDGT disagrees with FFTW: relative RMS error %.3g", error);
        return fail(state, message);
    }

    for (auto _ : state) {
        ReDGT(x.get(), n, &spec, out.get());
        benchmark::ClobberMemory();
    }
}

void dgtFftw(benchmark::State& state) {
    const auto n = static_cast<std::int32_t>(state.range(0));
    Buffer x = allocate(n), out = allocate(frameCount(n) * kBins);
    FftwGabor gabor(n);
    if (!x || !out || !gabor.ok()) return fail(state, "out of memory or FFTW could not plan");
    fillSignal(x.get(), n, 5);
    for (auto _ : state) {
        gabor.transform(x.get(), out.get());
        benchmark::ClobberMemory();
    }
}

void registerBenchmarks() {
    const std::pair<const char*, void (*)(benchmark::State&)> cases[] = {
        {"dgt/varnel", dgtVarnel},
        {"dgt/fftw_measure", dgtFftw},
    };
    for (const auto& [name, function] : cases) {
        auto* b = benchmark::RegisterBenchmark(name, function)->Arg(signalLength())->Unit(benchmark::kMicrosecond);
        if (gSmoke) b->Iterations(1);
    }
}

}  // namespace

int main(int argc, char** argv) { return varnel::bench::benchMain(argc, argv, registerBenchmarks); }
