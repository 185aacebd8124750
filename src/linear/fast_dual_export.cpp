// The dual window export: the factorised route wherever it applies (the
// periodic dual with dM dividing N), the residues' decompositions
// elsewhere. Both give the least-norm solutions of the same systems.
#include <cstdint>

#include "frame/array_check.h"
#include "frame/export_guard.h"
#include "frame/numbers.h"
#include "linear/dual_window.h"
#include "varnel.h"

namespace {

std::int32_t validateDualArguments(std::int32_t L, std::int32_t dM, std::int32_t N, std::int32_t mode) noexcept {
    if (dM < 1 || N < 1 || !varnel::isPowerOfTwo(N)) return kStatusBadWindowSpec;
    if (L < 1 || L % dM != 0 || L % N != 0) return kStatusBadLength;
    if (dM > N) return kStatusBadWindowSpec;
    if (mode != varnel::gabor::PeriodicDual && mode != varnel::gabor::AperiodicDual) return kStatusBadSelector;
    return kStatusOk;
}

}  // namespace

extern "C" VARNEL_API int32_t FastDual(const double* window, int32_t L, int32_t dM, int32_t N, int32_t mode,
                                       double* dual) {
    return varnel::guardedExport([&]() -> int32_t {
        std::int32_t status = validateDualArguments(L, dM, N, mode);
        if (status == kStatusOk) status = varnel::ArrayCheck().reads(window, L).writes(dual, L).status();
        if (status != kStatusOk) return status;
        if (mode == varnel::gabor::PeriodicDual && N % dM == 0)
            return varnel::gabor::factorisedPeriodicDual(window, L, dM, N, dual);
        return varnel::gabor::residueSystemDual(window, L, dM, N, mode, dual);
    });
}
