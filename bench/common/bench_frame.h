// What every benchmark program shares: the --smoke switch, the failure
// flag, FFTW-aligned buffers, the reproducible test signal, and main().
//
// A program defines registerBenchmarks() and ends with
//   int main(int argc, char** argv) { return varnel::bench::benchMain(argc, argv, registerBenchmarks); }
#pragma once

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

namespace varnel::bench {

// --smoke: small sizes, one iteration, FFTW_ESTIMATE; run by CTest to keep
// the programs building and agreeing with their references.
inline bool gSmoke = false;
inline bool gFailed = false;

inline unsigned plannerFlags() { return gSmoke ? FFTW_ESTIMATE : FFTW_MEASURE; }

struct FftwFree {
    void operator()(double* p) const { fftw_free(p); }
};
using Buffer = std::unique_ptr<double[], FftwFree>;

// Zeroed and aligned as FFTW likes; null when memory is short.
inline Buffer allocate(std::int64_t count) {
    Buffer buffer(static_cast<double*>(fftw_malloc(sizeof(double) * static_cast<std::size_t>(count))));
    if (buffer) std::fill(buffer.get(), buffer.get() + count, 0.0);
    return buffer;
}

// Reproducible values in [-1, 1) (xorshift64); bench/companion.py draws the
// same sequence for the Python side of a comparison.
inline void fillSignal(double* x, std::int64_t count, std::uint64_t seed) {
    std::uint64_t s = 0x9E3779B97F4A7C15ull ^ (seed * 0xBF58476D1CE4E5B9ull);
    for (std::int64_t i = 0; i < count; ++i) {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        x[i] = static_cast<double>(s >> 11) * 0x1.0p-52 - 1.0;
    }
}

inline std::vector<double> periodicHann(std::int32_t length) {
    std::vector<double> w(length);
    for (std::int32_t j = 0; j < length; ++j) w[j] = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * j / length);
    return w;
}

// Marks the benchmark (and with it the program's exit status) as failed.
inline void fail(benchmark::State& state, const std::string& message) {
    gFailed = true;
    state.SkipWithError(message.c_str());
}

inline double relativeRmsError(const double* got, const double* want, std::int64_t count) {
    double diff = 0.0, norm = 0.0;
    for (std::int64_t i = 0; i < count; ++i) {
        diff += (got[i] - want[i]) * (got[i] - want[i]);
        norm += want[i] * want[i];
    }
    return std::sqrt(diff / std::max(norm, 1e-300));
}

inline int benchMain(int argc, char** argv, void (*registerBenchmarks)()) {
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--smoke") == 0) {
            gSmoke = true;
        } else {
            args.push_back(argv[i]);
        }
    }
    int count = static_cast<int>(args.size());
    args.push_back(nullptr);

    registerBenchmarks();
#if defined(__clang__)
    benchmark::AddCustomContext("compiler", "clang " __clang_version__);
#elif defined(__GNUC__)
    benchmark::AddCustomContext("compiler", "gcc " __VERSION__);
#endif
    benchmark::AddCustomContext("varnel_build_type", VARNEL_BENCH_BUILD_TYPE);
    benchmark::AddCustomContext("fftw_version", fftw_version);
    benchmark::AddCustomContext("fftw_planner", gSmoke ? "FFTW_ESTIMATE" : "FFTW_MEASURE");
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 2;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fftw_cleanup();
    if (gFailed) {
        std::fprintf(stderr, "some benchmarks failed (see the error messages above)\n");
        return 1;
    }
    return 0;
}

}  // namespace varnel::bench
