// The discrete Gabor transform and expansion, timed in two ways.
//
// The real transform (ReDGT) against the same coefficients computed by hand
// with FFTW, in the same process, on the same signal and window:
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
// A window-length sweep of the four whole-signal calls, LTFAT's
// counterparts timed by dgt_ltfat.py under the same names:
//
//   <op>-n<n>/varnel/<L>  op = redgt, cxdgt, redge, cxdge; n = 2^14 ...
//                         2^20 samples, N = 2^ceil(log2(n)/2) bins, time
//                         step N/4, window lengths N, 4N, 16N, n/4 and n
//
// The window is a Gaussian sampled over all L samples, centred on g[L/2]:
// for L <= 16N its spread is L/14 (the ends near 2e-11), for the long
// windows the spread sqrt(dM*N/(2*pi)) that suits the lattice, so that the
// transform sees every one of the L values. The expansions take the
// transform's output of the same problem as coefficients.
//
// Before the first timing, Varnel's results are compared with a reference:
// the FFTW frames above, and for the sweep a few frames (or output samples)
// computed straight from the definition; a disagreement marks the benchmark
// as failed instead of timing a wrong answer. The slowest sweep cases run
// one repetition. --smoke runs one small signal (and the sweep on 2^10
// samples) once with FFTW_ESTIMATE and exits non-zero on any failure.
//
// The two-dimensional transform and expansion of square images, LTFAT's
// counterparts (dgtreal down the columns, then dgt along the rows, and the
// inverses in reverse order) timed by dgt_ltfat.py under the same names:
//
//   dgt2d-s<s>/varnel/<L>, dge2d-s<s>/varnel/<L>   s = 256, 512, 1024;
//                         lattice and windows below (register2d)
#include "common/bench_frame.h"

#include <algorithm>
#include <cmath>
#include <complex>
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

// ---------------------------------------------------------------- sweep

using Cx = std::complex<double>;

enum class Op { ReDgt, CxDgt, ReDge, CxDge };
constexpr Op kOps[] = {Op::ReDgt, Op::CxDgt, Op::ReDge, Op::CxDge};

const char* opName(Op op) {
    switch (op) {
        case Op::ReDgt: return "redgt";
        case Op::CxDgt: return "cxdgt";
        case Op::ReDge: return "redge";
        case Op::CxDge: return "cxdge";
    }
    return "?";
}

bool isComplex(Op op) { return op == Op::CxDgt || op == Op::CxDge; }
bool isExpansion(Op op) { return op == Op::ReDge || op == Op::CxDge; }

// n = 2^p: N = 2^ceil(p/2) bins, time step N/4.
struct Lattice {
    std::int32_t n, bins, step;
    std::int64_t frames() const { return n / step; }
};

Lattice latticeFor(std::int32_t n) {
    std::int32_t p = 0;
    while ((1 << p) < n) ++p;
    const std::int32_t bins = 1 << ((p + 1) / 2);
    return {n, bins, bins / 4};
}

// At n = 2^12, n/4 is 16N and is timed once.
std::vector<std::int32_t> windowLengths(const Lattice& g) {
    std::vector<std::int32_t> lengths{g.bins, 4 * g.bins, 16 * g.bins};
    for (const std::int32_t length : {g.n / 4, g.n}) {
        if (std::find(lengths.begin(), lengths.end(), length) == lengths.end()) lengths.push_back(length);
    }
    return lengths;
}

std::vector<double> gaussianWindow(std::int32_t length, const Lattice& g) {
    const double spread = length <= 16 * g.bins
                              ? length / 14.0
                              : std::sqrt(static_cast<double>(g.step) * g.bins / (2.0 * std::numbers::pi));
    std::vector<double> w(length);
    for (std::int32_t j = 0; j < length; ++j) {
        const double u = (j - length / 2) / spread;
        w[j] = std::exp(-0.5 * u * u);
    }
    return w;
}

// Value i of a real array or of an interleaved complex one.
Cx valueAt(const double* a, bool complex, std::int64_t i) {
    return complex ? Cx(a[2 * i], a[2 * i + 1]) : Cx(a[i], 0.0);
}

// Bin b of frame k: interleaved complex frames, or Hc frames of N doubles.
Cx coefficientAt(const double* c, bool complex, std::int32_t bins, std::int64_t k, std::int32_t b) {
    if (complex) return valueAt(c, true, k * bins + b);
    const double* hc = c + k * bins;
    if (b == 0 || 2 * b == bins) return hc[b];
    return b < bins / 2 ? Cx(hc[b], hc[bins - b]) : Cx(hc[bins - b], -hc[b]);
}

// The transform and the expansion written out sum by sum, for a few frames
// or samples: frame k puts g[L/2] on sample k*dM of the n-periodic signal,
// and window position j carries phase exp(-2 pi i b (k*dM + j) / N).
class DirectGabor {
public:
    DirectGabor(const Lattice& g, const std::vector<double>& window)
        : g_(g), window_(window), half_(static_cast<std::int32_t>(window.size()) / 2), twiddle_(g.bins) {
        for (std::int32_t r = 0; r < g.bins; ++r) twiddle_[r] = std::polar(1.0, -2.0 * std::numbers::pi * r / g.bins);
    }

    std::vector<Cx> frame(const double* x, bool complex, std::int64_t k) const {
        const std::int32_t bins = g_.bins;
        std::vector<Cx> folded(bins), out(bins);
        for (std::int64_t j = 0; j < static_cast<std::int64_t>(window_.size()); ++j) {
            const std::int64_t t = ((k * g_.step - half_ + j) % g_.n + g_.n) % g_.n;
            folded[(k * g_.step + j) % bins] += window_[j] * valueAt(x, complex, t);
        }
        for (std::int32_t b = 0; b < bins; ++b)
            for (std::int32_t m = 0; m < bins; ++m) out[b] += folded[m] * twiddle_[(std::int64_t{b} * m) % bins];
        return out;
    }

    // Sample t of the expansion: (dM/N) sum over frames and bins.
    Cx sample(const double* c, bool complex, std::int64_t t) const {
        const std::int32_t bins = g_.bins;
        Cx sum = 0.0;
        for (std::int64_t k = 0; k < g_.frames(); ++k) {
            const std::int64_t j = ((t - k * g_.step + half_) % g_.n + g_.n) % g_.n;
            if (j >= static_cast<std::int64_t>(window_.size())) continue;
            const std::int64_t phase = (k * g_.step + j) % bins;
            Cx y = 0.0;
            for (std::int32_t b = 0; b < bins; ++b)
                y += coefficientAt(c, complex, bins, k, b) * std::conj(twiddle_[(b * phase) % bins]);
            sum += window_[j] * y;
        }
        return sum * (static_cast<double>(g_.step) / bins);
    }

private:
    Lattice g_;
    const std::vector<double>& window_;
    std::int32_t half_;
    std::vector<Cx> twiddle_;
};

// Varnel's answer at the first, a middle and the last frame (transforms)
// or sample (expansions) against DirectGabor's.
double sweepError(Op op, const Lattice& g, const DirectGabor& direct, const double* signal, const double* coef,
                  const double* out) {
    const bool complex = isComplex(op);
    std::vector<Cx> got, want;
    if (isExpansion(op)) {
        for (const std::int64_t t : {std::int64_t{0}, std::int64_t{g.n / 2 + 1}, std::int64_t{g.n - 1}}) {
            got.push_back(valueAt(out, complex, t));
            want.push_back(direct.sample(coef, complex, t));
        }
    } else {
        for (const std::int64_t k : {std::int64_t{0}, g.frames() / 2, g.frames() - 1}) {
            const std::vector<Cx> frame = direct.frame(signal, complex, k);
            want.insert(want.end(), frame.begin(), frame.end());
            for (std::int32_t b = 0; b < g.bins; ++b) got.push_back(coefficientAt(coef, complex, g.bins, k, b));
        }
    }
    return relativeRmsError(reinterpret_cast<const double*>(got.data()), reinterpret_cast<const double*>(want.data()),
                            2 * static_cast<std::int64_t>(got.size()));
}

void sweepVarnel(benchmark::State& state, Op op, std::int32_t n, std::int32_t length) {
    const Lattice g = latticeFor(n);
    const std::vector<double> window = gaussianWindow(length, g);
    const WindowSpec spec{window.data(), length, g.step, g.bins};
    const std::int64_t values = isComplex(op) ? 2 : 1;
    const std::int64_t coefCount = values * g.frames() * g.bins;
    const auto frames = static_cast<std::int32_t>(g.frames());
    Buffer signal = allocate(values * n), coef = allocate(coefCount), out = allocate(values * n);
    if (!signal || !coef || !out) return fail(state, "out of memory");
    fillSignal(signal.get(), values * n, 5);

    auto transform = [&] {
        return isComplex(op) ? CxDGT(signal.get(), n, &spec, coef.get()) : ReDGT(signal.get(), n, &spec, coef.get());
    };
    auto expand = [&] {
        return isComplex(op) ? CxDGE(coef.get(), frames, g.bins, &spec, out.get(), n)
                             : ReDGE(coef.get(), frames, g.bins, &spec, out.get(), n);
    };
    auto call = [&] { return isExpansion(op) ? expand() : transform(); };

    // An expansion's coefficients are the transform of the same problem.
    std::int32_t status = transform();
    if (status == kStatusOk && isExpansion(op)) status = expand();
    if (status != kStatusOk) return fail(state, std::string(opName(op)) + " returned status " + std::to_string(status));
    const double error = sweepError(op, g, DirectGabor(g, window), signal.get(), coef.get(), out.get());
    if (!(error <= kTolerance)) {
        char message[120];
        std::snprintf(message, sizeof message, "%s disagrees with the direct sums: relative RMS error %.3g",
                      opName(op), error);
        return fail(state, message);
    }

    for (auto _ : state) {
        call();
        benchmark::ClobberMemory();
    }
}

void registerSweep() {
    const std::vector<std::int32_t> lengths = gSmoke ? std::vector<std::int32_t>{1 << 10}
                                                     : std::vector<std::int32_t>{1 << 12, 1 << 14, 1 << 16, 1 << 18,
                                                                                 1 << 20};
    for (const std::int32_t n : lengths) {
        const Lattice g = latticeFor(n);
        for (const Op op : kOps) {
            for (const std::int32_t length : windowLengths(g)) {
                const std::string name = std::string(opName(op)) + "-n" + std::to_string(n) + "/varnel/" +
                                         std::to_string(length);
                auto* b = benchmark::RegisterBenchmark(name.c_str(), [=](benchmark::State& state) {
                              sweepVarnel(state, op, n, length);
                          })->Unit(benchmark::kMillisecond);
                // Frames times window length, the work of folding each frame:
                // from 2^28 on a folding call takes 0.1 s to seconds, and one
                // repetition says enough.
                if (gSmoke) {
                    b->Iterations(1);
                } else if (g.frames() * length >= (std::int64_t{1} << 28)) {
                    b->Repetitions(1);
                }
            }
        }
    }
}

// ---------------------------------------------------------------- 2-D

// Square images of side s = 2^p, each dimension with N = 2^ceil(p/2) bins
// and time step N/2 (a redundancy of 2 per dimension keeps the 2^20-pixel
// case's coefficients, all N1 first-dimension bins stored, at 64 MB), and
// the Gaussian windows of the sweep of lengths N, 4N and s (full length).
Lattice lattice2d(std::int32_t side) {
    Lattice g = latticeFor(side);
    g.step = g.bins / 2;
    return g;
}

// DGT2d at first-dimension frames 0 and F-1 (every bin), second-dimension
// frames 0 and F/2, against the definition's sums applied down the columns,
// then along the rows of the resulting coefficients.
double transform2dError(const Lattice& g, const DirectGabor& direct, const double* image, const double* coef) {
    const std::int32_t side = g.n, bins = g.bins;
    const auto frames = static_cast<std::int32_t>(g.frames());
    std::vector<Cx> got, want;
    std::vector<double> column(side);
    for (const std::int32_t f1 : {0, frames - 1}) {
        std::vector<std::vector<Cx>> first(side);  // first[c][b1]
        for (std::int32_t c = 0; c < side; ++c) {
            for (std::int32_t r = 0; r < side; ++r) column[r] = image[static_cast<std::int64_t>(r) * side + c];
            first[c] = direct.frame(column.data(), false, f1);
        }
        std::vector<Cx> row(side);
        for (std::int32_t b1 = 0; b1 < bins; ++b1) {
            for (std::int32_t c = 0; c < side; ++c) row[c] = first[c][b1];
            for (const std::int32_t f2 : {0, frames / 2}) {
                const std::vector<Cx> bins2 = direct.frame(reinterpret_cast<const double*>(row.data()), true, f2);
                want.insert(want.end(), bins2.begin(), bins2.end());
                const std::int64_t at = ((static_cast<std::int64_t>(f1) * bins + b1) * frames + f2) * bins;
                for (std::int32_t b2 = 0; b2 < bins; ++b2) got.push_back(valueAt(coef, true, at + b2));
            }
        }
    }
    return relativeRmsError(reinterpret_cast<const double*>(got.data()), reinterpret_cast<const double*>(want.data()),
                            2 * static_cast<std::int64_t>(got.size()));
}

// DGE2d at three pixels against the definition's sums: along the rows for
// every first-dimension coefficient, then down the column, the real part.
double expansion2dError(const Lattice& g, const DirectGabor& direct, const double* coef, const double* image) {
    const std::int32_t side = g.n, bins = g.bins;
    const std::int64_t frames = g.frames(), block = frames * bins;  // second-dimension values per (f1, b1)
    std::vector<double> got, want;
    for (const auto& [r, c] : {std::pair{0, 0}, std::pair{side / 2 + 1, side / 3}, std::pair{side - 1, side - 1}}) {
        std::vector<Cx> first(block);  // the column's first-dimension coefficients
        for (std::int64_t i = 0; i < block; ++i) first[i] = direct.sample(coef + 2 * i * block, true, c);
        want.push_back(direct.sample(reinterpret_cast<const double*>(first.data()), true, r).real());
        got.push_back(image[static_cast<std::int64_t>(r) * side + c]);
    }
    return relativeRmsError(got.data(), want.data(), static_cast<std::int64_t>(got.size()));
}

void image2dVarnel(benchmark::State& state, bool expansion, std::int32_t side, std::int32_t length) {
    const Lattice g = lattice2d(side);
    const std::vector<double> window = gaussianWindow(length, g);
    const WindowSpec spec{window.data(), length, g.step, g.bins};
    const auto frames = static_cast<std::int32_t>(g.frames());
    const std::int64_t pixels = std::int64_t{side} * side, values = g.frames() * g.bins;
    const std::int64_t coefValues = 2 * values * values;
    Buffer image = allocate(pixels), coef = allocate(coefValues), out = allocate(pixels);
    if (!image || !coef || !out) return fail(state, "out of memory");
    fillSignal(image.get(), pixels, 5);
    auto transform = [&] { return DGT2d(image.get(), side, side, &spec, &spec, coef.get()); };
    auto expand = [&] {
        return DGE2d(coef.get(), frames, g.bins, frames, g.bins, &spec, &spec, out.get(), side, side);
    };
    std::int32_t status = transform();
    if (status == kStatusOk && expansion) status = expand();
    const char* name = expansion ? "DGE2d" : "DGT2d";
    if (status != kStatusOk) return fail(state, std::string(name) + " returned status " + std::to_string(status));
    const DirectGabor direct(g, window);
    const double error = expansion ? expansion2dError(g, direct, coef.get(), out.get())
                                   : transform2dError(g, direct, image.get(), coef.get());
    if (!(error <= kTolerance)) {
        char message[120];
        std::snprintf(message, sizeof message, "%s disagrees with the direct sums: relative RMS error %.3g", name,
                      error);
        return fail(state, message);
    }
    for (auto _ : state) {
        expansion ? expand() : transform();
        benchmark::ClobberMemory();
    }
}

void register2d() {
    const std::vector<std::int32_t> sides = gSmoke ? std::vector<std::int32_t>{64}
                                                   : std::vector<std::int32_t>{256, 512, 1024};
    for (const std::int32_t side : sides) {
        const Lattice g = lattice2d(side);
        for (const bool expansion : {false, true}) {
            for (const std::int32_t length : {g.bins, 4 * g.bins, side}) {
                const std::string name = std::string(expansion ? "dge2d" : "dgt2d") + "-s" + std::to_string(side) +
                                         "/varnel/" + std::to_string(length);
                auto* b = benchmark::RegisterBenchmark(name.c_str(), [=](benchmark::State& state) {
                              image2dVarnel(state, expansion, side, length);
                          })->Unit(benchmark::kMillisecond);
                if (gSmoke) b->Iterations(1);
            }
        }
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
    registerSweep();
    register2d();
}

}  // namespace

int main(int argc, char** argv) { return varnel::bench::benchMain(argc, argv, registerBenchmarks); }
