#include "sms/sms_module.h"

#include "sms/reply_handlers.h"
#include "sms/sms_send.h"
#include "sms/sms_store.h"

namespace pelkor {
namespace {

// Message type, position of the command byte, command (kAnyCommand: every command of
// the type, tried after the exact rows), handler.
const ReplyRoute kRows[] = {
    {0x02, 3, 0x02, HandleSmsSent},
    {0x02, 3, 0x03, HandleSmsSendRefused},
    {0x02, 3, 0x10, HandleSmsArrival},
    {0x02, 3, 0x31, HandleCentreStored},
    {0x02, 3, 0x34, HandleCentreDetails},
    {0x02, 3, 0x35, HandleCentreRefused},
    {0x14, 3, 0x08, HandleSmsRead},
    {0x14, 3, 0x09, HandleSmsReadRefused},
    {0x14, 3, 0x0B, HandleSmsDeleted},
    {0x14, 3, 0x37, HandleSmsCounts},
    {0x14, 3, 0x05, HandleSmsSaved},
    {0x14, 3, 0x06, HandleSmsSaveRefused},
    {0x14, 3, kAnyCommand, HandleSmsStoreOther},
};

}  // namespace

const FamilyModule kSmsModule = {
    "sms", {kRows, sizeof kRows / sizeof kRows[0]}, ResetArrivalCount, ClearSmsList, PrepareSmsSendRecord,
};

}  // namespace pelkor
