// Per time slice of any time-frequency map: the centroid bin and the
// energy, the centroid track then repaired where it left the bin range.
#include <cstddef>

#include "frame/array_check.h"
#include "frame/export_guard.h"
#include "tfmap/instantaneous_frequency_gap_fill.h"
#include "varnel.h"

namespace {

// No guard against a zero energy: the resulting 0/0 or infinity is not a
// valid bin and is bridged over by the gap filling.
void sliceCentroids(const double* S, std::int32_t T, std::int32_t F, double* freq, double* energy) noexcept {
    for (std::ptrdiff_t t = 0; t < T; ++t) {
        const double* slice = S + t * static_cast<std::ptrdiff_t>(F);
        double sum = 0.0, moment = 0.0;
        for (std::ptrdiff_t k = 0; k < F; ++k) {
            sum += slice[k];
            moment += static_cast<double>(k) * slice[k];
        }
        energy[t] = sum;
        freq[t] = moment / sum;
    }
}

}  // namespace

extern "C" {

VARNEL_API int32_t InstantaneousFrequency(const double* S, int32_t T, int32_t F, int32_t reserved1, int32_t reserved2,
                                          double* freq, double* energy) {
    return varnel::guardedExport([&]() -> std::int32_t {
        if (T < 1 || F < 1) return kStatusBadLength;
        if (const std::int32_t status =
                varnel::ArrayCheck().reads(S, std::int64_t{T} * F).writes(freq, T).writes(energy, T).status();
            status != kStatusOk) {
            return status;
        }
        sliceCentroids(S, T, F, freq, energy);
        varnel::instfreq::ifGapFill(freq, T, static_cast<double>(F - 1));
        return kStatusOk;
    });
}

}  // extern "C"
