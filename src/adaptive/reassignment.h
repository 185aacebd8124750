// The pieces of the reassigned spectrogram that do not depend on how
// frames are walked: the three analysis windows, and the per-bin pass
// that turns the three spectra of one frame into cell energies and the
// grid offsets where those energies go.
#pragma once

#include <cstddef>
#include <cstdint>

namespace varnel::adaptive {

// From the caller's window w[0..L-1] (L >= 2) and the bin count K:
//   h[i]  = w[i] / sqrt(K), so that |X_h|^2 is the spectrogram energy / K;
//   th[i] = (i - (L-1)/2) h[i], time measured from the window centre;
//   dh    = a difference derivative of h: central differences inside,
//           and at the ends, with d = (h[L-1] - h[0]) / (L-1),
//           dh[0] = (d + h[1] + h[L-1]) / 2, dh[L-1] = (d - h[L-2] - h[0]) / 2.
// The end rules treat the window as periodic with the wrap step d.
void reassignWindows(const double* w, std::int32_t length, std::int32_t binCount, double* h, double* th,
                     double* dh) noexcept;

// Per bin k of one frame: the cell energy P = |X_h(k)|^2 and the rounded
// offsets of its centre of gravity on the grid,
//   frameShift = floor(Re(X_th conj X_h) / P / dt + 0.5)            (frames)
//   binShift   = floor(Im(X_dh conj X_h) / P * (K / (2 pi)) + 0.5)  (bins, subtracted from k)
// as doubles: they are NaN or infinite when P is 0 or a spectrum is not
// finite, and may be far outside any grid, so the caller checks them
// before turning them into indices.
struct CellTargets {
    double* power;
    double* frameShift;
    double* binShift;
};

struct CellLoops {
    // Hc spectra of length K; bins 0..K/2-1 (X(0) is real).
    void (*real)(const double* sh, const double* sth, const double* sdh, std::ptrdiff_t binCount, double timeStep,
                 const CellTargets& out);
    // Cx spectra of K bins; bins 0..K-1.
    void (*complex)(const double* zh, const double* zth, const double* zdh, std::ptrdiff_t binCount,
                    double timeStep, const CellTargets& out);
};

// The AVX2 build when the FFT uses its vector kernels, the baseline build
// otherwise; both give identical results (no fused multiply-adds, the same
// operations in the same order).
const CellLoops& cellLoops() noexcept;

}  // namespace varnel::adaptive
