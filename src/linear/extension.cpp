// Exported signal extension: real samples, and complex samples whose real
// and imaginary parts are extended alike by the same rule.
#include "frame/export_guard.h"
#include "linear/extension_rules.h"
#include "varnel.h"

namespace varnel {

std::int32_t extendSignal(const double* x, std::int32_t n, std::int32_t mode, std::int32_t m, double* left,
                          double* right, std::ptrdiff_t parts) noexcept {
    const std::int32_t status = validateExtension(n, mode, m);
    if (status != kStatusOk || m == 0) return status;
    const ExtensionScratch scratch(mode, m);
    if (!scratch.ok()) return kStatusNoMemory;
    for (std::ptrdiff_t k = 0; k < parts; ++k) {
        const std::int32_t partStatus =
            applyExtensionRule(mode, StridedInput{x, k, parts}, n, m, StridedOutput{left + k, parts},
                               StridedOutput{right + k, parts}, scratch);
        if (partStatus != kStatusOk) return partStatus;
    }
    return kStatusOk;
}

}  // namespace varnel

extern "C" VARNEL_API int32_t ReExtension(const double* x, int32_t n, int32_t mode, int32_t m, double* left,
                                          double* right) {
    return varnel::guardedExport([&] { return varnel::extendSignal(x, n, mode, m, left, right, 1); });
}

extern "C" VARNEL_API int32_t CxExtension(const double* x, int32_t n, int32_t mode, int32_t m, double* left,
                                          double* right) {
    return varnel::guardedExport([&] { return varnel::extendSignal(x, n, mode, m, left, right, 2); });
}
