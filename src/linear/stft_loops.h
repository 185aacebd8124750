// The per-frame loops of the STFT outside the FFT: weighting samples by the
// window (fold), squaring spectra into spectrogram rows and interleaving
// complex bins, and the Gabor expansion's overlap-add. They are short,
// memory-bound and run once per sample and frame, so they come in a
// baseline build and in one for AVX2, chosen once per call.
#pragma once

#include <cstddef>

namespace varnel::stft {

struct FrameLoops {
    // out[t] = w[t] * x[t], or out[t] += w[t] * x[t], for t < count.
    void (*weigh)(double* out, const double* w, const double* x, std::ptrdiff_t count);
    void (*weighAdd)(double* out, const double* w, const double* x, std::ptrdiff_t count);
    // out[t] += w[t] * x[(phase + t) mod n] for t < count, 0 <= phase < n:
    // a frame of n values added rotated over a longer window, in one call
    // however short n is.
    void (*weighAddCyclic)(double* out, const double* w, const double* x, std::ptrdiff_t n, std::ptrdiff_t phase,
                           std::ptrdiff_t count);
    // The same for interleaved complex samples: re[t] (+)= w[t] * x[2t],
    // im[t] (+)= w[t] * x[2t+1].
    void (*weighPair)(double* re, double* im, const double* w, const double* x, std::ptrdiff_t count);
    void (*weighPairAdd)(double* re, double* im, const double* w, const double* x, std::ptrdiff_t count);
    // Spectrogram rows: row[0] = hc[0]^2 q, row[k] = (hc[k]^2 + hc[m-k]^2) q
    // for 0 < k < m/2 from an Hc spectrum of length m >= 1.
    void (*realPowerRow)(const double* hc, std::ptrdiff_t m, double q, double* row);
    // row[k] = (re[k]^2 + im[k]^2) q for k < m.
    void (*complexPowerRow)(const double* re, const double* im, std::ptrdiff_t m, double q, double* row);
    // Cx output: out[2k] = re[k], out[2k+1] = im[k] for k < m.
    void (*interleave)(const double* re, const double* im, std::ptrdiff_t m, double* out);
    // The same for outputs too large to stay in the caches: the stores go
    // around them (where out is 16-byte aligned), which saves reading
    // every line of out before it is written. A run of these calls ends
    // with streamedStoresDone().
    void (*interleaveStreaming)(const double* re, const double* im, std::ptrdiff_t m, double* out);
};

// The AVX2 build when the library's AVX2 paths are on (frame/vector_paths.h),
// the baseline build otherwise. Both give identical results: there is no
// contraction into fused multiply-adds and no reordering of sums.
const FrameLoops& frameLoops() noexcept;

// Orders the streaming stores made so far before every later store, so
// that whoever the caller hands the output to finds it written.
void streamedStoresDone() noexcept;

}  // namespace varnel::stft
