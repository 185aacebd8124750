// The reassigned spectrograms against the plain spectrograms of the same
// grid, in the same process, on the same signal and window:
//
//   rsp/varnel/<K>    ReReassignedSTFTSp: three windowed real FFTs per frame,
//                     energies moved to their reassigned cells, rows of K/2
//   rsp/stftsp/<K>    ReSTFTsp on the same grid: one real FFT per frame
//   crsp/varnel/<K>   CxReassignedSTFTSp on complex samples, rows of K
//   crsp/stftsp/<K>   CxSTFTsp on the same grid
//
// Signal: 2^20 random samples (real, or complex pairs); periodic Hann window
// of length L = K, hop K/4, for K = 256, 1024 and 4096. One iteration is the
// whole signal. reassigned_numpy.py next to this file times the same
// reassignment written with numpy (<group>/numpy/<K>).
//
// Before a size is timed, the reassigned output is checked against the
// plain spectrogram: reassignment only moves or drops energy, so its total
// may not exceed the plain total, and on a random signal over thousands of
// frames it must keep nearly all of it. A violation fails the benchmark
// instead of timing a wrong answer. --smoke runs two small sizes once each.
#include <cstdint>
#include <string>
#include <vector>

#include "common/bench_frame.h"
#include "varnel.h"

namespace {

using namespace varnel::bench;

using Spectrogram = std::int32_t (*)(const double*, std::int32_t, const WindowSpec*, double*);

std::int32_t signalLength() { return gSmoke ? (1 << 14) : (1 << 20); }

std::vector<std::int32_t> binCounts() {
    if (gSmoke) return {64, 1024};
    return {256, 1024, 4096};
}

struct Problem {
    bool real;
    std::int32_t n, k, length, step;
    std::int64_t frames;
    std::vector<double> window;
    Buffer x, out, plain;

    Problem(bool isReal, std::int32_t binCount)
        : real(isReal),
          n(signalLength()),
          k(binCount),
          length(binCount),
          step(binCount / 4),
          frames((n - length) / step + 1),
          window(periodicHann(length)),
          x(allocate(real ? n : 2LL * n)),
          out(allocate(outputSize())),
          plain(allocate(outputSize())) {
        if (x) fillSignal(x.get(), real ? n : 2LL * n, 7);
    }
    bool ok() const { return x && out && plain; }
    std::int64_t outputSize() const { return frames * (real ? k / 2 : k); }
    WindowSpec spec() const { return WindowSpec{window.data(), length, step, k}; }
    Spectrogram reassigned() const { return real ? ReReassignedSTFTSp : CxReassignedSTFTSp; }
    Spectrogram stft() const { return real ? ReSTFTsp : CxSTFTsp; }
};

bool checkEnergy(benchmark::State& state, Problem& p) {
    const WindowSpec spec = p.spec();
    const std::int32_t status = p.reassigned()(p.x.get(), p.n, &spec, p.out.get());
    const std::int32_t plainStatus = p.stft()(p.x.get(), p.n, &spec, p.plain.get());
    if (status != kStatusOk || plainStatus != kStatusOk) {
        fail(state, "status " + std::to_string(status) + " (reassigned), " + std::to_string(plainStatus) + " (plain)");
        return false;
    }
    double total = 0.0, plainTotal = 0.0;
    for (std::int64_t i = 0; i < p.outputSize(); ++i) total += p.out[i], plainTotal += p.plain[i];
    if (!(total <= plainTotal * (1 + 1e-9) && total >= 0.9 * plainTotal)) {
        char message[160];
        std::snprintf(message, sizeof message, "reassigned energy %.6g against plain %.6g", total, plainTotal);
        fail(state, message);
        return false;
    }
    return true;
}

void timeSpectrogram(benchmark::State& state, bool real, bool reassigned) {
    Problem p(real, static_cast<std::int32_t>(state.range(0)));
    if (!p.ok()) return fail(state, "out of memory");
    if (!checkEnergy(state, p)) return;
    const WindowSpec spec = p.spec();
    const Spectrogram call = reassigned ? p.reassigned() : p.stft();
    for (auto _ : state) {
        call(p.x.get(), p.n, &spec, p.out.get());
        benchmark::ClobberMemory();
    }
    state.counters["frames"] = static_cast<double>(p.frames);
}

void registerBenchmarks() {
    const std::pair<const char*, void (*)(benchmark::State&)> cases[] = {
        {"rsp/varnel", [](benchmark::State& s) { timeSpectrogram(s, true, true); }},
        {"rsp/stftsp", [](benchmark::State& s) { timeSpectrogram(s, true, false); }},
        {"crsp/varnel", [](benchmark::State& s) { timeSpectrogram(s, false, true); }},
        {"crsp/stftsp", [](benchmark::State& s) { timeSpectrogram(s, false, false); }},
    };
    for (const auto& [name, function] : cases) {
        for (const std::int32_t k : binCounts()) {
            auto* b = benchmark::RegisterBenchmark(name, function)->Arg(k)->Unit(benchmark::kMicrosecond);
            if (gSmoke) b->Iterations(1);
        }
    }
}

}  // namespace

int main(int argc, char** argv) { return varnel::bench::benchMain(argc, argv, registerBenchmarks); }
