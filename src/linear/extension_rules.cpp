#include "linear/extension_rules.h"

#include <algorithm>

#include "linear/extension.h"
#include "varnel.h"

namespace varnel {

namespace {

void fillZero(StridedOutput out, std::int32_t count) noexcept {
    for (std::ptrdiff_t i = 0; i < count; ++i) out[i] = 0.0;
}

// Mirror about each end, the end sample repeated; beyond one signal length
// there is nothing left to mirror, so zeros.
void extendSymmetric(StridedInput x, std::int32_t n, std::int32_t m, StridedOutput left, StridedOutput right) noexcept {
    fillZero(left, m);
    fillZero(right, m);
    if (n < 1) return;
    const std::int32_t count = std::min(m, n);
    const std::ptrdiff_t leftStart = std::max(m - n, 0);
    reverseCopy(x.at(0), &left[leftStart], count, x.stride, left.stride);
    const std::ptrdiff_t sourceStart = std::max(n - m, 0);
    reverseCopy(x.at(sourceStart), right.data, count, x.stride, right.stride);
}

// One side of the tapered mirror: the samples at distance 0, 1, ... from
// the end (sampleAt), placed from the middle of a Hann window of length
// 2m+1 outward, so the weights peak next to the signal and fall off.
template <class SampleAt, class Store>
void taperedSide(std::int32_t n, std::int32_t m, double* buf, SampleAt sampleAt, Store store) noexcept {
    const std::ptrdiff_t length = 2 * static_cast<std::ptrdiff_t>(m) + 1;
    std::fill(buf, buf + length, 0.0);
    for (std::ptrdiff_t i = 0; i <= std::ptrdiff_t{m} + 1; ++i) buf[m - 1 + i] = i < n ? sampleAt(i) : 0.0;
    hannTaper(buf, length);
    for (std::ptrdiff_t i = 0; i < m; ++i) store(i, buf[m - 1 + i]);
}

void extendTaperedSymmetric(StridedInput x, std::int32_t n, std::int32_t m, StridedOutput left, StridedOutput right,
                            double* buf) noexcept {
    taperedSide(n, m, buf, [&](std::ptrdiff_t i) { return x[n - 1 - i]; },
                [&](std::ptrdiff_t i, double v) { right[i] = v; });
    taperedSide(n, m, buf, [&](std::ptrdiff_t i) { return x[i]; },
                [&](std::ptrdiff_t i, double v) { left[m - 1 - i] = v; });
}

// Least-squares line through the K points (t[i], y[i]), in closed form
// from the sums of t, t^2, y and t*y; with the two end samples it is the
// line through them.
void fitLine(const double* t, const double* y, std::int32_t K, double* slope, double* intercept) noexcept {
    double sx = 0.0, sxx = 0.0, sy = 0.0, sxy = 0.0;
    for (std::int32_t i = 0; i < K; ++i) {
        sx += t[i];
        sxx += t[i] * t[i];
        sy += y[i];
        sxy += t[i] * y[i];
    }
    const double points = K;
    const double d = sx * sx - sxx * points;
    *slope = (sy * sx - sxy * points) / d;
    *intercept = (sxy * sx - sy * sxx) / d;
}

// Output sample i of either side stands at abscissa i; the fitted points
// sit at m, m+1, ... (left) and ..., -2, -1 (right) relative to it.
void extendLinear(StridedInput x, std::int32_t n, std::int32_t m, StridedOutput left,
                  StridedOutput right) noexcept {
    double slope = 0.0, intercept = 0.0;
    const double leftT[2] = {static_cast<double>(m), static_cast<double>(m) + 1.0};
    const double leftY[2] = {x[0], x[1]};
    fitLine(leftT, leftY, 2, &slope, &intercept);
    for (std::ptrdiff_t i = 0; i < m; ++i) left[i] = slope * static_cast<double>(i) + intercept;
    const double rightT[2] = {-2.0, -1.0};
    const double rightY[2] = {x[n - 2], x[n - 1]};
    fitLine(rightT, rightY, 2, &slope, &intercept);
    for (std::ptrdiff_t i = 0; i < m; ++i) right[i] = slope * static_cast<double>(i) + intercept;
}

// The parabola through three equally spaced points y0, y1, y2 (at s = 0,
// 1, 2), in Newton's form from the first and second differences:
// p(s) = y0 + s d1 + s (s - 1) d2 / 2. Three points determine it, so this
// is exact where a least-squares fit would need scratch and could fail.
struct Parabola {
    double y0, d1, halfD2;
    Parabola(double a, double b, double c) noexcept : y0(a), d1(b - a), halfD2(0.5 * ((c - b) - (b - a))) {}
    double operator()(double s) const noexcept { return y0 + s * (d1 + (s - 1.0) * halfD2); }
};

void extendQuadratic(StridedInput x, std::int32_t n, std::int32_t m, StridedOutput left,
                     StridedOutput right) noexcept {
    const Parabola start(x[0], x[1], x[2]);    // s = 0 at x[0], left[i] at s = i - m
    const Parabola end(x[n - 3], x[n - 2], x[n - 1]);  // s = 0 at x[n-3], right[i] at s = i + 3
    for (std::ptrdiff_t i = 0; i < m; ++i) {
        left[i] = start(static_cast<double>(i - m));
        right[i] = end(static_cast<double>(i + 3));
    }
}

}  // namespace

void extendPeriodic(StridedInput x, std::int32_t n, std::int32_t m, StridedOutput left, StridedOutput right) noexcept {
    std::ptrdiff_t phase = 0;  // i mod n, without a division per sample
    for (std::ptrdiff_t i = 0; i < m; ++i) {
        right[i] = x[phase];
        left[m - 1 - i] = x[n - 1 - phase];
        if (++phase == n) phase = 0;
    }
}

std::int32_t validateExtension(std::int32_t n, std::int32_t mode, std::int32_t m) noexcept {
    switch (mode) {
        case Zero:
        case Symmetric:
        case TaperedSymmetric:
            break;
        case Periodic:
            if (n < 1) return kStatusBadLength;
            break;
        case Linear:
            if (n < 2) return kStatusBadLength;
            break;
        case Quadratic:
            if (n < 3) return kStatusBadLength;
            break;
        default:
            return kStatusBadExtensionMode;
    }
    return m < 0 ? kStatusBadLength : kStatusOk;
}

ExtensionScratch::ExtensionScratch(std::int32_t mode, std::int32_t m) noexcept {
    if (mode == TaperedSymmetric) {
        taper_ = ScratchBuffer<double>(2 * static_cast<std::size_t>(m) + 1);
        ok_ = taper_.ok();
    }
}

std::int32_t applyExtensionRule(std::int32_t mode, StridedInput x, std::int32_t n, std::int32_t m,
                                StridedOutput left, StridedOutput right, const ExtensionScratch& scratch) noexcept {
    if (m < 1) return kStatusOk;
    switch (mode) {
        case Zero:
            fillZero(left, m);
            fillZero(right, m);
            return kStatusOk;
        case Symmetric:
            extendSymmetric(x, n, m, left, right);
            return kStatusOk;
        case Periodic:
            extendPeriodic(x, n, m, left, right);
            return kStatusOk;
        case TaperedSymmetric:
            extendTaperedSymmetric(x, n, m, left, right, scratch.taper());
            return kStatusOk;
        case Linear:
            extendLinear(x, n, m, left, right);
            return kStatusOk;
        case Quadratic:
            extendQuadratic(x, n, m, left, right);
            return kStatusOk;
        default:
            return kStatusBadExtensionMode;
    }
}

}  // namespace varnel
