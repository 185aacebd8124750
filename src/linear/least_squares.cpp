#include "linear/least_squares.h"

#include <algorithm>
#include <cstddef>

#include "frame/scratch.h"
#include "linear/svd.h"
#include "linear/svd_matrix.h"
#include "varnel.h"

namespace varnel {

namespace {

// Relative cut below which a singular value only amplifies rounding.
constexpr double kSingularValueCut = 1e-30;

void dropNegligibleSingularValues(double* w, std::int32_t n) noexcept {
    double largest = 0.0;
    for (std::int32_t j = 0; j < n; ++j) largest = std::max(largest, w[j]);
    const double cut = kSingularValueCut * largest;
    for (std::int32_t j = 0; j < n; ++j)
        if (w[j] < cut) w[j] = 0.0;
}

}  // namespace

std::int32_t leastSquaresFit(const double* a, std::int32_t K, std::int32_t J, const double* y, double* c) noexcept {
    if (K < 1) return kStatusBadSize;
    if (K < J) return kStatusUnderdetermined;
    if (J < 1 || J > kMaxFitColumns) return kStatusBadColumnCount;

    const std::ptrdiff_t elements = static_cast<std::ptrdiff_t>(K) * J;
    ScratchBuffer<double> u(static_cast<std::size_t>(elements));
    ScratchBuffer<double> w(static_cast<std::size_t>(J));
    ScratchBuffer<double> v(static_cast<std::size_t>(J) * static_cast<std::size_t>(J));
    if (!u.ok() || !w.ok() || !v.ok()) return kStatusNoMemory;

    copyDoubles(a, u.data(), elements);
    const std::int32_t status = svdDecompose(u.data(), K, J, w.data(), v.data(), kLeastSquaresSvd);
    if (status != kStatusOk) return status;
    dropNegligibleSingularValues(w.data(), J);
    return svdBackSubstitute(u.data(), w.data(), v.data(), K, J, y, c);
}

}  // namespace varnel
