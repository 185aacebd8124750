// The quadratic distributions on the problems of the benchmark table, with
// the FFT work they imply done by FFTW in the same process as a floor.
//
//   wvdre<F>/varnel/<N>    WVD, real mode (half-sample grid), nFreq F
//   wvdan<F>/varnel/<N>    WVD, analytic mode
//   cwd<F>/varnel/<N>      CWD, real mode, sigma 0.05
//   <group>/fftw_floor/<N> what the same call cannot avoid, with the
//                          transforms done by FFTW (FFTW_MEASURE, planned
//                          outside the timing): the two transforms of
//                          m = nextPow2(N) that make the analysed sequence
//                          (real forward and real inverse for the half-sample
//                          grid, real forward and complex inverse for the
//                          analytic signal), the T lag transforms, for the
//                          CWD also one forward FFT of K = nextPow2(N) and
//                          one inverse of K/timeStep per lag, and one pass
//                          storing the T x nFreq/2 output (memset). The
//                          distance to this floor is what the tables,
//                          products and folds cost.
//   gaborsp/varnel/<order> CxGaborSp of orders 0 ... order on a 256 x 64
//                          lattice (dM 16, K1 = K2 = 2, the full band)
//
// Signals of N = 4096 and 16384 samples, time step 8. The numpy version of
// the same definitions is timed by wvd_numpy.py next to this file.
//
// Before a size is timed, the CWD with sigma 0 is compared with the WVD
// (they must agree); a disagreement fails the benchmark instead of timing a
// wrong answer. --smoke runs one small problem of each kind once.
#include "common/bench_frame.h"

#include <cstring>
#include <functional>

#include "frame/next_pow2.h"
#include "varnel.h"

namespace {

using varnel::bench::allocate;
using varnel::bench::Buffer;
using varnel::bench::fail;
using varnel::bench::gSmoke;

constexpr std::int32_t kTimeStep = 8;
constexpr double kSigma = 0.05;
constexpr double kTolerance = 1e-9;  // relative RMS between two routes to the same WVD

struct Problem {
    std::int32_t n;
    std::int32_t nFreq;
};

// Rows kept per slice: nFreq/2 in both real modes.
std::int64_t outputCount(const Problem& p) { return static_cast<std::int64_t>(p.n / kTimeStep) * (p.nFreq / 2); }

Problem problemOf(const benchmark::State& state) {
    return {static_cast<std::int32_t>(state.range(0)), static_cast<std::int32_t>(state.range(1))};
}

void wvdVarnel(benchmark::State& state, bool analytic) {
    const Problem p = problemOf(state);
    Buffer x = allocate(p.n), out = allocate(outputCount(p)), smoothed = allocate(outputCount(p));
    if (!x || !out || !smoothed) return fail(state, "out of memory");
    varnel::bench::fillSignal(x.get(), p.n, 11);

    const std::int32_t status = WVD(x.get(), nullptr, p.n, p.nFreq, kTimeStep, analytic, out.get());
    const std::int32_t cwdStatus = CWD(x.get(), nullptr, p.n, p.nFreq, kTimeStep, 0.0, analytic, smoothed.get());
    if (status != kStatusOk || cwdStatus != kStatusOk) {
        return fail(state, "WVD/CWD returned status " + std::to_string(status) + "/" + std::to_string(cwdStatus));
    }
    const double error = varnel::bench::relativeRmsError(smoothed.get(), out.get(), outputCount(p));
    if (!(error <= kTolerance)) return fail(state, "CWD with sigma 0 differs from WVD: " + std::to_string(error));

    for (auto _ : state) {
        WVD(x.get(), nullptr, p.n, p.nFreq, kTimeStep, analytic, out.get());
        benchmark::ClobberMemory();
    }
}

void cwdVarnel(benchmark::State& state) {
    const Problem p = problemOf(state);
    Buffer x = allocate(p.n), out = allocate(outputCount(p));
    if (!x || !out) return fail(state, "out of memory");
    varnel::bench::fillSignal(x.get(), p.n, 11);
    const std::int32_t status = CWD(x.get(), nullptr, p.n, p.nFreq, kTimeStep, kSigma, 0, out.get());
    if (status != kStatusOk) return fail(state, "CWD returned status " + std::to_string(status));
    for (auto _ : state) {
        CWD(x.get(), nullptr, p.n, p.nFreq, kTimeStep, kSigma, 0, out.get());
        benchmark::ClobberMemory();
    }
}

enum class Direction { RealForward, RealInverse, ComplexInverse };

// count transforms of length n, one after the other, on buffers that stay
// in cache.
class FftwBatch {
public:
    FftwBatch(std::int32_t n, Direction direction) : in_(allocate(2 * n + 2)), out_(allocate(2 * n + 2)) {
        if (!in_ || !out_) return;
        const unsigned flags = varnel::bench::plannerFlags();
        auto* complexIn = reinterpret_cast<fftw_complex*>(in_.get());
        auto* complexOut = reinterpret_cast<fftw_complex*>(out_.get());
        switch (direction) {
            case Direction::RealForward: plan_ = fftw_plan_dft_r2c_1d(n, in_.get(), complexOut, flags); break;
            case Direction::RealInverse: plan_ = fftw_plan_dft_c2r_1d(n, complexIn, out_.get(), flags); break;
            case Direction::ComplexInverse:
                plan_ = fftw_plan_dft_1d(n, complexIn, complexOut, FFTW_BACKWARD, flags);
                break;
        }
        varnel::bench::fillSignal(in_.get(), 2 * n + 2, 3);
    }
    ~FftwBatch() {
        if (plan_) fftw_destroy_plan(plan_);
    }
    FftwBatch(const FftwBatch&) = delete;
    FftwBatch& operator=(const FftwBatch&) = delete;

    bool ok() const { return plan_ != nullptr; }
    void run(std::int64_t count) {
        for (std::int64_t i = 0; i < count; ++i) fftw_execute(plan_);
    }

private:
    Buffer in_, out_;
    fftw_plan plan_ = nullptr;
};

// The analysed sequence's two transforms and the output store, which every
// floor has.
class SequenceAndOutput {
public:
    SequenceAndOutput(const Problem& p, bool analytic)
        : forward_(varnel::nextPow2(p.n), Direction::RealForward),
          inverse_(varnel::nextPow2(p.n), analytic ? Direction::ComplexInverse : Direction::RealInverse),
          out_(allocate(outputCount(p))),
          bytes_(static_cast<std::size_t>(outputCount(p)) * sizeof(double)) {}

    bool ok() const { return forward_.ok() && inverse_.ok() && out_; }
    void sequence() {
        forward_.run(1);
        inverse_.run(1);
    }
    void store() { std::memset(out_.get(), 0, bytes_); }

private:
    FftwBatch forward_, inverse_;
    Buffer out_;
    std::size_t bytes_;
};

void wvdFloor(benchmark::State& state, bool analytic) {
    const Problem p = problemOf(state);
    SequenceAndOutput common(p, analytic);
    FftwBatch lag(analytic ? p.nFreq / 2 : p.nFreq, Direction::RealForward);
    if (!common.ok() || !lag.ok()) return fail(state, "FFTW could not plan");
    for (auto _ : state) {
        common.sequence();
        lag.run(p.n / kTimeStep);
        common.store();
        benchmark::ClobberMemory();
    }
}

void cwdFloor(benchmark::State& state) {
    const Problem p = problemOf(state);
    const std::int32_t k = varnel::nextPow2(p.n / kTimeStep * kTimeStep);
    SequenceAndOutput common(p, false);
    FftwBatch lag(p.nFreq, Direction::RealForward), forward(k, Direction::RealForward),
        inverse(k / kTimeStep, Direction::RealInverse);
    if (!common.ok() || !lag.ok() || !forward.ok() || !inverse.ok()) return fail(state, "FFTW could not plan");
    for (auto _ : state) {
        common.sequence();
        forward.run(p.nFreq);
        inverse.run(p.nFreq);
        lag.run(p.n / kTimeStep);
        common.store();
        benchmark::ClobberMemory();
    }
}

// Lattice of the Gabor spectrogram benchmark: 256 times x 64 bins, the
// Gaussian balanced between time step and bin spacing.
constexpr std::int32_t kLatticeTimes = 256, kLatticeBins = 64, kLatticeStep = 16, kRefine = 2;
constexpr double kVariance = kLatticeStep * kLatticeBins / (2.0 * std::numbers::pi);

void gaborSpVarnel(benchmark::State& state) {
    const auto order = static_cast<std::int32_t>(state.range(0));
    const std::int32_t m = gSmoke ? 16 : kLatticeTimes;
    const std::int32_t bins = kLatticeBins * kRefine;
    Buffer coefs = allocate(2LL * m * kLatticeBins), out = allocate(static_cast<std::int64_t>(m) * kRefine * bins);
    if (!coefs || !out) return fail(state, "out of memory");
    varnel::bench::fillSignal(coefs.get(), 2LL * m * kLatticeBins, 13);
    auto call = [&] {
        return CxGaborSp(coefs.get(), m, kLatticeBins, kLatticeStep, kVariance, 0, order, kRefine, kRefine, 0, bins,
                         out.get());
    };
    const std::int32_t status = call();
    if (status != kStatusOk) return fail(state, "CxGaborSp returned status " + std::to_string(status));
    for (auto _ : state) {
        call();
        benchmark::ClobberMemory();
    }
}

void registerBenchmarks() {
    const std::vector<std::int64_t> lengths = gSmoke ? std::vector<std::int64_t>{1024}
                                                     : std::vector<std::int64_t>{4096, 16384};
    const std::vector<std::int64_t> freqs = gSmoke ? std::vector<std::int64_t>{128}
                                                   : std::vector<std::int64_t>{512, 1024};
    const std::pair<const char*, std::function<void(benchmark::State&)>> kinds[] = {
        {"wvdre%lld/varnel", [](benchmark::State& s) { wvdVarnel(s, false); }},
        {"wvdre%lld/fftw_floor", [](benchmark::State& s) { wvdFloor(s, false); }},
        {"wvdan%lld/varnel", [](benchmark::State& s) { wvdVarnel(s, true); }},
        {"wvdan%lld/fftw_floor", [](benchmark::State& s) { wvdFloor(s, true); }},
        {"cwd%lld/varnel", cwdVarnel},
        {"cwd%lld/fftw_floor", cwdFloor},
    };
    for (const std::int64_t f : freqs) {
        for (const auto& [pattern, function] : kinds) {
            char name[64];
            std::snprintf(name, sizeof name, pattern, static_cast<long long>(f));
            for (const std::int64_t n : lengths) {
                // Reported as <group>/<impl>/<N>/<nFreq>: the table's size column is N.
                auto* b = benchmark::RegisterBenchmark(name, function)->Args({n, f})->Unit(benchmark::kMillisecond);
                if (gSmoke) b->Iterations(1);
            }
        }
    }
    for (const std::int64_t order : {0, 2, 4}) {
        auto* b = benchmark::RegisterBenchmark("gaborsp/varnel", gaborSpVarnel)->Arg(order)->Unit(benchmark::kMillisecond);
        if (gSmoke) b->Iterations(1);
    }
}

}  // namespace

int main(int argc, char** argv) { return varnel::bench::benchMain(argc, argv, registerBenchmarks); }
