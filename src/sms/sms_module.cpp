#include "sms/sms_module.h"

#include "sms/reply_routes.h"
#include "sms/sms_send.h"
#include "sms/sms_store.h"

namespace pelkor {
namespace {

const ReplyRouteTable *const kTables[] = {&kSmsSendReplies, &kSmsStoreReplies, &kSmsSaveReplies};

}  // namespace

const FamilyModule kSmsModule = {
    kTables, sizeof kTables / sizeof kTables[0], ResetArrivalCount, ClearSmsList, PrepareSmsSendRecord,
};

}  // namespace pelkor
