#pragma once
#include <cstddef>

#include "services/family_module.h"

namespace pelkor {

// Every family of the library, in dispatch order. Adding a family is one line in
// family_list.cpp.
const FamilyModule *const *FamilyModules(size_t *count);

// Runs one hook of every family that has it, in list order.
void RunSessionHooks(SessionHook FamilyModule::*hook);

}  // namespace pelkor
