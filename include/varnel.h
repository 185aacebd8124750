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

/* One Gaussian chirplet term; its complex coefficient is stored separately. */
typedef struct AdaptiveTerm {
    double alpha; /* Gaussian spread parameter */
    double tc;    /* time centre in samples */
    double omega; /* frequency centre in radians per sample */
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
 * For n < 1 nothing is written.
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

#ifdef __cplusplus
}
#endif

#endif /* VARNEL_H */
