// The real spectrogram (ReSTFTsp) against the same frames done with FFTW,
// in the same process, on the same signal and window.
//
//   sp/varnel/<M>        ReSTFTsp: fold, rotate, reFft, |X|^2/M rows of M/2
//   sp/fftw_measure/<M>  the same frames by hand: window the frame into a
//                        buffer of M, fftw_plan_dft_r2c_1d (FFTW_MEASURE,
//                        planned once outside the timed loop), |X|^2/M into
//                        the same row layout
//
//   hop/varnel/<M>, hop/fftw_measure/<M>
//                        the same with hop M: every frame is new data, so
//                        each FFT starts from memory, up to M = 2^20 (on
//                        2^21 samples from M = 2^20 on, since a signal of
//                        one window is refused)
//
// Signal: 2^20 samples; periodic Hann window of length L = M, hop M/4, for
// M = 64 ... 8192. One iteration is the whole signal. scipy's spectrogram
// of the same signal is timed by stft_scipy.py next to this file.
//
// Before a size is timed, Varnel's rows are compared once with FFTW's; a
// disagreement marks the benchmark as failed instead of timing a wrong
// answer. --smoke runs two small sizes once each with FFTW_ESTIMATE and
// exits non-zero on any failure.
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

constexpr double kTolerance = 1e-9;  // relative RMS; both sides are near 1e-15

std::int32_t signalLength() { return gSmoke ? (1 << 14) : (1 << 20); }

std::vector<std::int32_t> binCounts(std::int32_t largest) {
    if (gSmoke) return {64, 1024};
    std::vector<std::int32_t> sizes;
    for (std::int32_t m = 64; m <= largest; m *= 2) sizes.push_back(m);
    return sizes;
}

// Everything a spectrogram benchmark of one bin count needs.
struct Problem {
    std::int32_t n, m, length, step;
    std::int64_t frames;
    std::vector<double> window;
    Buffer x, out;

    Problem(std::int32_t binCount, std::int32_t hopsPerWindow)
        : n(std::max(signalLength(), 2 * binCount)), m(binCount), length(binCount), step(binCount / hopsPerWindow),
          frames((n - length) / step + 1), window(periodicHann(length)), x(allocate(n)),
          out(allocate(frames * (m / 2))) {
        if (x) fillSignal(x.get(), n, 7);
    }
    bool ok() const { return x && out; }
    std::int64_t rowsSize() const { return frames * (m / 2); }
};

// The hand-made spectrogram: FFTW's plan and buffers for one bin count.
class FftwSpectrogram {
public:
    explicit FftwSpectrogram(const Problem& p)
        : p_(p), frame_(allocate(p.m)), spectrum_(allocate(2 * (p.m / 2 + 1))) {
        if (frame_ && spectrum_) {
            plan_ = fftw_plan_dft_r2c_1d(p.m, frame_.get(), reinterpret_cast<fftw_complex*>(spectrum_.get()),
                                         plannerFlags());
        }
    }
    ~FftwSpectrogram() {
        if (plan_) fftw_destroy_plan(plan_);
    }
    bool ok() const { return plan_ != nullptr; }

    void run(double* out) {
        const std::int32_t m = p_.m;
        const double q = 1.0 / m;
        const double* w = p_.window.data();
        double* b = frame_.get();
        const double* z = spectrum_.get();
        for (std::int64_t i = 0; i < p_.frames; ++i) {
            const double* x = p_.x.get() + i * p_.step;
            // L = M here: windowing is the whole fold, and the rotation that
            // Varnel applies does not change |X|.
            for (std::int32_t j = 0; j < m; ++j) b[j] = w[j] * x[j];
            fftw_execute(plan_);
            double* row = out + i * (m / 2);
            for (std::int32_t k = 0; k < m / 2; ++k) row[k] = (z[2 * k] * z[2 * k] + z[2 * k + 1] * z[2 * k + 1]) * q;
        }
    }

private:
    const Problem& p_;
    Buffer frame_, spectrum_;
    fftw_plan plan_ = nullptr;
};

bool checkAgainstFftw(benchmark::State& state, const Problem& p) {
    Buffer want = allocate(p.rowsSize());
    FftwSpectrogram reference(p);
    if (!want || !reference.ok()) {
        fail(state, "could not set up the FFTW reference");
        return false;
    }
    reference.run(want.get());
    const double error = relativeRmsError(p.out.get(), want.get(), p.rowsSize());
    if (!(error <= kTolerance)) {
        char message[128];
        std::snprintf(message, sizeof message, "ReSTFTsp disagrees with FFTW: relative RMS error %.3g", error);
        fail(state, message);
        return false;
    }
    return true;
}

void spectrogramVarnel(benchmark::State& state, std::int32_t hopsPerWindow) {
    Problem p(static_cast<std::int32_t>(state.range(0)), hopsPerWindow);
    if (!p.ok()) return fail(state, "out of memory");
    const WindowSpec spec{p.window.data(), p.length, p.step, p.m};
    const std::int32_t status = ReSTFTsp(p.x.get(), p.n, &spec, p.out.get());
    if (status != kStatusOk) return fail(state, "ReSTFTsp returned status " + std::to_string(status));
    if (!checkAgainstFftw(state, p)) return;
    for (auto _ : state) {
        ReSTFTsp(p.x.get(), p.n, &spec, p.out.get());
        benchmark::ClobberMemory();
    }
    state.counters["frames"] = static_cast<double>(p.frames);
}

void spectrogramFftw(benchmark::State& state, std::int32_t hopsPerWindow) {
    Problem p(static_cast<std::int32_t>(state.range(0)), hopsPerWindow);
    if (!p.ok()) return fail(state, "out of memory");
    FftwSpectrogram fftw(p);
    if (!fftw.ok()) return fail(state, "FFTW could not plan");
    for (auto _ : state) {
        fftw.run(p.out.get());
        benchmark::ClobberMemory();
    }
    state.counters["frames"] = static_cast<double>(p.frames);
}

void registerBenchmarks() {
    struct Sweep {
        const char* varnel;
        const char* fftw;
        std::int32_t hopsPerWindow, largest;
    };
    for (const Sweep& sweep : {Sweep{"sp/varnel", "sp/fftw_measure", 4, 8192},
                               Sweep{"hop/varnel", "hop/fftw_measure", 1, 1 << 20}}) {
        for (std::int32_t m : binCounts(sweep.largest)) {
            using Run = void (*)(benchmark::State&, std::int32_t);
            for (const auto& [name, function] : {std::pair<const char*, Run>{sweep.varnel, spectrogramVarnel},
                                                 std::pair<const char*, Run>{sweep.fftw, spectrogramFftw}}) {
                auto* b = benchmark::RegisterBenchmark(name, function, sweep.hopsPerWindow)
                              ->Arg(m)
                              ->Unit(benchmark::kMicrosecond);
                if (gSmoke) b->Iterations(1);
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) { return varnel::bench::benchMain(argc, argv, registerBenchmarks); }
