// The public header from C++: declarations have C linkage, so the names
// resolve against the shared library unmangled, and the constants and
// records are usable as ordinary C++ types.
#include <cstdio>
#include <type_traits>

#include "varnel.h"

static_assert(std::is_same<decltype(&_Hc2Cx), void (*)(const double*, double*, int32_t)>::value,
              "_Hc2Cx signature");
static_assert(std::is_standard_layout<WindowSpec>::value, "WindowSpec is a plain record");
static_assert(sizeof(AdaptiveTerm) == 4 * sizeof(double), "AdaptiveTerm is four doubles");
static_assert(kStatusOk == 0 && kStatusBadWindowSpec == 29 && kStatusNoMemory == -20001,
              "status values");

int main() {
    // Even length 6: Hc [r0 r1 r2 r3 i2 i1]; bins 4 and 5 mirror bins 2 and 1.
    const double hc[6] = {1.0, 2.0, 3.0, 4.0, 5.0, 6.0};
    const double expected[12] = {1.0, 0.0, 2.0, 6.0, 3.0, 5.0, 4.0, 0.0, 3.0, -5.0, 2.0, -6.0};
    double cx[12] = {};
    _Hc2Cx(hc, cx, 6);
    for (int i = 0; i < 12; ++i) {
        if (cx[i] != expected[i]) {
            std::fprintf(stderr, "FAILED: _Hc2Cx element %d is %g, expected %g\n", i, cx[i],
                         expected[i]);
            return 1;
        }
    }
    double back[6] = {};
    _Cx2Hc(cx, back, 6);
    for (int i = 0; i < 6; ++i) {
        if (back[i] != hc[i]) {
            std::fprintf(stderr, "FAILED: _Cx2Hc element %d\n", i);
            return 1;
        }
    }
    std::printf("varnel C++ consumer: ok\n");
    return 0;
}
