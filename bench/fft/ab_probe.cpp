// One build's FFT behind a C interface, for scripts/fft_ab.sh: the script
// compiles this file against the internal library of each of two source
// trees into two shared modules that keep their own copies of it, and
// bench/fft/ab_compare.cpp loads both into one process. Against the
// internal FFT entry points only, which both trees must still have.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>

#include "fft/plan.h"
#include "frame/scratch.h"

namespace {

namespace vf = varnel::fft;

// All arrays in one block on a 2 MB boundary, at the same offsets in both
// builds. On cache lines, as FFTW's are in the comparison: output 16 bytes
// off a 32-byte boundary makes the complex transform up to half as slow
// again. At the same offsets, because where the data lies against the
// kernels' row buffers on the stack (4 KB aliasing) moved one build's
// complex 8192 by up to a fifth when each array came from its own
// allocation.
constexpr std::size_t kBlockAlignment = std::size_t{1} << 21;

struct Probe {
    std::int32_t n;
    bool real;
    vf::FftPlan* plan;
    double *inRe, *inIm, *outRe, *outIm, *scratch;  // inRe starts the block
};

}  // namespace

extern "C" {

// A plan of length n for the real (real != 0) or complex transform, with
// its scratch and the input `re`, `im` (im unused for real) copied in; null
// if the plan or the arrays cannot be made.
__attribute__((visibility("default"))) void* abProbeCreate(std::int32_t n, int real, const double* re,
                                                           const double* im) {
    vf::FftPlan* plan = vf::fftPlanCreate(n);
    if (!plan) return nullptr;
    const auto spacing = static_cast<std::size_t>(varnel::planeSpacing(n));
    const std::size_t doubles = 4 * spacing + vf::fftScratchSize(n);
    const std::size_t bytes = (doubles * sizeof(double) + kBlockAlignment - 1) / kBlockAlignment * kBlockAlignment;
    auto* block = static_cast<double*>(std::aligned_alloc(kBlockAlignment, bytes));
    if (!block) {
        vf::fftPlanRelease(plan);
        return nullptr;
    }
    Probe* p = new Probe{n, real != 0, plan, block, block + spacing, block + 2 * spacing, block + 3 * spacing,
                         block + 4 * spacing};
    std::copy(re, re + n, p->inRe);
    std::copy(im, im + n, p->inIm);
    return p;
}

// Nanoseconds per transform over `reps` transforms in a row.
__attribute__((visibility("default"))) double abProbeRun(void* handle, int reps) {
    Probe& p = *static_cast<Probe*>(handle);
    const auto start = std::chrono::steady_clock::now();
    for (int r = 0; r < reps; ++r) {
        if (p.real) {
            vf::reFft(p.plan, p.inRe, p.outRe, 1, 1, p.n, p.scratch);
        } else {
            vf::cxFft(p.plan, p.inRe, p.inIm, p.outRe, p.outIm, 1, 1, p.n, p.scratch);
        }
    }
    return std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count() / reps;
}

// The last output: the Hc spectrum, or the real then imaginary parts.
__attribute__((visibility("default"))) void abProbeOutput(void* handle, double* out) {
    const Probe& p = *static_cast<Probe*>(handle);
    std::copy(p.outRe, p.outRe + p.n, out);
    if (!p.real) std::copy(p.outIm, p.outIm + p.n, out + p.n);
}

__attribute__((visibility("default"))) void abProbeRelease(void* handle) {
    Probe* p = static_cast<Probe*>(handle);
    vf::fftPlanRelease(p->plan);
    std::free(p->inRe);
    delete p;
}

}  // extern "C"
