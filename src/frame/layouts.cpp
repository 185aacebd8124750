// The six exported conversions between the Cx, ReIm and Hc layouts.
//
// Each conversion is written once over a split-complex view of the complex
// side (an interleaved array is the view {cx, cx + 1, 2}) so that the
// interleaved and split variants cannot drift apart. They have
// no status to report with, so a null or overlapping array makes them do
// nothing rather than write through it.
#include <cstddef>
#include <numeric>

#include "frame/array_check.h"
#include "frame/split_complex.h"
#include "varnel.h"

namespace {

// Full spectrum from Hc: the upper half by conjugate symmetry.
void set(varnel::SplitComplex z, std::ptrdiff_t k, double re, double im) {
    z.real(k) = re;
    z.imag(k) = im;
}

void expandHalfComplex(const double* hc, varnel::SplitComplex out, std::ptrdiff_t n) {
    set(out, 0, hc[0], 0.0);
    for (std::ptrdiff_t k = 1; k < (n + 1) / 2; ++k) {
        set(out, k, hc[k], hc[n - k]);
        set(out, n - k, hc[k], -hc[n - k]);
    }
    if (n % 2 == 0 && n >= 2) set(out, n / 2, hc[n / 2], 0.0);
}

// Hc of the conjugate-symmetric part: averaging bins k and n-k makes an
// arbitrary spectrum Hermitian before half of it is dropped. The midpoint
// neither overflows for values beyond DBL_MAX/2 nor loses the last bit of
// subnormal ones, so a Hermitian spectrum comes back exactly.
void reduceToHalfComplex(varnel::ConstSplitComplex in, double* hc, std::ptrdiff_t n) {
    hc[0] = in.real(0);
    for (std::ptrdiff_t k = 1; k < (n + 1) / 2; ++k) {
        hc[k] = std::midpoint(in.real(k), in.real(n - k));
        hc[n - k] = std::midpoint(in.imag(k), -in.imag(n - k));
    }
    if (n % 2 == 0 && n >= 2) hc[n / 2] = in.real(n / 2);
}

bool usable(const varnel::ArrayCheck& arrays) { return arrays.status() == kStatusOk; }

}  // namespace

extern "C" {

VARNEL_API void _Hc2Cx(const double* hc, double* cx, int32_t n) {
    if (n < 1 || !usable(varnel::ArrayCheck().reads(hc, n).writes(cx, 2 * std::int64_t{n}))) return;
    expandHalfComplex(hc, {cx, cx + 1, 2}, n);
}

VARNEL_API void _Cx2Hc(const double* cx, double* hc, int32_t n) {
    if (n < 1 || !usable(varnel::ArrayCheck().reads(cx, 2 * std::int64_t{n}).writes(hc, n))) return;
    reduceToHalfComplex({cx, cx + 1, 2}, hc, n);
}

VARNEL_API void _Cx2ReIm(const double* cx, double* re, double* im, int32_t n) {
    if (n < 1 || !usable(varnel::ArrayCheck().reads(cx, 2 * std::int64_t{n}).writes(re, n).writes(im, n))) return;
    for (std::ptrdiff_t k = 0; k < n; ++k) {
        re[k] = cx[2 * k];
        im[k] = cx[2 * k + 1];
    }
}

VARNEL_API void _ReIm2Cx(const double* re, const double* im, double* cx, int32_t n) {
    if (n < 1 || !usable(varnel::ArrayCheck().reads(re, n).reads(im, n).writes(cx, 2 * std::int64_t{n}))) return;
    for (std::ptrdiff_t k = 0; k < n; ++k) {
        cx[2 * k] = re[k];
        cx[2 * k + 1] = im[k];
    }
}

VARNEL_API void _Hc2ReIm(const double* hc, double* re, double* im, int32_t n) {
    if (n < 1 || !usable(varnel::ArrayCheck().reads(hc, n).writes(re, n).writes(im, n))) return;
    expandHalfComplex(hc, {re, im}, n);
}

VARNEL_API void _ReIm2Hc(const double* re, const double* im, double* hc, int32_t n) {
    if (n < 1 || !usable(varnel::ArrayCheck().reads(re, n).reads(im, n).writes(hc, n))) return;
    reduceToHalfComplex({re, im}, hc, n);
}

}  // extern "C"
