/*
 * varnel.h - public C interface of the Varnel time-frequency library.
 *
 * Conventions shared by every function declared here:
 *  - Real samples are doubles; complex samples are (re, im) pairs of doubles.
 *  - Lengths, counts, strides and indices are int32_t; strides count doubles.
 *  - Every output array is allocated by the caller with the size documented
 *    for the function. The library keeps nothing of the caller's between
 *    calls and never frees a caller's array.
 *  - Functions returning int32_t return kStatusOk (0) on success, a small
 *    positive code for an argument error (nothing is written then) or
 *    kStatusNoMemory when working memory could not be obtained.
 *  - Spectra are stored in FFT bin order (bin 0 first) in one of three
 *    layouts:
 *      Cx   interleaved complex: 2n doubles, re/im of bin k at 2k, 2k+1.
 *      ReIm split complex: one array of n real parts, one of n imaginary.
 *      Hc   half-complex spectrum of a real sequence of length n: n doubles,
 *           Re X[k] at k for k = 0..n/2, Im X[k] at n-k for k = 1..ceil(n/2)-1.
 *  - Arrays: after the argument tests listed for a function, and before it
 *    takes working memory or reads or writes anything, its array arguments
 *    are tested at the extents their documented sizes and strides give:
 *    kStatusNoMemory when one would span more than PTRDIFF_MAX bytes (no
 *    array is that large); then kStatusBadLength (1) when one that the call
 *    would read or write is null, or when an output overlaps another array
 *    argument. Nothing is written then. An array of no elements may be
 *    null; the (re, im) pair of a complex argument is one array, so
 *    interleaved parts do not overlap each other; arrays that are read and
 *    written (shift, history, state) count as outputs, the window of a
 *    WindowSpec as an input.
 *  - Non-finite samples are never refused: they propagate through the
 *    arithmetic (an FFT spreads one over its whole frame), and no sample
 *    value sets a loop count or an unchecked index, so they cannot make a
 *    call hang or read out of bounds. Where sample values steer the work
 *    (the adaptive transform, the reassigned spectrogram, the centroids of
 *    InstantaneousFrequency) the function says what comes out.
 *  - Thread safety: every function may be called from several threads at
 *    once; the internal FFT plan cache is guarded by a lock.
 */
#ifndef VARNEL_H
#define VARNEL_H

#include <stdint.h>

#if defined(_WIN32)
#  if defined(VARNEL_BUILDING_LIBRARY)
#    define VARNEL_API __declspec(dllexport)
#  else
#    define VARNEL_API __declspec(dllimport)
#  endif
#elif defined(__GNUC__)
#  define VARNEL_API __attribute__((visibility("default")))
#else
#  define VARNEL_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ------------------------------------------------------------------------
 * Status codes. Negative codes below kStatusNoMemory are raised by inner
 * numeric routines and are listed so that hosts can name every value.
 * ---------------------------------------------------------------------- */
enum VarnelStatus {
    kStatusOk = 0,                  /* success */
    kStatusBadLength = 1,           /* signal length / sample or record count unusable */
    kStatusBadBinCount = 3,         /* bin count < 1 or not a power of two */
    kStatusBadExtensionMode = 4,    /* extension rule is not a defined selector */
    kStatusBadTimeStep = 21,        /* time step < 1 */
    kStatusBadDecimation = 22,      /* decimation < 1 or not a power of two */
    kStatusBadOrder = 23,           /* negative Gabor spectrogram order */
    kStatusNegativeCount = 25,      /* negative count argument */
    kStatusNotPositiveParam = 27,   /* a parameter that must be positive is <= 0 */
    kStatusBadKernelSize = 28,      /* Cohen kernel dimensions do not fit */
    kStatusBadWindowSpec = 29,      /* window, time step and bin count do not fit */
    kStatusBadRange = 30,           /* requested start and count outside the range */
    kStatusNegativeParam = 31,      /* a non-negative integer parameter is negative */
    kStatusBadTerm = 32,            /* a chirplet term or its coefficient is unusable */
    kStatusBadLayout = -1,          /* unsupported complex input layout */
    kStatusNoMemory = -20001,       /* working memory was not available */
    kStatusBadSize = -20003,        /* inner routine: empty or unfitting size */
    kStatusTooFewPoints = -20006,   /* inner routine: straight-line fit needs 2 points */
    kStatusNotPowerOfTwo = -20009,  /* inner routine: length must be a power of two */
    kStatusBadColumnCount = -20021, /* inner routine: 1..90 least-squares columns */
    kStatusUnderdetermined = -20037,/* inner routine: fewer equations than unknowns */
    kStatusBadSelector = -20061,    /* a method selector is outside its range */
    kStatusNoConvergence = -20062,  /* inner routine: SVD did not converge */
    kStatusNegativeDegree = -20103  /* inner routine: negative polynomial degree */
};

/* ------------------------------------------------------------------------
 * Records
 * ---------------------------------------------------------------------- */

/* Window and time-frequency grid of the windowed transforms. */
typedef struct WindowSpec {
    const double *window; /* window samples w[0..windowLength-1] */
    int32_t windowLength; /* L */
    int32_t timeStep;     /* frame advance D in samples, >= 1 */
    int32_t binCount;     /* M: FFT length and number of bins, a power of two */
} WindowSpec;

/* One Gaussian chirplet term; its complex coefficient is stored separately.
 * Its chirplet, sampled at integer n with u = n - tc, is
 *   g(n) = (alpha/pi)^(1/4) exp(-alpha u^2/2) exp(i (omega u + beta u^2/2)),
 * of unit energy in continuous time; its instantaneous frequency at n is
 * omega + beta u. */
typedef struct AdaptiveTerm {
    double alpha; /* envelope concentration 1/variance, 1/samples^2, > 0 */
    double tc;    /* time centre in samples; fractional and outside the signal allowed */
    double omega; /* frequency at tc in radians per sample, any real value */
    double beta;  /* chirp rate in radians per sample squared */
} AdaptiveTerm;

/* Rules for extending a finite signal beyond its ends (4 is not a rule). */
typedef enum ExtensionMode {
    Zero = 0,             /* zeros on both sides */
    Symmetric = 1,        /* mirror about the end sample, end repeated */
    Periodic = 2,         /* periodic continuation with period n */
    TaperedSymmetric = 3, /* symmetric mirror weighted by a Hann taper */
    Linear = 5,           /* straight line through the two end samples */
    Quadratic = 6         /* parabola through the three end samples */
} ExtensionMode;

/* ------------------------------------------------------------------------
 * Layout conversions. n is the number of complex bins (the length of the
 * real sequence an Hc array describes). Input and output must not overlap.
 * For n < 1, a null array or an output overlapping another array nothing
 * is written (there is no status to report it with).
 * ---------------------------------------------------------------------- */

/* Full Cx spectrum (2n doubles) from an Hc array of n doubles. */
VARNEL_API void _Hc2Cx(const double *hc, double *cx, int32_t n);

/* Hc array of the conjugate-symmetric part of a Cx spectrum: bins k and n-k
 * are averaged, the imaginary parts of bin 0 and the Nyquist bin dropped. */
VARNEL_API void _Cx2Hc(const double *cx, double *hc, int32_t n);

/* De-interleave a Cx array of n complex values into re[n] and im[n]. */
VARNEL_API void _Cx2ReIm(const double *cx, double *re, double *im, int32_t n);

/* Interleave re[n] and im[n] into a Cx array of 2n doubles. */
VARNEL_API void _ReIm2Cx(const double *re, const double *im, double *cx, int32_t n);

/* Full spectrum as split arrays re[n], im[n] from an Hc array of n doubles. */
VARNEL_API void _Hc2ReIm(const double *hc, double *re, double *im, int32_t n);

/* Hc array of the conjugate-symmetric part of a split spectrum re[n], im[n]. */
VARNEL_API void _ReIm2Hc(const double *re, const double *im, double *hc, int32_t n);

/* ------------------------------------------------------------------------
 * Short-time Fourier transform.
 *
 * x holds N samples; the window spec gives window w (L samples), time step
 * D and bin count M (a power of two, 1 allowed). There are
 * F = (N - L)/D + 1 frames; frame i folds w[j] * x[i*D + j] onto M points
 * (positions j and j + M add up when L > M, positions L..M-1 are zero when
 * L < M) and rotates the buffer so that the phase refers to absolute
 * sample time: X_i[k] = sum_j w[j] x[t] exp(-2 pi i k (t + shift)/M),
 * t = i*D + j, unscaled.
 *
 * Checks, in this order: 1 when N <= L; 29 when D < 1, M < 1, M is not a
 * power of two, spec is null, or window is null while L >= 1; then 1 for a
 * null or overlapping array (x holds N samples, read only when L >= 1).
 * Nothing is written then and *shift is not changed. L <= 0 passes: its
 * frames read no samples (x may then be null) and their spectra are zero. -20001 when
 * working memory or the FFT plan cannot be obtained; frames made before may
 * have been written, *shift is not changed. Working memory is a few buffers
 * of M doubles whatever N is. Inputs and outputs must not overlap.
 * ---------------------------------------------------------------------- */

/* Real STFT; out receives F blocks of M doubles, each an Hc spectrum. */
VARNEL_API int32_t ReSTFT(const double *x, int32_t N, const WindowSpec *spec, double *out);

/* ReSTFT with a caller-held phase reference: *shift, taken modulo M (a
 * negative value as its non-negative residue), is the initial shift s0; on
 * success it receives s0 + F*D, not reduced modulo M (beyond INT32_MAX it
 * wraps modulo 2^32, which keeps its residue modulo M): the value to pass
 * with the next block of the same signal, which starts F*D samples later
 * and overlaps this one by L - D samples. A null shift acts as 0. */
VARNEL_API int32_t ReSTFTWithShift(const double *x, int32_t N, const WindowSpec *spec, int32_t *shift,
                                   double *out);

/* Complex STFT of N interleaved (Cx) samples into F*M interleaved bins. */
VARNEL_API int32_t CxSTFT(const double *x, int32_t N, const WindowSpec *spec, double *out);

/* Complex STFT with strided input (sample t at xRe[t*xStride], xIm[t*xStride])
 * and strided output (bin k of frame i at (i*M + k)*outStride). */
VARNEL_API int32_t CxSTFTEx(const double *xRe, const double *xIm, int32_t xStride, int32_t N,
                            const WindowSpec *spec, double *outRe, double *outIm, int32_t outStride);

/* CxSTFTEx with a caller-held phase reference, as in ReSTFTWithShift. */
VARNEL_API int32_t CxSTFTExWithShift(const double *xRe, const double *xIm, int32_t xStride, int32_t N,
                                     const WindowSpec *spec, int32_t *shift, double *outRe, double *outIm,
                                     int32_t outStride);

/* Real spectrogram: |X_i[k]|^2 / M for k < M/2 (the Nyquist bin is
 * dropped), row i starting at element floor(i*M/2): F*(M/2) doubles. For
 * M = 1 frames 2u and 2u+1 share element u and the later one stays:
 * (F+1)/2 doubles. */
VARNEL_API int32_t ReSTFTsp(const double *x, int32_t N, const WindowSpec *spec, double *out);

/* Complex spectrogram: F rows of M doubles, |X_i[k]|^2 / M in FFT order. */
VARNEL_API int32_t CxSTFTsp(const double *x, int32_t N, const WindowSpec *spec, double *out);

/* ------------------------------------------------------------------------
 * Windows
 * ---------------------------------------------------------------------- */

/* Unit-energy Gaussian: out[i] = (pi*variance)^(-1/4) exp(-(centre-i)^2 /
 * (2 variance)) for i < n. Always returns 0; n <= 0 or a null out writes
 * nothing. variance is not tested: any finite positive variance gives
 * finite samples (a subnormal one: 0 everywhere but an integer centre),
 * variance <= 0 gives non-finite samples. */
VARNEL_API int32_t Gaussian(int32_t n, double centre, double variance, double *out);

/* Dual (analysis) window of the synthesis window[L] for time step dM and
 * N bins, so that ReDGT with the dual followed by ReDGE with the window
 * reconstructs. mode 0: periodic dual (signals of exactly L samples);
 * mode 1: aperiodic dual (signals of any length). The dual samples of each
 * residue of the time index modulo dM are the least-norm solution of that
 * residue's biorthogonality conditions; singular values up to 1e-10 count
 * as zero. That bound is absolute, so a window far below unit scale (a
 * Gaussian of peak 1e-10) loses real singular values and gets a wrong or
 * zero dual: scale the window to a peak near 1 first, since the dual of
 * c * window is the dual of window divided by c. The periodic dual with
 * dM dividing N (any power-of-two dM) is computed from Fourier transforms
 * of length L/N of the window's samples N apart, in time growing as
 * L log(L/N); the other cases decompose each residue's system, in time
 * growing as L^3 / N^2 (a fifth of a second for L = 16384 onto 256 bins,
 * 13 s for 65536). A residue whose window samples are not finite, or so
 * large (beyond about 1e150) that their squares overflow, has a
 * decomposition that does not converge: it gets zero dual samples and the
 * status stays 0. Subnormal samples act as zeros. Status 29 for a bad
 * dM/N, 1 when L is not a positive multiple of dM and N, 29 when dM > N,
 * -20061 for another mode, -20001 without memory; all scratch is taken
 * before dual is written, so after any non-zero status dual is untouched. */
VARNEL_API int32_t FastDual(const double *window, int32_t L, int32_t dM, int32_t N, int32_t mode, double *dual);

/* ------------------------------------------------------------------------
 * Signal extension: m samples on each side of x[n] by an ExtensionMode.
 * left[m-1] is the sample just before x[0]; right[0] the one just after
 * x[n-1]. Status 4 for an unknown mode, 1 when the Linear rule has n < 2 or
 * the Quadratic rule n < 3, -20001 when the TaperedSymmetric rule gets no
 * memory for its taper (the only rule that takes any). A negative m, and
 * the Periodic rule with n < 1, return 1 and write nothing, and so do a
 * null or overlapping array (x is not read by the Zero rule; m = 0 writes
 * no side): in place (left or right on x) would read samples already
 * overwritten. Every failure leaves the side arrays untouched.
 * ---------------------------------------------------------------------- */
VARNEL_API int32_t ReExtension(const double *x, int32_t n, int32_t mode, int32_t m, double *left, double *right);

/* Complex form: x, left and right hold interleaved (Cx) samples. */
VARNEL_API int32_t CxExtension(const double *x, int32_t n, int32_t mode, int32_t m, double *left, double *right);

/* ------------------------------------------------------------------------
 * Discrete Gabor transform. The signal of n samples is zero-padded to
 * P = ceil(n/dM)*dM samples and treated as periodic; frame k (k < F = P/dM)
 * has window sample g[L/2] on signal sample k*dM. Requirements on the WindowSpec:
 * L >= 1 a multiple of dM and of N, N a power of two, 1 <= dM <= N
 * (status 29 otherwise); n < 1 gives 1, and so does n = dM (the transform
 * would see exactly one window) or an extended length n + L above 2^31 - 1,
 * and then a null or overlapping array (before -20001 and, for CxDGTEx,
 * before the layout test).
 *
 * Two algorithms give the same coefficients up to rounding. Folding
 * windows each frame's L samples onto N bins and costs about F*L
 * operations. The factorisation of the lattice, which needs N to divide P
 * at least twice and dM to divide N, computes every coefficient position
 * of the frames r, r + N/dM, r + 2N/dM, ... as a circular correlation of
 * length b = P/N between the samples l, l + N, l + 2N, ... of the signal
 * and of the window periodised over P, by FFTs of length b, and costs
 * about F*N*log2(P): its time hardly depends on L. ReDGT, CxDGT and CxDGTEx factorise when
 * both conditions hold and L > N*max(4*bits(b) - 16, 2), bits(b) the
 * number of binary digits of b (L above 16N for b = 128 up to 28N for
 * b = 1024: where the two were measured to take equal time). Its scratch
 * is about 2P doubles for a real signal and 3P for a complex one (folding
 * takes L + P per part); windows longer than the period are allowed.
 * DGT2d and DGE2d choose per dimension by the same rules, and then make
 * the window's part of the factorisation (P doubles) once for all rows or
 * columns.
 * ---------------------------------------------------------------------- */

/* Real signal; out receives F frames of N doubles in the Hc layout. */
VARNEL_API int32_t ReDGT(const double *x, int32_t n, const WindowSpec *spec, double *out);

/* Complex signal in the Cx layout; out receives F*N interleaved values. */
VARNEL_API int32_t CxDGT(const double *x, int32_t n, const WindowSpec *spec, double *out);

/* Complex signal split (inStride 1) or interleaved (inStride 2, inIm = inRe + 1);
 * bin b of frame k at (k*N + b)*outStride. Any other layout returns -1. */
VARNEL_API int32_t CxDGTEx(const double *inRe, const double *inIm, int32_t inStride, int32_t n,
                           const WindowSpec *spec, double *outRe, double *outIm, int32_t outStride);

/* Block-wise real Gabor transform, dM also a power of two. history holds
 * the *historyLength samples that precede x in the stream (0 before the
 * first block, or L - dM zeros, see below). The combined block, history
 * followed by x, has T = *historyLength + n samples and is not extended:
 * only frames whose windows lie wholly inside it are computed,
 * F' = (T - L)/dM + 1 of them when T >= L and none otherwise. Frame k has
 * window sample g[0] on sample k*dM of the combined block and its phase
 * referred to the block's first sample (the STFT with shift 0).
 *   out      F'*N doubles, Hc frames.
 *   history  at least max(*historyLength, L - 1) doubles. On success it
 *            receives the samples from the first frame not computed on,
 *            H' = T - F'*dM of them (always below L; L - dM when T - L is
 *            a multiple of dM), and *historyLength = H'. On any failure
 *            both are left unchanged, so the block can be offered again.
 * Status 1 for n < 1, a null historyLength or *historyLength < 0, or when
 * (F' - 1)*dM + L + 1 exceeds 2^31 - 1; 29 as for ReDGT or when dM is not a
 * power of two; then 1 for a null or overlapping array (history sized as
 * above, out F'*N); -20001 without memory; else the STFT's status.
 * Streaming: the frames of successive calls are, in order, the frames of
 * one call over the whole stream with the same initial history. Their
 * values agree too when every call's F'*dM is a multiple of N (the phase
 * reference moves by F'*dM per call): start with L - dM zeros as history
 * and give blocks whose lengths are multiples of N, and each call yields
 * n/dM frames. Passing each call's frames to ReDGEWithIC as one block pairs
 * the phases whatever the block lengths; with an aperiodic dual (FastDual
 * mode 1) as analysis window and L - dM zeros as initial history, the
 * synthesised stream is the input delayed by L - dM samples. */
VARNEL_API int32_t ReDGTWithIC(const double *x, int32_t n, double *history, int32_t *historyLength,
                               const WindowSpec *spec, double *out);

/* ------------------------------------------------------------------------
 * Discrete Gabor expansion: F frames of N coefficients back to a signal,
 * with the synthesis window g of the WindowSpec (the transform's analysis window
 * being its dual, see FastDual). The P = F*dM samples form one period:
 * frame k adds dM*g[j]*y_k[(k*dM + j) mod N] to sample k*dM - L/2 + j, y_k
 * the inverse FFT (with 1/N) of frame k, and what falls beyond either end
 * of the period is wrapped around once. Same lattice rules as the
 * transform, and N must equal spec->binCount (29 otherwise); status 1 for
 * F < 1, N < 1 or outLength < 1, and after the lattice tests for a null or
 * overlapping array; -20001 without memory. The output receives
 * outLength samples: the first min(outLength, P) of the period, then zeros.
 * The coefficients are not modified.
 *
 * ReDGE, CxDGE and CxDGEEx use the transform's factorised algorithm (see
 * ReDGT) under the same rule, and only for windows no longer than the
 * period (L <= P), where the wrap-around makes the expansion periodic; its
 * scratch is about (N/dM + 2)*P doubles for real frames and twice that for
 * complex ones.
 * Otherwise each frame is inverse transformed and added to the period
 * (directly into out when L <= P and out is contiguous and holds P
 * samples).
 * ---------------------------------------------------------------------- */

/* Hc frames (F*N doubles, as from ReDGT) to outLength real samples. */
VARNEL_API int32_t ReDGE(const double *coef, int32_t F, int32_t N, const WindowSpec *spec, double *out,
                         int32_t outLength);

/* Complex frames (F*N values, Cx) to outLength complex samples (Cx). */
VARNEL_API int32_t CxDGE(const double *coef, int32_t F, int32_t N, const WindowSpec *spec, double *out,
                         int32_t outLength);

/* Complex frames with bin b of frame k at (k*N + b)*inStride of inRe and
 * inIm; sample t written to outRe[t*outStride] and outIm[t*outStride]
 * (interleaved: stride 2 with im = re + 1; split: stride 1). */
VARNEL_API int32_t CxDGEEx(const double *inRe, const double *inIm, int32_t inStride, int32_t F, int32_t N,
                           const WindowSpec *spec, double *outRe, double *outIm, int32_t outStride,
                           int32_t outLength);

/* Block-wise real expansion, dM also a power of two: F Hc frames into
 * exactly F*dM samples of out, frame k with window sample g[0] on out[k*dM],
 * without wrap-around. The L - dM samples by which the frames reach past
 * the block go to state (at least L - dM doubles) and are added to the
 * start of the next block; *stateLength is 0 before the first block and
 * L - dM after each call. Successive blocks give the stream of one call
 * over all frames when every block's F*dM is a multiple of N (frames are
 * counted from 0 in each block), the last L - dM samples staying in state.
 * Status 1 for F < 1 or N < 1; 29 as for ReDGE or when dM is not a power of
 * two; then 1 for a null stateLength or *stateLength outside 0 .. L - dM,
 * then for a null or overlapping array; -20001 without memory. out and
 * state are written only on success. */
VARNEL_API int32_t ReDGEWithIC(const double *coef, int32_t F, int32_t N, const WindowSpec *spec, double *out,
                               double *state, int32_t *stateLength);

/* ------------------------------------------------------------------------
 * Two-dimensional Gabor transform and expansion of a real image of nRows
 * rows of nCols doubles (row-major), with one spec per dimension: spec1
 * down the columns (real transforms), spec2 along the rows (complex ones).
 * Coefficients: F1*N1*F2*N2 complex values (Cx); first-dimension frame f1,
 * bin b1, second-dimension frame f2, bin b2 at ((f1*N1 + b1)*F2 + f2)*N2 + b2.
 * All N1 first-dimension bins are stored, and every first-dimension index
 * owns a contiguous block laid out as CxDGT writes it.
 * ---------------------------------------------------------------------- */

/* F1 = ceil(nRows/dM1), F2 = ceil(nCols/dM2); out as above. Status 1 for
 * nRows < 1 or nCols < 1; 29 when either spec breaks the transform's
 * lattice rules; 1 when nRows = dM1 or nCols = dM2 (as ReDGT and CxDGT
 * answer such a length) or when nRows + L1 or nCols + L2 exceeds
 * 2^31 - 1; then the array tests; -20001 without memory. Every test of
 * both dimensions and all working memory come before anything is written,
 * so after any non-zero status out is untouched. */
VARNEL_API int32_t DGT2d(const double *image, int32_t nRows, int32_t nCols, const WindowSpec *spec1,
                         const WindowSpec *spec2, double *out);

/* Expansion into image (nRows*nCols doubles): CxDGE along the second
 * dimension, then ReDGE down each column of the conjugate-symmetric part,
 * so the image is the real part of the complex expansion. Status 1 for
 * F1, F2, N1, N2, nRows or nCols < 1; 29 when either spec breaks the
 * expansion's lattice rules or N1, N2 differ from the specs' bin counts;
 * 1 for a null or overlapping array; -20001 without memory. All working
 * memory is taken before image is written, so after any non-zero status
 * image is untouched. */
VARNEL_API int32_t DGE2d(const double *coef, int32_t F1, int32_t N1, int32_t F2, int32_t N2,
                         const WindowSpec *spec1, const WindowSpec *spec2, double *image, int32_t nRows,
                         int32_t nCols);

/* ------------------------------------------------------------------------
 * Quadratic distributions: Wigner-Ville and Cohen class
 * ------------------------------------------------------------------------ */

/* Common to the four functions below. The signal is re[N] and im[N]
 * (split layout); a null im selects a real signal, which with
 * analytic != 0 is analysed through its analytic signal (sqrt(2), not 2, on
 * the positive frequencies of the spectrum zero-padded to nextPow2(N), so a
 * cosine of amplitude A counts as amplitude A/sqrt(2)); analytic is ignored
 * for a complex signal. Complex signals, and real ones without the flag,
 * are first resampled at twice the rate by band-limited half-sample
 * interpolation (on the zero-padded length, so the value after the last
 * sample mixes with the padding). Slice j, j < T = floor(N/timeStep), is
 * centred on sample j*timeStep; bin k stands for k/nFreq cycles per sample.
 * A complex signal gets B = nFreq bins (k >= nFreq/2 are the negative
 * frequencies k/nFreq - 1, FFT order), a real one B = nFreq/2 (0 <= f < 1/2).
 * out receives T*B doubles, slice j, bin k at out[j*B + k]:
 *   W[j][k] = (1/M) sum over |tau| < M of r_j[tau] exp(-2 pi i k tau/M),
 * r_j[tau] = z[p+tau] conj(z[p-tau]), r_j[-tau] = conj(r_j[tau]), where z is
 * the analysed sequence, p the slice's position in it and a product with a
 * sample outside z is 0: M = nFreq half-sample lags, or M = nFreq/2
 * whole-sample lags in analytic mode.
 * After the tests listed for each function, a null re is answered with 1
 * (in WVD only when there is something to compute), and so is a null out
 * when T*B > 0 or an out overlapping re, im (or the kernel, tested after
 * Cohen's test for a null kernel). -20001: working memory not available; out is then
 * unwritten. */

/* Wigner-Ville distribution. nFreq: a power of two. Tests in this order:
 * 1 when N < 1; 3 when nFreq < 1 or not a power of two; 22 when
 * timeStep < 1. T = 0 (N < timeStep) or B = 0 (real signal, nFreq = 1)
 * writes nothing and returns 0. N above 2^30, whose padded length is
 * beyond the library's 32-bit FFT lengths, returns -20001. */
VARNEL_API int32_t WVD(const double *re, const double *im, int32_t N, int32_t nFreq, int32_t timeStep,
                       int32_t analytic, double *out);

/* Cohen-class distribution: each lag row of the table r_j is first smoothed
 * along time by kernel[r*kernelWidth + c] (r the lag row, c the Doppler bin
 * c - kernelWidth/2 of a kernelWidth-point DFT at the input rate; real
 * values), then kept at every timeStep-th sample. kernel holds at least
 * nFreq rows (nFreq/2 are read in analytic mode). A real signal without the
 * analytic flag uses each row averaged over +d and -d Doppler. The
 * smoothing is circular over kernelWidth samples. Tests in this order:
 * 1 when N < 1; 28 when nFreq < 1 or not a power of two; 28 when
 * kernelWidth < 1, not a power of two, or below N; 22 when timeStep < 1 or
 * not a power of two; then 1 for a null re (or out), 28 for a null kernel;
 * -20001; finally, after the signal preparation, 28 when kernelWidth
 * differs from nextPow2(floor(N/timeStep)*timeStep) (always when
 * N < timeStep, unlike WVD, which returns 0 then). kernel: at least
 * nFreq*kernelWidth doubles (nFreq/2 rows in analytic mode). */
VARNEL_API int32_t Cohen(const double *re, const double *im, int32_t N, const double *kernel, int32_t nFreq,
                         int32_t kernelWidth, int32_t timeStep, int32_t analytic, double *out);

/* Choi-Williams distribution: Cohen with the kernel
 * exp(-sigma r^2 (c - W/2)^2), W = nextPow2(N), nFreq rows; a negative sigma
 * counts as 0, which gives WVD. Tests in this order: 1 when N < 1; 22 when
 * timeStep < 1 or not a power of two; 3 when nFreq & (nFreq - 1) != 0 as a
 * 32-bit pattern; 28 for the nFreq that pattern lets through (0, INT32_MIN);
 * 1 for a null re (or out); -20001 for N above 2^30 or without memory (the
 * kernel is made one row of W values at a time, never as a whole table);
 * then Cohen's status, which is 28 whenever
 * floor(N/timeStep)*timeStep <= W/2 (e.g. N = 129, timeStep = 4) or
 * N < timeStep. */
VARNEL_API int32_t CWD(const double *re, const double *im, int32_t N, int32_t nFreq, int32_t timeStep,
                       double sigma, int32_t analytic, double *out);

/* Cone-shaped distribution: as CWD with the kernel
 * exp(-alpha r^2) sin(x)/x, x = (c - W/2) r pi / W (exp(-alpha r^2) at
 * x = 0); a negative alpha counts as 0 (the pure cone). Row 0 is all ones,
 * so the zero lag passes unchanged. */
VARNEL_API int32_t CSD(const double *re, const double *im, int32_t N, int32_t nFreq, int32_t timeStep,
                       double alpha, int32_t analytic, double *out);

/* ------------------------------------------------------------------------
 * Gabor spectrogram and instantaneous frequency
 * ------------------------------------------------------------------------ */

/* Gabor spectrogram of an order band from M*N Gabor coefficients
 * coefs[m*N + n] (Cx, time-major; atom (m, n) at time m*dM samples and
 * angular frequency 2*pi*n/N, the frequency index circular) of a Gaussian
 * window of variance a (samples squared). Sums, over lattice offsets
 * (dm, dn) with lo <= |dm| + |dn| <= hi, the coefficient products times the
 * closed-form cross Wigner-Ville distribution of the two atoms; lo =
 * max(lowOrder, 0), hi = max(lo, min(highOrder, min(M, N) - 1)), so a
 * lowOrder above the clamped highOrder sums that single order. Order 0 is
 * a sum of Gaussian blobs |C[m][n]|^2 exp(-(t - m*dM)^2/a - a*(w - 2*pi*n/N)^2)
 * times 2*dM^2/(N^3*K1).
 * Output grid: K2 instants per lattice step (fine instant t at t*dM/K2
 * samples) and K1 bins per lattice bin (fine bin k at 2*pi*k/(N*K1)
 * rad/sample); out receives M*K2*nF doubles, out[t*nF + f] for fine
 * instant t < M*K2 and fine bin f0 + f, f < nF. The time axis is circular over NT = nextPow2(ceil(6.3*sqrt(a)/dM) + M) lattice steps, which leaves a
 * margin of about 6 standard deviations of the window against wrap-around.
 * Checks, in this order: 1 when M < 1 or N is not a power of two; 29 when
 * dM is not a power of two; 23 when highOrder < 0; 27 when a <= 0 or NaN;
 * 31 when K2 < 0 or K1 < 0; 30 unless 0 <= f0 < N*K1 and
 * 1 <= nF <= N*K1 - f0 (so K1 = 0 gives 30). Nothing is written then.
 * K2 = 0 passes the checks and describes an empty output: 0 is returned
 * and nothing is written. Otherwise 1 for a null coefs or out, or an out
 * overlapping coefs. -20001 when working memory or an FFT plan cannot
 * be obtained, including when NT would exceed 2^30 (a = +inf or a huge
 * variance); out is then untouched. Working memory is about
 * 2*(M*N + M*nF + 2*N*K1 + 2*K2*NT + nF*K2*NT) doubles. Any a > 0 runs in
 * bounded time: below a = 1/256 the frequency kernel, wider than the whole
 * frequency circle, is taken as its periodic sum 1/(2*sqrt(pi*a)) (exact to
 * double precision). */
VARNEL_API int32_t CxGaborSp(const double *coefs, int32_t M, int32_t N, int32_t dM, double a, int32_t lowOrder,
                             int32_t highOrder, int32_t K2, int32_t K1, int32_t f0, int32_t nF, double *out);

/* Mean instantaneous frequency, in radians per sample, of the Gabor
 * spectrogram of order 0 .. min(order, min(M, N) - 1) of the coefficients
 * described at CxGaborSp: at each fine instant t (t*dM/K2 samples) the
 * first frequency moment over the energy, the frequency integrals taken
 * in closed form over the positive-frequency atom pairs (midpoint strictly
 * between 0 and N/2 bins), the zero-frequency atoms adding energy at half
 * weight. out receives (M-1)*K2 doubles; the last lattice step is not
 * returned. Where the smoothed energy is zero the quotient is not finite.
 * Checks, in this order: 1 when M < 1 or N is not a power of two; 27 when
 * a <= 0 or NaN; 29 when dM is not a power of two; 23 when order < 0; 31
 * when K2 < 0. Nothing is written then. M = 1 or K2 = 0 describes an empty
 * output: 0 is returned, nothing is written and no memory is taken.
 * Otherwise 1 for a null coefs or out, or an out overlapping coefs.
 * -20001 when working memory or the FFT plan cannot be obtained, including
 * when the circular time length NT = nextPow2(ceil(12*sqrt(2a)/dM) + M)
 * would exceed 2^30; out is then untouched. Working memory is about
 * 8*K2*NT + 6*M + 4*NT doubles. */
VARNEL_API int32_t MIFOfGaborSp(const double *coefs, int32_t M, int32_t N, int32_t dM, double a, int32_t order,
                                int32_t K2, double *out);

/* Per-slice centroid and energy of a time-frequency map S of T slices of F
 * bins (S[t*F + k], e.g. from CxGaborSp or WVD): energy[t] = sum_k S[t][k],
 * freq[t] = sum_k k*S[t][k] / energy[t] in bin units (T doubles each). A
 * centroid is valid when 0 < freq <= F-1 (0 itself, negatives, values above
 * F-1 and the non-finite quotient of a zero-energy slice are not); runs of
 * invalid centroids are replaced by the straight line between their valid
 * neighbours, a leading run rising from 0 (as if slice -1 held 0), a
 * trailing run falling to 0 at slice T; no valid centroid gives all zeros.
 * reserved1 and reserved2 are not read. 1 when T < 1 or F < 1, then the
 * array tests (S of T*F doubles; -20001 is the only use of that status
 * here), otherwise 0 with both outputs fully written. No working memory. */
VARNEL_API int32_t InstantaneousFrequency(const double *S, int32_t T, int32_t F, int32_t reserved1, int32_t reserved2,
                                          double *freq, double *energy);

/* ------------------------------------------------------------------------
 * Adaptive representations and the reassigned spectrogram
 *
 * Terms and coefficients: numTerms AdaptiveTerm records and, in a separate
 * array, numTerms complex coefficients as interleaved (re, im) pairs;
 * coefficient j belongs to term j. A term is usable when alpha is a finite
 * positive number and tc, omega, beta and both parts of its coefficient are
 * finite; the functions below test every term before they write anything
 * and answer an unusable one with kStatusBadTerm (32). Their cost per term
 * follows the term's support, never the output size alone.
 * ---------------------------------------------------------------------- */

/* Signal rebuilt from chirplet terms. CxAdaptiveExpansion writes length
 * complex samples (2*length doubles, Cx): the sum of c_j g_j(n) over the
 * samples within 9/sqrt(alpha_j) of tc_j, clipped to the output.
 * ReAdaptiveExpansion writes length real samples: for each term the real
 * sequence whose spectrum is the one half of the spectrum of c_j g_j on
 * which omega_j (folded into [0, 2 pi)) lies, mirrored into the other half
 * (2 Re(c_j g_j) for a term wholly on one side of the frequency axis;
 * c_j g_j itself for a real coefficient with omega = beta = 0). It is
 * computed on the term's support of half-width round(9/sqrt(alpha)), at
 * most length - 1, zero-padded to a power of two, and clipped when added.
 * Tests in this order: 1 when numTerms < 1 or length < 1, or terms, coefs
 * or out is null or out overlaps terms or coefs; 32 for an unusable term. Nothing is written then.
 * CxAdaptiveExpansion returns 1 when a term's support lies wholly before
 * sample 0 or at or after sample length; out then holds the sum of the
 * terms before it. ReAdaptiveExpansion skips such a term. -20001 when
 * working memory or an FFT plan cannot be obtained (including a real
 * term whose support exceeds 2^30 samples); out then holds the terms added
 * before. Working memory: 2*length doubles, and for the real form two
 * buffers of the next power of two above each term's support. */
VARNEL_API int32_t CxAdaptiveExpansion(const AdaptiveTerm *terms, const double *coefs, int32_t numTerms,
                                       int32_t length, double *out);
VARNEL_API int32_t ReAdaptiveExpansion(const AdaptiveTerm *terms, const double *coefs, int32_t numTerms,
                                       int32_t length, double *out);

/* Adaptive chirplet decomposition by greedy pursuit. From a copy of the
 * signal (N real samples, or N Cx samples; the signal is not modified) it
 * takes one term after another: a coarse candidate from Gaussian-windowed
 * spectrograms of the residual with windows of L, L/2, ..., 16 samples
 * (hop a window's eighth, the residual extended by L/2 samples at each end
 * by extensionMode), a refinement by log-parabolic fits of probe
 * correlations that also estimates the chirp rate (chirpMode 1 keeps the
 * probes' chirp rate), the coefficient c = sum r conj(g), and the
 * subtraction of c g (complex) or of its real waveform as in
 * ReAdaptiveExpansion (real; half-width 9/sqrt(alpha) at most N - 1,
 * starting at trunc(tc - h)). It stops at maxTerms terms or at the first
 * candidate that does not lower the residual's energy; that candidate
 * stays in slot numTermsOut of terms and coefs and its waveform stays
 * subtracted from residual. After a subtraction only the spectrogram
 * frames within rangeFactor*sqrt(2/alpha) of the term are recomputed.
 * Defaults: windowLength < 8 selects L = 2^round(log2 N), otherwise
 * L = nextPow2(windowLength); rangeFactor <= 0 or not a number selects 4
 * (+inf rescans everything); maxAttempts <= 0 selects 10 refinement
 * attempts per term. Outputs: numTermsOut, residualPercent = 100 * energy
 * left after the counted terms / energy of the signal (not a number for a
 * zero signal), coefs and terms (maxTerms slots each), residual (like the
 * signal).
 * Order of work: *numTermsOut = 0 first (when not null); 1 when N < 8;
 * 25 when maxTerms < 0; 1 when signal, numTermsOut, residualPercent or
 * residual is null, or coefs or terms is null while maxTerms > 0, or any
 * output overlaps the signal or another output; -20001
 * when L would exceed 2^30 or memory or a plan cannot be obtained; the
 * extension's status (4 for an undefined extensionMode, first seen when
 * the first term is sought, so not with maxTerms = 0). On any non-zero
 * status numTermsOut stays 0 and residualPercent and residual are not
 * written; term and coefficient slots of earlier iterations may be.
 * Refinement attempts whose fitted term is not finite count as failed, so
 * every returned term is finite. A signal holding non-finite samples, or
 * whose energy overflows, ends after its first candidate with no term
 * counted and a residual percentage that is not a number. Working memory
 * is about 5N + 8L doubles for a real signal and 6N + 9L for a complex
 * one, plus 4 nextPow2(support) doubles for the real waveforms. */
VARNEL_API int32_t ReAdaptiveTransform(const double *signal, int32_t N, int32_t chirpMode, int32_t extensionMode,
                                       int32_t windowLength, double rangeFactor, int32_t maxAttempts,
                                       int32_t maxTerms, int32_t *numTermsOut, double *residualPercent,
                                       double *coefs, AdaptiveTerm *terms, double *residual);
VARNEL_API int32_t CxAdaptiveTransform(const double *signal, int32_t N, int32_t chirpMode, int32_t extensionMode,
                                       int32_t windowLength, double rangeFactor, int32_t maxAttempts,
                                       int32_t maxTerms, int32_t *numTermsOut, double *residualPercent,
                                       double *coefs, AdaptiveTerm *terms, double *residual);

/* Adaptive spectrogram: the sum over the terms of the Wigner distribution
 * of c_j g_j, 2 |c_j|^2 exp(-alpha u^2 - (nu - omega - beta u)^2/alpha),
 * divided by K. Row m is time t0' + m*dt samples (t0' = max(t0, 0)),
 * column k the frequency 2 pi (f0 + k)/K rad/sample; out receives
 * rows*cols doubles, out[m*cols + k]. A term paints only the cells inside
 * its ellipse: |u| <= 6.3/sqrt(alpha), and within 6.3 standard deviations
 * of its instantaneous frequency (the band widens away from tc).
 * ReAdaptiveSp (terms of a real signal) draws each term at its frequency
 * folded into [0, pi] (omega = -0.3 and 2 pi + 0.3 both at 0.3), keeping
 * the stored chirp rate. CxAdaptiveSp draws it at omega + beta u, unfolded,
 * wrapping around the K bins: a term near frequency 0 shows at both ends.
 * Where a row's band spans more than four turns of the frequency circle
 * its cells receive the sum over all turns in closed form; a row whose
 * instantaneous frequency exceeds 2^52 bins in magnitude, and so has no
 * resolvable frequency, adds nothing.
 * Tests in this order: 1 when numTerms, rows or cols < 1, or coefs, terms
 * or out is null or out overlaps coefs or terms (-20001 when out, rows*cols
 * doubles, is beyond any array); 21 when dt < 1; 3 when K < 1; 30 unless
 * 0 <= f0 < K and f0 + cols <= K; 32 for an unusable term. Nothing is
 * written then. No working memory. Note the argument order: coefficients first. */
VARNEL_API int32_t ReAdaptiveSp(const double *coefs, const AdaptiveTerm *terms, int32_t numTerms, int32_t dt,
                                int32_t K, int32_t t0, int32_t f0, int32_t rows, int32_t cols, double *out);
VARNEL_API int32_t CxAdaptiveSp(const double *coefs, const AdaptiveTerm *terms, int32_t numTerms, int32_t dt,
                                int32_t K, int32_t t0, int32_t f0, int32_t rows, int32_t cols, double *out);

/* Reassigned spectrogram. The WindowSpec gives window w (Lw samples, Lw >= 2),
 * time step dt and K bins (a power of two). Frame m covers samples
 * m*dt .. m*dt + Lw - 1, M = (N - Lw)/dt + 1 frames; each frame is
 * transformed with h = w/sqrt(K), with th[i] = (i - (Lw-1)/2) h[i] and
 * with the difference derivative dh of h (segments longer than K are
 * folded onto K points). The energy P = |X_h(k)|^2 of each cell moves to
 * frame m + round(Re(X_th/X_h)/dt) and bin k - round(Im(X_dh/X_h) K/(2 pi))
 * (halves up; the bin taken modulo K), unless P is at most (real) or
 * below (complex) 1e-6 times the mean power of the whole signal, in which
 * case it stays. Energy moved outside the frames is dropped, and for a
 * real signal energy above bin K/2 folds back to K - k' and energy landing
 * on K/2 is dropped. out receives M*(K/2) doubles (real: bins 0..K/2-1) or
 * M*K doubles (complex, N Cx samples in), out[m*Kout + k].
 * Tests in this order: 29 when spec is null; 1 when N < Lw; 29 when
 * dt < 1, K < 1 or K is not a power of two; 29 when Lw < 2 (the window
 * derivative needs two samples) or window is null; 1 when signal or out is
 * null (out may be null when empty: K = 1, real) or out overlaps the signal
 * or the window. Nothing is written then. -20001 when working memory or the FFT
 * plan cannot be obtained; out is then not written. A non-finite sample
 * (or a signal whose mean power overflows) makes the threshold not a
 * number: every cell is then reassigned, and a cell whose target is not a
 * finite number (those of the frames holding the sample, and cells of no
 * energy) stays where it is. Working memory is about 3*Lw + 5*K doubles
 * (complex: 3*Lw + 10*K) whatever N is. */
VARNEL_API int32_t ReReassignedSTFTSp(const double *signal, int32_t N, const WindowSpec *spec, double *out);
VARNEL_API int32_t CxReassignedSTFTSp(const double *signal, int32_t N, const WindowSpec *spec, double *out);

#ifdef __cplusplus
}
#endif

#endif /* VARNEL_H */
