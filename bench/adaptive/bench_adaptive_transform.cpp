// The adaptive transform's cost per term as the signal grows, a long
// decomposition, and the adaptive spectrogram's cost per term as its grid
// grows.
//
//   term/varnel/<N>            time of one more term: (41 terms - 1 term)/40
//                              on 41 well-separated chirplets, longest window
//                              512; it should follow the terms, not N
//   decomposition/varnel/<N>   100 terms of N = 2^16 samples (the chirplets
//                              plus white noise), per call
//   sp/varnel/<cells>          one term painted by the adaptive spectrogram
//                              (reTermWigner, the per-term work of
//                              ReAdaptiveSp), the terms inside the first
//                              100 x 100 cells of grids of 10^4 and 10^7
//                              cells of the same resolution
//
// --smoke decomposes a short signal once and checks that terms were found.
#include "common/bench_frame.h"

#include <chrono>
#include <random>

#include "adaptive/term_wigner.h"
#include "varnel.h"

namespace {

using varnel::bench::fail;
using varnel::bench::gSmoke;

constexpr std::int32_t kChirplets = 41;
constexpr std::int32_t kWindow = 512;

// Real chirplets spread evenly over n samples, concentrations about that of
// the longest analysis window, plus noise of the given amplitude.
std::vector<double> chirpletSignal(std::int32_t n, double noise) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<AdaptiveTerm> terms;
    std::vector<double> coefs;
    for (std::int32_t j = 0; j < kChirplets; ++j) {
        const double alpha = 2 * std::numbers::pi / (kWindow / 8 * kWindow) * (0.5 + 1.5 * unit(rng));
        terms.push_back({alpha, (j + 0.5) * n / kChirplets, 0.3 + 2.5 * unit(rng), (unit(rng) - 0.5) * 2e-4});
        coefs.insert(coefs.end(), {0.5 + 0.5 * unit(rng), 0.5 * unit(rng)});
    }
    std::vector<double> x(n);
    ReAdaptiveExpansion(terms.data(), coefs.data(), kChirplets, n, x.data());
    std::vector<double> w(n);
    varnel::bench::fillSignal(w.data(), n, 3);
    for (std::int32_t i = 0; i < n; ++i) x[i] += noise * w[i];
    return x;
}

struct Run {
    std::int32_t status, count;
};

Run decompose(const std::vector<double>& x, std::int32_t maxTerms) {
    std::vector<AdaptiveTerm> terms(maxTerms);
    std::vector<double> coefs(2 * maxTerms), residual(x.size());
    std::int32_t count = 0;
    double percent = 0;
    const std::int32_t status = ReAdaptiveTransform(x.data(), static_cast<std::int32_t>(x.size()), 0, Zero, kWindow,
                                                    0.0, 0, maxTerms, &count, &percent, coefs.data(), terms.data(),
                                                    residual.data());
    return {status, count};
}

double seconds(const std::vector<double>& x, std::int32_t maxTerms, Run& run) {
    const auto start = std::chrono::steady_clock::now();
    run = decompose(x, maxTerms);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void perTerm(benchmark::State& state) {
    const std::vector<double> x = chirpletSignal(static_cast<std::int32_t>(state.range(0)), 0.0);
    for (auto _ : state) {
        Run one, all;
        const double first = seconds(x, 1, one);
        const double total = seconds(x, kChirplets, all);
        if (one.status != kStatusOk || all.status != kStatusOk || all.count != kChirplets) {
            return fail(state, "the chirplets were not all found");
        }
        state.SetIterationTime((total - first) / (kChirplets - 1));
    }
}

void decomposition(benchmark::State& state) {
    const std::int32_t terms = gSmoke ? 10 : 100;
    const std::vector<double> x = chirpletSignal(static_cast<std::int32_t>(state.range(0)), 0.05);
    for (auto _ : state) {
        const Run run = decompose(x, terms);
        if (run.status != kStatusOk || run.count < kChirplets / 4) return fail(state, "too few terms found");
    }
}

// Terms whose ellipses (about 32 rows by 40 columns) lie in the first 100
// rows and columns of a grid with time step 4 and 200 bins. The export also
// clears and scales the whole grid once per call; that is not per term.
void spectrogramTerm(benchmark::State& state) {
    constexpr std::int32_t kCols = 100;
    const varnel::adaptive::WignerGrid grid{4, 200, 0, 0, static_cast<std::int32_t>(state.range(0) / kCols), kCols};
    std::vector<AdaptiveTerm> terms;
    for (std::int32_t j = 0; j < kChirplets; ++j) terms.push_back({0.01, 100.0 + 5.0 * j, 0.5 + 0.05 * j, 1e-4});
    const double coef[] = {1.0, 0.5};
    std::vector<double> out(static_cast<std::size_t>(grid.rows) * kCols, 0.0);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        for (const AdaptiveTerm& term : terms) varnel::adaptive::reTermWigner(coef, term, grid, out.data());
        benchmark::ClobberMemory();
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() /
                               kChirplets);
    }
    if (!(out[50 * kCols + 20] > 0.0)) fail(state, "the terms painted nothing");
}

void registerBenchmarks() {
    const std::vector<std::int64_t> sizes =
        gSmoke ? std::vector<std::int64_t>{1 << 13} : std::vector<std::int64_t>{1 << 14, 1 << 15, 1 << 16, 1 << 17};
    for (const std::int64_t n : sizes) {
        auto* b = benchmark::RegisterBenchmark("term/varnel", perTerm)->Arg(n);
        b->UseManualTime()->Unit(benchmark::kMicrosecond);
        if (gSmoke) b->Iterations(1);
    }
    const std::int64_t n = gSmoke ? 1 << 13 : 1 << 16;
    auto* b = benchmark::RegisterBenchmark("decomposition/varnel", decomposition)->Arg(n);
    b->Unit(benchmark::kMicrosecond);
    if (gSmoke) b->Iterations(1);
    for (const std::int64_t cells : {10000, 10000000}) {
        auto* sp = benchmark::RegisterBenchmark("sp/varnel", spectrogramTerm)->Arg(cells);
        sp->UseManualTime()->Unit(benchmark::kMicrosecond);
        if (gSmoke) sp->Iterations(1);
    }
}

}  // namespace

int main(int argc, char** argv) { return varnel::bench::benchMain(argc, argv, registerBenchmarks); }
