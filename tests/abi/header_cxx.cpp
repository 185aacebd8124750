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
    // A round trip through two exports by their unmangled names; the
    // conversions' values are checked by the layout tests.
    const double hc[3] = {1.0, 2.0, 3.0};
    double cx[6] = {}, back[3] = {};
    _Hc2Cx(hc, cx, 3);
    _Cx2Hc(cx, back, 3);
    if (back[0] != hc[0] || back[1] != hc[1] || back[2] != hc[2]) {
        std::fprintf(stderr, "FAILED: _Hc2Cx then _Cx2Hc is not the identity\n");
        return 1;
    }
    std::printf("varnel C++ consumer: ok\n");
    return 0;
}
