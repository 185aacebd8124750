// All scratch of one Gabor spectrogram call, taken once before the term
// loop: every table is rebuilt per term in place.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "fft/plan.h"
#include "frame/scratch.h"
#include "quadratic/gabor_sp_arrays.h"
#include "quadratic/gabor_sp_sizes.h"

namespace varnel::gaborsp {

struct SpectrogramShape {
    std::int32_t M, N, K1, K2, NT;
    std::int64_t nF;
};

class SpectrogramWorkspace {
public:
    explicit SpectrogramWorkspace(const SpectrogramShape& s) noexcept
        : products_(elementCount({2, count(s.M), count(s.N)})),
          smoothed_(elementCount({2, count(s.M), count(s.nF)})),
          freqKernel_(elementCount({2, count(s.N), count(s.K1)})),
          timeKernel_(elementCount({2, count(s.NT), count(s.K2)})),
          // One sampling table serves both kernels, which are built in turn.
          table_(std::max(elementCount({2, count(s.N), count(s.K1)}), elementCount({2, count(s.NT), count(s.K2)}))),
          accumulator_(elementCount({2, count(s.nF), count(s.K2), count(s.NT)})),
          // Frequency stage: 3*N complex; time stage: 2*NT complex; the final
          // inverse: NT doubles.
          work_(elementCount({2, count(std::max(3 * std::int64_t{s.N}, 2 * std::int64_t{s.NT}))})),
          // The frequency and time transforms run in turn and share it.
          fftScratch_(std::max(fft::fftScratchSize(s.N), fft::fftScratchSize(s.NT))) {
        if (ok()) clearComplex(accumulator(), accumulator_.size() / 2);
    }

    bool ok() const noexcept {
        return products_.ok() && smoothed_.ok() && freqKernel_.ok() && timeKernel_.ok() && table_.ok() &&
               accumulator_.ok() && work_.ok() && fftScratch_.ok();
    }

    SplitComplex products() const noexcept { return halves(products_); }
    SplitComplex smoothed() const noexcept { return halves(smoothed_); }
    SplitComplex freqKernel() const noexcept { return halves(freqKernel_); }
    SplitComplex timeKernel() const noexcept { return halves(timeKernel_); }
    SplitComplex table() const noexcept { return halves(table_); }
    SplitComplex accumulator() const noexcept { return halves(accumulator_); }
    SplitComplex work() const noexcept { return halves(work_); }
    double* hc() const noexcept { return work_.data(); }
    double* fftScratch() const noexcept { return fftScratch_.data(); }

private:
    static std::uint64_t count(std::int64_t n) noexcept { return static_cast<std::uint64_t>(n); }
    static SplitComplex halves(const ScratchBuffer<double>& b) noexcept {
        return {b.data(), b.data() + static_cast<std::ptrdiff_t>(b.size() / 2)};
    }

    ScratchBuffer<double> products_;
    ScratchBuffer<double> smoothed_;
    ScratchBuffer<double> freqKernel_;
    ScratchBuffer<double> timeKernel_;
    ScratchBuffer<double> table_;
    ScratchBuffer<double> accumulator_;
    ScratchBuffer<double> work_;
    ScratchBuffer<double> fftScratch_;
};

}  // namespace varnel::gaborsp
