// Conversions between the Cx, ReIm and Hc layouts.
//
// Each conversion is written once over a split-complex view of the complex
// side (an interleaved array is the view {cx, cx + 1, 2}) so that the
// interleaved and split variants cannot drift apart. The exports have no
// status to report with, so a null or overlapping array makes them do
// nothing rather than write through it.
#include "frame/layouts.h"

#include <cstddef>
#include <numeric>

#include "frame/array_check.h"
#include "frame/split_complex.h"
#include "varnel.h"

namespace varnel::layout {
namespace {

void set(SplitComplex z, std::ptrdiff_t k, double re, double im) {
    z.real(k) = re;
    z.imag(k) = im;
}

// Full spectrum from Hc: the upper half by conjugate symmetry.
void expandHalfComplex(const double* hc, SplitComplex out, std::ptrdiff_t n) {
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
void reduceToHalfComplex(ConstSplitComplex in, double* hc, std::ptrdiff_t n) {
    hc[0] = in.real(0);
    for (std::ptrdiff_t k = 1; k < (n + 1) / 2; ++k) {
        hc[k] = std::midpoint(in.real(k), in.real(n - k));
        hc[n - k] = std::midpoint(in.imag(k), -in.imag(n - k));
    }
    if (n % 2 == 0 && n >= 2) hc[n / 2] = in.real(n / 2);
}

void copy(ConstSplitComplex in, SplitComplex out, std::ptrdiff_t n) {
    for (std::ptrdiff_t k = 0; k < n; ++k) set(out, k, in.real(k), in.imag(k));
}

}  // namespace

void hcToCx(const double* hc, double* cx, std::ptrdiff_t n) noexcept { expandHalfComplex(hc, {cx, cx + 1, 2}, n); }

void hcToReIm(const double* hc, double* re, double* im, std::ptrdiff_t n) noexcept {
    expandHalfComplex(hc, {re, im, 1}, n);
}

void cxToHc(const double* cx, double* hc, std::ptrdiff_t n) noexcept { reduceToHalfComplex({cx, cx + 1, 2}, hc, n); }

void reImToHc(const double* re, const double* im, double* hc, std::ptrdiff_t n) noexcept {
    reduceToHalfComplex({re, im, 1}, hc, n);
}

void cxToReIm(const double* cx, double* re, double* im, std::ptrdiff_t n) noexcept {
    copy({cx, cx + 1, 2}, {re, im, 1}, n);
}

void reImToCx(const double* re, const double* im, double* cx, std::ptrdiff_t n) noexcept {
    copy({re, im, 1}, {cx, cx + 1, 2}, n);
}

}  // namespace varnel::layout

namespace {

bool usable(const varnel::ArrayCheck& arrays) { return arrays.status() == kStatusOk; }

}  // namespace

extern "C" {

VARNEL_API void _Hc2Cx(const double* hc, double* cx, int32_t n) {
    if (n < 1 || !usable(varnel::ArrayCheck().reads(hc, n).writes(cx, 2 * std::int64_t{n}))) return;
    varnel::layout::hcToCx(hc, cx, n);
}

VARNEL_API void _Cx2Hc(const double* cx, double* hc, int32_t n) {
    if (n < 1 || !usable(varnel::ArrayCheck().reads(cx, 2 * std::int64_t{n}).writes(hc, n))) return;
    varnel::layout::cxToHc(cx, hc, n);
}

VARNEL_API void _Cx2ReIm(const double* cx, double* re, double* im, int32_t n) {
    if (n < 1 || !usable(varnel::ArrayCheck().reads(cx, 2 * std::int64_t{n}).writes(re, n).writes(im, n))) return;
    varnel::layout::cxToReIm(cx, re, im, n);
}

VARNEL_API void _ReIm2Cx(const double* re, const double* im, double* cx, int32_t n) {
    if (n < 1 || !usable(varnel::ArrayCheck().reads(re, n).reads(im, n).writes(cx, 2 * std::int64_t{n}))) return;
    varnel::layout::reImToCx(re, im, cx, n);
}

VARNEL_API void _Hc2ReIm(const double* hc, double* re, double* im, int32_t n) {
    if (n < 1 || !usable(varnel::ArrayCheck().reads(hc, n).writes(re, n).writes(im, n))) return;
    varnel::layout::hcToReIm(hc, re, im, n);
}

VARNEL_API void _ReIm2Hc(const double* re, const double* im, double* hc, int32_t n) {
    if (n < 1 || !usable(varnel::ArrayCheck().reads(re, n).reads(im, n).writes(hc, n))) return;
    varnel::layout::reImToHc(re, im, hc, n);
}

}  // extern "C"
