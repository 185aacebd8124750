// Conversions between the Cx, ReIm and Hc layouts.
//
// Each conversion is written once over a small accessor for the complex side
// so that the interleaved and split variants cannot drift apart. The exports
// have no status to report with, so a null or overlapping array makes them
// do nothing rather than write through it.
#include "frame/layouts.h"

#include <cstddef>
#include <numeric>

#include "frame/array_check.h"
#include "varnel.h"

namespace varnel::layout {
namespace {

struct Interleaved {
    double* cx;
    void set(std::ptrdiff_t k, double re, double im) const { cx[2 * k] = re; cx[2 * k + 1] = im; }
};
struct InterleavedIn {
    const double* cx;
    double re(std::ptrdiff_t k) const { return cx[2 * k]; }
    double im(std::ptrdiff_t k) const { return cx[2 * k + 1]; }
};
struct Split {
    double* re;
    double* im;
    void set(std::ptrdiff_t k, double r, double i) const { re[k] = r; im[k] = i; }
};
struct SplitIn {
    const double* reArr;
    const double* imArr;
    double re(std::ptrdiff_t k) const { return reArr[k]; }
    double im(std::ptrdiff_t k) const { return imArr[k]; }
};

// Full spectrum from Hc: the upper half by conjugate symmetry.
template <class Out>
void expandHalfComplex(const double* hc, Out out, std::ptrdiff_t n) {
    out.set(0, hc[0], 0.0);
    for (std::ptrdiff_t k = 1; k < (n + 1) / 2; ++k) {
        out.set(k, hc[k], hc[n - k]);
        out.set(n - k, hc[k], -hc[n - k]);
    }
    if (n % 2 == 0 && n >= 2) out.set(n / 2, hc[n / 2], 0.0);
}

// Hc of the conjugate-symmetric part: averaging bins k and n-k makes an
// arbitrary spectrum Hermitian before half of it is dropped. The midpoint
// neither overflows for values beyond DBL_MAX/2 nor loses the last bit of
// subnormal ones, so a Hermitian spectrum comes back exactly.
template <class In>
void reduceToHalfComplex(In in, double* hc, std::ptrdiff_t n) {
    hc[0] = in.re(0);
    for (std::ptrdiff_t k = 1; k < (n + 1) / 2; ++k) {
        hc[k] = std::midpoint(in.re(k), in.re(n - k));
        hc[n - k] = std::midpoint(in.im(k), -in.im(n - k));
    }
    if (n % 2 == 0 && n >= 2) hc[n / 2] = in.re(n / 2);
}

}  // namespace

void hcToCx(const double* hc, double* cx, std::ptrdiff_t n) noexcept { expandHalfComplex(hc, Interleaved{cx}, n); }

void hcToReIm(const double* hc, double* re, double* im, std::ptrdiff_t n) noexcept {
    expandHalfComplex(hc, Split{re, im}, n);
}

void cxToHc(const double* cx, double* hc, std::ptrdiff_t n) noexcept { reduceToHalfComplex(InterleavedIn{cx}, hc, n); }

void reImToHc(const double* re, const double* im, double* hc, std::ptrdiff_t n) noexcept {
    reduceToHalfComplex(SplitIn{re, im}, hc, n);
}

void cxToReIm(const double* cx, double* re, double* im, std::ptrdiff_t n) noexcept {
    for (std::ptrdiff_t k = 0; k < n; ++k) {
        re[k] = cx[2 * k];
        im[k] = cx[2 * k + 1];
    }
}

void reImToCx(const double* re, const double* im, double* cx, std::ptrdiff_t n) noexcept {
    for (std::ptrdiff_t k = 0; k < n; ++k) {
        cx[2 * k] = re[k];
        cx[2 * k + 1] = im[k];
    }
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
