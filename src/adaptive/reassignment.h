// The pieces of the reassigned spectrogram that do not depend on how
// frames are walked: the three analysis windows, and the per-bin pass
// that turns the three spectra of one frame into cell energies and the
// grid offsets where those energies go.
#pragma once

#include <cstddef>
#include <cstdint>

namespace varnel::adaptive {

// From the caller's window w[0..L-1] (L >= 2) and the bin count K:
//   h[i]  = w[i] / sqrt(K), so that |X_h|^2 = |X_w|^2 / K, the plain spectrogram;
//   th[i] = (i - (L-1)/2) h[i], time measured from the window centre;
//   dh    = a difference derivative of h: central differences inside,
//           and at the ends, with d = (h[L-1] - h[0]) / (L-1),
//           dh[0] = (d + h[1] + h[L-1]) / 2, dh[L-1] = (d - h[L-2] - h[0]) / 2.
// The end values are these sums as they stand, not one-sided differences.
void reassignWindows(const double* w, std::int32_t length, std::int32_t binCount, double* h, double* th,
                     double* dh) noexcept;

// The grid a frame's cells are reassigned on.
struct CellGrid {
    std::int32_t binCount;    // K, a power of two
    std::int32_t timeStep;    // dt >= 1
    std::int64_t frameCount;  // M
    double threshold;         // cells of less energy stay; NaN: none stays
};

// Per bin k of frame m, from the three spectra X_h, X_th, X_dh, the cell
// energy P = |X_h(k)|^2 and where it goes. With the rounded offsets
//   frameShift = floor(Re(X_th conj X_h) / P / dt + 0.5)            (frames)
//   binShift   = floor(Im(X_dh conj X_h) / P * (K / (2 pi)) + 0.5)  (bins)
// the target is frame m + frameShift, bin (k - binShift) mod K, and for a
// real signal a bin above K/2 folds back to K minus it. The cell stays at
// (m, k) when P is at or below the threshold (real) or below it (complex),
// or when an offset is not finite (P = 0, or a non-finite spectrum). The
// energy is dropped when the target frame lies outside 0..M-1 or, for a
// real signal, on bin K/2; the cell then gives energy 0 at (m, k), which
// leaves any sum unchanged, so that every bin has a target in the output.
// Targets are output indices row * Kout + column (Kout = K/2 real, K
// complex). Offsets stay doubles until they are known to lie in the grid.
struct CellTargets {
    double* energy;
    std::int64_t* index;
};

struct CellLoops {
    // Hc spectra of length K; bins 0..K/2-1 (X(0) is real). Returns the
    // largest index of the frame (-1 when K/2 is 0).
    std::int64_t (*real)(const double* sh, const double* sth, const double* sdh, const CellGrid& grid,
                         std::int64_t frame, const CellTargets& out);
    // Cx spectra of K bins; bins 0..K-1.
    std::int64_t (*complex)(const double* zh, const double* zth, const double* zdh, const CellGrid& grid,
                            std::int64_t frame, const CellTargets& out);
};

// The AVX2 build when the FFT uses its vector kernels, the baseline build
// otherwise; both give identical results (no fused multiply-adds, the same
// operations in the same order, floor exact in both). The AVX2 build forms
// indices in doubles, so it hands grids of 2^52 cells or more (which no
// memory holds) to the baseline.
const CellLoops& cellLoops() noexcept;

}  // namespace varnel::adaptive
