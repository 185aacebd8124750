#include "quadratic/gabor_sp_request.h"

#include <algorithm>

#include "frame/numbers.h"
#include "quadratic/gabor_sp_sizes.h"
#include "varnel.h"

namespace varnel::gaborsp {

std::int32_t checkSpectrogramRequest(const SpectrogramRequest& r) noexcept {
    if (r.M < 1 || !isPowerOfTwo(r.N)) return kStatusBadLength;
    if (!isPowerOfTwo(r.dM)) return kStatusBadWindowSpec;
    if (r.highOrder < 0) return kStatusBadOrder;
    if (!(r.a > 0.0)) return kStatusNotPositiveParam;  // a NaN fails too
    if (r.K2 < 0 || r.K1 < 0) return kStatusNegativeParam;
    const std::int64_t fineBins = static_cast<std::int64_t>(r.N) * r.K1;
    if (r.f0 < 0 || r.f0 >= fineBins || r.nF < 1 || r.nF > fineBins - r.f0) return kStatusBadRange;
    return kStatusOk;
}

OrderBand orderBand(std::int32_t lowOrder, std::int32_t highOrder, std::int32_t M, std::int32_t N) noexcept {
    const std::int32_t lowest = std::max(lowOrder, 0);
    const std::int32_t limit = std::min(M, N) - 1;
    return {lowest, std::max(lowest, std::min(highOrder, limit))};
}

}  // namespace varnel::gaborsp
