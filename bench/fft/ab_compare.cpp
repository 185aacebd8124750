// Two builds of the FFT compared in one process, by scripts/fft_ab.sh.
//
//   ab_compare A.so B.so re|cx ROUNDS n [n ...]
//
// On a shared virtual machine a build's speed drifts by 10-20% within
// minutes, more than most changes to a kernel are worth, so timing one
// build after the other (two benchmark runs) cannot tell them apart. Here
// each round times a batch of transforms of A, of B and of FFTW
// (FFTW_MEASURE, planned once) back to back, in an order that rotates
// from round to round, and the ratios are taken within the round, where
// the drift is small; their median over the rounds is the answer, with the
// quartiles to show how far it can be trusted. Two identical builds read
// 0.95-1.06 at most sizes; at a few (complex 2048 and 4096 on an AMD EPYC)
// each build's plan tables and code, which lie at addresses of their own,
// put them up to 17% apart, either way and differently from run to run:
// repeat a run, and look at the sizes around, before believing a few per
// cent. FFTW plans anew in each process, so the ratios against it move
// more from run to run than B/A. The minimum times are shown too. Before
// timing, B's output is compared with A's (relative to A's largest value):
// a change meant to be only faster should read zero or rounding.
#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/bench_frame.h"

namespace {

using varnel::bench::allocate;
using varnel::bench::fillSignal;

struct Build {
    void* (*create)(std::int32_t, int, const double*, const double*);
    double (*run)(void*, int);
    void (*output)(void*, double*);
    void (*release)(void*);
};

bool load(const char* path, Build& build) {
    void* module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        std::fprintf(stderr, "ab_compare: %s\n", dlerror());
        return false;
    }
    build.create = reinterpret_cast<decltype(build.create)>(dlsym(module, "abProbeCreate"));
    build.run = reinterpret_cast<decltype(build.run)>(dlsym(module, "abProbeRun"));
    build.output = reinterpret_cast<decltype(build.output)>(dlsym(module, "abProbeOutput"));
    build.release = reinterpret_cast<decltype(build.release)>(dlsym(module, "abProbeRelease"));
    if (build.create && build.run && build.output && build.release) return true;
    std::fprintf(stderr, "ab_compare: %s is not a probe module\n", path);
    return false;
}

double quantile(std::vector<double> values, double q) {
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(q * static_cast<double>(values.size() - 1) + 0.5)];
}

// FFTW's transform of the same input, planned with FFTW_MEASURE; returns
// nanoseconds per transform of `reps`.
struct Anchor {
    fftw_plan plan = nullptr;
    varnel::bench::Buffer inRe, inIm, outRe, outIm;

    Anchor(std::int32_t n, bool real, const double* re, const double* im)
        : inRe(allocate(n)), inIm(allocate(n)), outRe(allocate(2 * (n / 2 + 1))), outIm(allocate(n)) {
        if (real) {
            plan = fftw_plan_dft_r2c_1d(n, inRe.get(), reinterpret_cast<fftw_complex*>(outRe.get()), FFTW_MEASURE);
        } else {
            fftw_iodim dim{n, 1, 1};
            plan = fftw_plan_guru_split_dft(1, &dim, 0, nullptr, inRe.get(), inIm.get(), outRe.get(), outIm.get(),
                                            FFTW_MEASURE);
        }
        std::copy(re, re + n, inRe.get());  // after planning, which overwrites them
        std::copy(im, im + n, inIm.get());
    }
    ~Anchor() { fftw_destroy_plan(plan); }
    double run(int reps) const {
        const auto start = std::chrono::steady_clock::now();
        for (int r = 0; r < reps; ++r) fftw_execute(plan);
        return std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count() / reps;
    }
};

void compare(const Build& a, const Build& b, bool real, int rounds, std::int32_t n) {
    if (n < 1) return;
    std::vector<double> re(n), im(n);
    fillSignal(re.data(), n, 1);
    fillSignal(im.data(), n, 2);
    void* pa = a.create(n, real, re.data(), im.data());
    void* pb = b.create(n, real, re.data(), im.data());
    if (!pa || !pb) {
        std::printf("%s %8d  no plan\n", real ? "re" : "cx", n);
        if (pa) a.release(pa);
        if (pb) b.release(pb);
        return;
    }
    const Anchor fftw(n, real, re.data(), im.data());
    const int reps = std::max(1, (1 << 19) / n);  // a batch of about half a million points
    a.run(pa, reps);
    b.run(pb, reps);
    fftw.run(reps);

    const std::size_t values = real ? n : 2 * std::size_t(n);
    std::vector<double> outA(values), outB(values);
    a.output(pa, outA.data());
    b.output(pb, outB.data());
    double scale = 0.0, diff = 0.0;
    for (std::size_t i = 0; i < values; ++i) {
        scale = std::max(scale, std::fabs(outA[i]));
        diff = std::max(diff, std::fabs(outA[i] - outB[i]));
    }

    std::vector<double> bOverA, aOverFftw, bOverFftw;
    double minA = INFINITY, minB = INFINITY, minF = INFINITY;
    for (int r = 0; r < rounds; ++r) {
        double t[3];
        for (int k = 0; k < 3; ++k) {
            const int which = (k + r) % 3;
            t[which] = which == 0 ? a.run(pa, reps) : which == 1 ? b.run(pb, reps) : fftw.run(reps);
        }
        bOverA.push_back(t[1] / t[0]);
        aOverFftw.push_back(t[0] / t[2]);
        bOverFftw.push_back(t[1] / t[2]);
        minA = std::min(minA, t[0]);
        minB = std::min(minB, t[1]);
        minF = std::min(minF, t[2]);
    }
    std::printf("%s %8d  min ns A %10.0f B %10.0f FFTW %10.0f  B/A %.3f [%.3f %.3f]  A/FFTW %.3f  B/FFTW %.3f"
                "  B-A %.1e\n",
                real ? "re" : "cx", n, minA, minB, minF, quantile(bOverA, 0.5), quantile(bOverA, 0.25),
                quantile(bOverA, 0.75), quantile(aOverFftw, 0.5), quantile(bOverFftw, 0.5), diff / scale);
    std::fflush(stdout);
    a.release(pa);
    b.release(pb);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 6 || (std::strcmp(argv[3], "re") != 0 && std::strcmp(argv[3], "cx") != 0)) {
        std::fprintf(stderr, "usage: ab_compare A.so B.so re|cx ROUNDS n [n ...]\n");
        return 2;
    }
    Build a{}, b{};
    if (!load(argv[1], a) || !load(argv[2], b)) return 1;
    const bool real = std::strcmp(argv[3], "re") == 0;
    const int rounds = std::max(1, std::atoi(argv[4]));
    for (int i = 5; i < argc; ++i) compare(a, b, real, rounds, std::atoi(argv[i]));
    return 0;
}
