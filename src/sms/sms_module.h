#pragma once
#include "transaction/family_module.h"

namespace pelkor {

// The SMS sending and the message store: reply rows and session hooks.
extern const FamilyModule kSmsModule;

}  // namespace pelkor
