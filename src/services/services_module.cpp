#include "services/services_module.h"

#include "services/calls.h"
#include "services/clock_alarm.h"
#include "services/identity.h"
#include "services/network.h"
#include "services/phone_status.h"
#include "services/service_requests.h"

namespace pelkor {
namespace {

const ReplyRouteTable *const kTables[] = {
    &kCallReplies, &kStatusReplies, &kNetworkReplies, &kClockReplies, &kIdentityReplies,
};

void StartServicesSession() {
  ResetIdentityTexts();
  SetPreparatoryRequestPending(true);
}

}  // namespace

const FamilyModule kServicesModule = {
    kTables, sizeof kTables / sizeof kTables[0], StartServicesSession, nullptr, nullptr,
};

}  // namespace pelkor
