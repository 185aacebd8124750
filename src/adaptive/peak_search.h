// The coarse search of the adaptive transform: Gaussian-windowed
// spectrograms of the residual at several window lengths, reduced to the
// largest power of each frame. After the first scan only the frames near
// the last subtracted term are recomputed, so a candidate costs one pass
// over the cached maxima instead of a new set of spectrograms.
#pragma once

#include <cstdint>
#include <optional>

#include "fft/plan_hold.h"
#include "frame/scratch.h"
#include "varnel.h"

namespace varnel::adaptive {

// Level j analyses with windows of W_j = L/2^j samples every S_j = S0/2^j
// samples (S0 = L/8, so each window is 8 hops long) while S_j > 1; its
// window has variance W_j S_j/(2 pi), whose inverse is the concentration
// of the terms it proposes.
struct PeakLevels {
    std::int64_t n;      // signal samples
    std::int32_t L;      // longest window, a power of two >= 8
    std::int32_t S0;     // its hop
    int count() const noexcept;
    std::int32_t window(int j) const noexcept { return L >> j; }
    std::int32_t hop(int j) const noexcept { return S0 >> j; }
    std::int64_t frames(int j) const noexcept { return (n + hop(j) - 1) / hop(j); }
};

struct PeakEntry {
    double value;        // largest power of the frame's spectrum
    std::int32_t bin;    // its lowest bin
};

// The residual extended by L/2 samples on each side (the residual itself
// lives inside it), the per-level windows, plans and spectrum buffers, and
// the table of frame maxima: everything a scan needs, taken once per call.
class PeakSearch {
public:
    PeakSearch(const PeakLevels& levels, bool complexSignal) noexcept;
    bool ok() const noexcept { return ok_; }

    // The residual: n real samples, or n Cx samples.
    double* residual() const noexcept;

    // Re-extends the residual by the rule `mode` (its status on failure)
    // and recomputes the entries of the frames whose windows reach samples
    // [start, end], at every level.
    std::int32_t scan(std::int32_t mode, std::int64_t start, std::int64_t end) noexcept;

    // The coarse term of the largest entry: concentration of its level,
    // time of its frame, frequency of its bin, no chirp. Ties go to the
    // longer window, then the earlier frame. Without any positive entry
    // (a zero residual, or no level at all) the term has the concentration
    // of the longest window at time 0 and frequency 0.
    AdaptiveTerm bestPeak() const noexcept;

private:
    static constexpr int kMaxLevels = 28;

    // Entries are grouped in blocks whose largest value is kept, so that
    // finding the best entry reads the block maxima and one block.
    static constexpr std::int64_t kBlock = 256;

    void scanLevel(int j, std::int64_t start, std::int64_t end) noexcept;
    void updateBlocks(int j, std::int64_t first, std::int64_t stop) noexcept;

    PeakLevels levels_;
    bool complex_;
    bool ok_ = false;
    ScratchBuffer<double> extended_;   // (n + L) samples
    ScratchBuffer<double> windows_;    // level j at windowOffset(j)
    ScratchBuffer<double> work_;       // spectrum, wrap scratch, powers
    ScratchBuffer<PeakEntry> table_;   // level j at entryOffset_[j]
    ScratchBuffer<double> blockMax_;   // level j at blockOffset_[j]
    std::int64_t entryOffset_[kMaxLevels + 1] = {};
    std::int64_t blockOffset_[kMaxLevels + 1] = {};
    std::optional<fft::PlanHold> plans_[kMaxLevels];
};

}  // namespace varnel::adaptive
