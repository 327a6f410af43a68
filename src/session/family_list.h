#pragma once
#include "transaction/family_module.h"

namespace pelkor {

// Registers every family's reply tables with the link, in list order (the families in
// the order of their folder names, each family's tables in its own order).
void RegisterFamilyRoutes();

// Runs one hook of every family that has it, in list order.
void RunSessionHooks(SessionHook FamilyModule::*hook);

}  // namespace pelkor
