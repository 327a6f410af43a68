// The composition root's list of families. The link routes replies through their tables
// (ReplyRouteTables) and the session runs their hooks; neither knows a family by name.
#include "session/family_list.h"

#include <vector>

#include "link/ack_handler.h"
#include "logo/logo_module.h"
#include "phonebook/phonebook_module.h"
#include "services/services_module.h"
#include "sms/sms_module.h"

namespace pelkor {
namespace {

const FamilyModule *const kFamilies[] = {
    &kServicesModule,
    &kSmsModule,
    &kLogoModule,
    &kPhonebookModule,
};
constexpr size_t kFamilyCount = sizeof kFamilies / sizeof kFamilies[0];

}  // namespace

const FamilyModule *const *FamilyModules(size_t *count) {
  *count = kFamilyCount;
  return kFamilies;
}

// The link's own rows first, then each family's tables, in list order. Built on the first
// dispatch and never destroyed: a link thread winding down at process end may still
// dispatch after static destructors have run.
const ReplyRouteTable *const *ReplyRouteTables(size_t *count) {
  static const std::vector<const ReplyRouteTable *> *const tables = [] {
    auto *list = new std::vector<const ReplyRouteTable *>{&kLinkRoutes};
    for (const FamilyModule *family : kFamilies)
      list->insert(list->end(), family->routeTables, family->routeTables + family->routeTableCount);
    return list;
  }();
  *count = tables->size();
  return tables->data();
}

void RunSessionHooks(SessionHook FamilyModule::*hook) {
  for (const FamilyModule *family : kFamilies)
    if (family->*hook != nullptr) (family->*hook)();
}

}  // namespace pelkor
