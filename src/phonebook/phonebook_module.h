#pragma once
#include "transaction/family_module.h"

namespace pelkor {

// The phonebook and speed dials: reply rows and session hooks.
extern const FamilyModule kPhonebookModule;

}  // namespace pelkor
