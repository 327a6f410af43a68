#pragma once
#include "transaction/family_module.h"

namespace pelkor {

// The identity, status, clock, calls and network: reply rows and session hooks.
extern const FamilyModule kServicesModule;

}  // namespace pelkor
