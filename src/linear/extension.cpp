// Exported signal extension: real samples, and complex samples whose real
// and imaginary parts are extended alike by the same rule.
#include "frame/array_check.h"
#include "frame/export_guard.h"
#include "linear/extension_rules.h"
#include "varnel.h"

namespace varnel {

namespace {

std::int32_t extendChecked(const double* x, std::int32_t n, std::int32_t mode, std::int32_t m, double* left,
                           double* right, std::ptrdiff_t parts) noexcept {
    if (m == 0) return kStatusOk;
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

// The exports also refuse a missing or overlapping array: the rules write
// each side while still reading the signal.
std::int32_t exportedExtension(const double* x, std::int32_t n, std::int32_t mode, std::int32_t m, double* left,
                               double* right, std::ptrdiff_t parts) noexcept {
    if (const std::int32_t status = validateExtension(n, mode, m); status != kStatusOk) return status;
    const std::int64_t side = std::int64_t{m} * parts;
    const std::int64_t samples = mode == Zero ? 0 : std::int64_t{n} * parts;
    if (const std::int32_t status = ArrayCheck().reads(x, samples).writes(left, side).writes(right, side).status();
        status != kStatusOk) {
        return status;
    }
    return extendChecked(x, n, mode, m, left, right, parts);
}

}  // namespace

std::int32_t extendSignal(const double* x, std::int32_t n, std::int32_t mode, std::int32_t m, double* left,
                          double* right, std::ptrdiff_t parts) noexcept {
    const std::int32_t status = validateExtension(n, mode, m);
    return status != kStatusOk ? status : extendChecked(x, n, mode, m, left, right, parts);
}

}  // namespace varnel

extern "C" VARNEL_API int32_t ReExtension(const double* x, int32_t n, int32_t mode, int32_t m, double* left,
                                          double* right) {
    return varnel::guardedExport([&] { return varnel::exportedExtension(x, n, mode, m, left, right, 1); });
}

extern "C" VARNEL_API int32_t CxExtension(const double* x, int32_t n, int32_t mode, int32_t m, double* left,
                                          double* right) {
    return varnel::guardedExport([&] { return varnel::exportedExtension(x, n, mode, m, left, right, 2); });
}
