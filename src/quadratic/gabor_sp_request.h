// The arguments of the Gabor spectrogram, their checks in the order the
// statuses are reported, and the order band they select.
#pragma once

#include <cstdint>

namespace varnel::gaborsp {

struct SpectrogramRequest {
    const double* coefs;
    std::int32_t M, N, dM;
    double a;
    std::int32_t lowOrder, highOrder;
    std::int32_t K2, K1;
    std::int32_t f0, nF;
};

// kStatusOk or the first failing check's status; nothing else is looked at.
std::int32_t checkSpectrogramRequest(const SpectrogramRequest& request) noexcept;

// Orders lowest .. highest of |dm| + |dn|. A lowest order above the
// clamped highest one makes that single order the band.
struct OrderBand {
    std::int32_t lowest;
    std::int32_t highest;
};

OrderBand orderBand(std::int32_t lowOrder, std::int32_t highOrder, std::int32_t M, std::int32_t N) noexcept;

// Calls term(dm, dn, weight) for every term of the band, dm = 0, 1, ...,
// for each dm |dn| ascending, +|dn| before -|dn| (a single term when dm or
// dn is 0); the opposite offsets are supplied by the real part taken at
// the end, and (0, 0), its own opposite, gets weight 1/2. Terms with
// dm >= M pair no atoms and are not visited. Stops at the first status
// that is not 0 and returns it.
template <class Term>
std::int32_t forEachSpectrogramTerm(OrderBand band, std::int32_t M, Term&& term) {
    const std::int64_t lastDm = band.highest < M - 1 ? band.highest : M - 1;
    for (std::int64_t dm = 0; dm <= lastDm; ++dm) {
        const std::int64_t first = band.lowest > dm ? band.lowest - dm : 0;
        const std::int64_t last = band.highest - dm;
        for (std::int64_t magnitude = first; magnitude <= last; ++magnitude) {
            const auto m32 = static_cast<std::int32_t>(dm);
            const auto n32 = static_cast<std::int32_t>(magnitude);
            const double weight = dm == 0 && magnitude == 0 ? 0.5 : 1.0;
            std::int32_t status = term(m32, n32, weight);
            if (status == 0 && dm > 0 && magnitude > 0) status = term(m32, -n32, 1.0);
            if (status != 0) return status;
        }
    }
    return 0;
}

}  // namespace varnel::gaborsp
