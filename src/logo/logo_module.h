#pragma once
#include "transaction/family_module.h"

namespace pelkor {

// The logo transfers: reply rows and session hooks.
extern const FamilyModule kLogoModule;

}  // namespace pelkor
