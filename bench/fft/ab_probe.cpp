// One build's FFT behind a C interface, for scripts/fft_ab.sh: the script
// compiles this file against the internal library of each of two source
// trees into two shared modules that keep their own copies of it, and
// bench/fft/ab_compare.cpp loads both into one process. Against the
// internal FFT entry points only, which both trees must still have.
#include <algorithm>
#include <chrono>
#include <cstdint>

#include "fft/plan.h"
#include "frame/scratch.h"

namespace {

namespace vf = varnel::fft;

// Arrays on cache lines, as FFTW's are in the comparison: output 16 bytes
// off a 32-byte boundary makes the complex transform up to half as slow
// again, which would be measured instead of the change.
using Array = varnel::ScratchBuffer<double>;

struct Probe {
    std::int32_t n;
    bool real;
    vf::FftPlan* plan;
    Array scratch, inRe, inIm, outRe, outIm;
};

}  // namespace

extern "C" {

__attribute__((visibility("default"))) void abProbeRelease(void* handle);

// A plan of length n for the real (real != 0) or complex transform, with
// its scratch and the input `re`, `im` (im unused for real) copied in; null
// if the plan or an array cannot be made.
__attribute__((visibility("default"))) void* abProbeCreate(std::int32_t n, int real, const double* re,
                                                           const double* im) {
    vf::FftPlan* plan = vf::fftPlanCreate(n);
    if (!plan) return nullptr;
    const auto size = static_cast<std::size_t>(n);
    Probe* p = new Probe{n, real != 0, plan, Array(vf::fftScratchSize(n)), Array(size), Array(size), Array(size),
                         Array(size)};
    if (!p->inRe.ok() || !p->inIm.ok() || !p->outRe.ok() || !p->outIm.ok()) {
        abProbeRelease(p);
        return nullptr;
    }
    std::copy(re, re + n, p->inRe.data());
    std::copy(im, im + n, p->inIm.data());
    return p;
}

// Nanoseconds per transform over `reps` transforms in a row.
__attribute__((visibility("default"))) double abProbeRun(void* handle, int reps) {
    Probe& p = *static_cast<Probe*>(handle);
    const auto start = std::chrono::steady_clock::now();
    for (int r = 0; r < reps; ++r) {
        if (p.real) {
            vf::reFft(p.plan, p.inRe.data(), p.outRe.data(), 1, 1, p.n, p.scratch.data());
        } else {
            vf::cxFft(p.plan, p.inRe.data(), p.inIm.data(), p.outRe.data(), p.outIm.data(), 1, 1, p.n,
                      p.scratch.data());
        }
    }
    return std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count() / reps;
}

// The last output: the Hc spectrum, or the real then imaginary parts.
__attribute__((visibility("default"))) void abProbeOutput(void* handle, double* out) {
    const Probe& p = *static_cast<Probe*>(handle);
    std::copy(p.outRe.data(), p.outRe.data() + p.n, out);
    if (!p.real) std::copy(p.outIm.data(), p.outIm.data() + p.n, out + p.n);
}

__attribute__((visibility("default"))) void abProbeRelease(void* handle) {
    Probe* p = static_cast<Probe*>(handle);
    vf::fftPlanRelease(p->plan);
    delete p;
}

}  // extern "C"
