// Energy of a block of doubles, shared by the reassignment threshold and the
// adaptive transform's energy test.
#pragma once

#include <cstdint>

namespace varnel::adaptive {

// The sum of squares in eight running sums, so that a long pass is not one
// chain of dependent additions.
inline double sumOfSquares(const double* v, std::int64_t count) noexcept {
    double lanes[8] = {};
    std::int64_t i = 0;
    for (; i + 8 <= count; i += 8) {
        for (int j = 0; j < 8; ++j) lanes[j] += v[i + j] * v[i + j];
    }
    for (; i < count; ++i) lanes[0] += v[i] * v[i];
    return ((lanes[0] + lanes[1]) + (lanes[2] + lanes[3])) + ((lanes[4] + lanes[5]) + (lanes[6] + lanes[7]));
}

}  // namespace varnel::adaptive
