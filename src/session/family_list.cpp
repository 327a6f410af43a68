// The composition root's list of families, written by the build from the folders that
// hold a <family>_module.h. The link routes replies through the tables registered here
// and the session runs their hooks; neither knows a family by name.
#include "session/family_list.h"

#include "link/reply_dispatch.h"

// The generated list: the families' module headers and kFamilies.
#include "family_modules.inc"

namespace pelkor {

void RegisterFamilyRoutes() {
  for (const FamilyModule *family : kFamilies)
    for (size_t t = 0; t < family->routeTableCount; ++t) RegisterReplyRoutes(*family->routeTables[t]);
}

void RunSessionHooks(SessionHook FamilyModule::*hook) {
  for (const FamilyModule *family : kFamilies)
    if (family->*hook != nullptr) (family->*hook)();
}

}  // namespace pelkor
