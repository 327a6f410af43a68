#pragma once
// The boundary of the exports that run C++ which may throw (only allocation can): what
// escapes is reported to the host as a refusal, never thrown across the C ABI.
#include <cstdint>

#include "transaction/result_codes.h"

namespace pelkor {

template <typename Body>
int32_t Guarded(Body body) {
  try {
    return body();
  } catch (...) {
    return kResultRefused;
  }
}

}  // namespace pelkor
