#include "logo/logo_module.h"

#include "logo/reply_routes.h"

namespace pelkor {
namespace {

const ReplyRouteTable *const kTables[] = {&kLogoReplies};

}  // namespace

const FamilyModule kLogoModule = {
    "logo", kTables, sizeof kTables / sizeof kTables[0], nullptr, nullptr, nullptr,
};

}  // namespace pelkor
