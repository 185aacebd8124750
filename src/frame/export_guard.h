// Exports must never let a C++ exception cross the C boundary. The library
// does not throw by design (allocation goes through the scratch helper), so
// this is the last fence: anything that escapes becomes kStatusNoMemory,
// the only failure the standard library can raise here.
#pragma once

#include <cstdint>

#include "varnel.h"

namespace varnel {

template <class Body>
std::int32_t guardedExport(Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return kStatusNoMemory;
    }
}

}  // namespace varnel
