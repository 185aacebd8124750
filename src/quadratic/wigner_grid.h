// What the Wigner-Ville distribution and the Cohen class share: the choice
// of the analysed sequence and of its grid, the scratch for that sequence
// and for the lag-time table, the signal preparation and the transform over
// the lag. They differ only in how the table is filled.
#pragma once

#include <cstddef>
#include <cstdint>

#include "frame/array_check.h"
#include "frame/scratch.h"

namespace varnel::wigner {

enum class SignalMode {
    Complex,   // im given: half-sample interpolation of the complex signal
    Analytic,  // real signal analysed through its analytic signal
    Real,      // real signal, half-sample interpolation
};

struct WignerGrid {
    SignalMode mode;
    std::ptrdiff_t length;    // L, samples of the analysed sequence: 2N, or N in analytic mode
    std::int32_t up;          // samples of the analysed sequence per input sample: 2 or 1
    std::int32_t timeStep;    // input samples between slices
    std::int32_t lagLength;   // lags in the table, also the lag FFT length M
    std::int32_t binCount;    // B, bins written per slice
    std::int32_t sliceCount;  // T = floor(N / timeStep)

    bool complexSequence() const noexcept { return mode != SignalMode::Real; }
    std::int64_t outputCount() const noexcept { return std::int64_t{sliceCount} * binCount; }
    // Positions of the analysed sequence between slices: the table's grid step.
    std::ptrdiff_t gridStep() const noexcept { return std::ptrdiff_t{up} * timeStep; }
};

// timeStep >= 1 and nFreq a power of two; a null im selects a real signal,
// analysed through its analytic signal when analytic is nonzero.
WignerGrid wignerGrid(const double* im, std::int32_t analytic, std::int32_t n, std::int32_t nFreq,
                      std::int32_t timeStep) noexcept;

// The signal (re, and im unless the signal is real) and the output as the
// grid sizes them, for the null and overlap tests of the caller's arrays.
inline ArrayCheck signalArrays(const WignerGrid& grid, const double* re, const double* im, std::int32_t n,
                               double* out) noexcept {
    return ArrayCheck().reads(re, n).reads(im, im != nullptr ? n : 0).writes(out, grid.outputCount());
}

// The analysed sequence and the lag-time table, each one block with its
// planes one after the other (one plane each in real mode). Each sequence
// plane has `margin` zeros before and after its L samples, so that a
// reader may go that far past either end. The table holds tableSlices
// slices per lag row: all T of them, or none when the caller takes the
// lags slice by slice.
class WignerScratch {
public:
    WignerScratch(const WignerGrid& grid, std::ptrdiff_t tableSlices, std::ptrdiff_t margin = 0) noexcept;

    bool ok() const noexcept { return sequence_.ok() && (tableSize_ == 0 || table_.ok()); }
    double* sequenceRe() const noexcept { return sequence_.data() + margin_; }
    double* sequenceIm() const noexcept { return complex_ ? sequence_.data() + plane_ + margin_ : nullptr; }
    double* tableRe() const noexcept { return table_.data(); }
    double* tableIm() const noexcept { return complex_ ? table_.data() + tableSize_ : nullptr; }

private:
    bool complex_;
    std::ptrdiff_t margin_;
    std::ptrdiff_t plane_;  // L + 2 * margin
    std::ptrdiff_t tableSize_;
    ScratchBuffer<double> sequence_;
    ScratchBuffer<double> table_;
};

// Fills the analysed sequence of the mode from the caller's n samples.
std::int32_t prepareSequence(const WignerGrid& grid, const double* re, const double* im, std::int32_t n,
                             const WignerScratch& scratch) noexcept;

// The lag transform of the finished table into out (T*B values).
std::int32_t lagTransform(const WignerGrid& grid, const WignerScratch& scratch, double* out) noexcept;

}  // namespace varnel::wigner
