// All scratch of one mean-instantaneous-frequency call, taken once before
// the term loop.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fft/plan.h"
#include "frame/scratch.h"
#include "quadratic/gabor_sp_arrays.h"
#include "quadratic/gabor_sp_sizes.h"

namespace varnel::gaborsp {

class MifWorkspace {
public:
    MifWorkspace(std::int32_t M, std::int32_t K2, std::int32_t NT) noexcept
        : sums_(elementCount({6, count(M)})),
          kernels_(elementCount({8, count(K2), count(NT)})),
          work_(elementCount({4, count(NT)})),
          fftScratch_(fft::fftScratchSize(NT)),
          M_(M),
          blockSize_(static_cast<std::ptrdiff_t>(K2) * NT) {
        if (ok()) {
            clearComplex(numeratorAcc(), blockSize_);
            clearComplex(denominatorAcc(), blockSize_);
        }
    }

    bool ok() const noexcept { return sums_.ok() && kernels_.ok() && work_.ok() && fftScratch_.ok(); }

    // num, den, seq: M complex values each.
    SplitComplex numerator() const noexcept { return sumsPart(0); }
    SplitComplex denominator() const noexcept { return sumsPart(1); }
    SplitComplex dcSequence() const noexcept { return sumsPart(2); }
    // Kernel, sampling table and the two accumulators: K2 blocks of NT each.
    SplitComplex kernel() const noexcept { return kernelsPart(0); }
    SplitComplex table() const noexcept { return kernelsPart(1); }
    SplitComplex numeratorAcc() const noexcept { return kernelsPart(2); }
    SplitComplex denominatorAcc() const noexcept { return kernelsPart(3); }
    // 2*NT complex values for one transform, or NT doubles for an Hc array.
    SplitComplex work() const noexcept {
        const std::ptrdiff_t half = static_cast<std::ptrdiff_t>(work_.size() / 2);
        return {work_.data(), work_.data() + half};
    }
    double* hc() const noexcept { return work_.data(); }
    double* fftScratch() const noexcept { return fftScratch_.data(); }

private:
    static std::uint64_t count(std::int64_t n) noexcept { return static_cast<std::uint64_t>(n); }
    SplitComplex sumsPart(int k) const noexcept {
        double* base = sums_.data() + 2 * k * static_cast<std::ptrdiff_t>(M_);
        return {base, base + M_};
    }
    SplitComplex kernelsPart(int k) const noexcept {
        double* base = kernels_.data() + 2 * k * blockSize_;
        return {base, base + blockSize_};
    }

    ScratchBuffer<double> sums_;
    ScratchBuffer<double> kernels_;
    ScratchBuffer<double> work_;
    ScratchBuffer<double> fftScratch_;
    std::int32_t M_;
    std::ptrdiff_t blockSize_;
};

}  // namespace varnel::gaborsp
