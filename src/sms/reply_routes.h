#pragma once
// The rows of the SMS replies, each table kept beside its handlers; sms/sms_module.cpp
// lists them.
#include "link/reply_dispatch.h"

namespace pelkor {

extern const ReplyRouteTable kSmsSendReplies;   // sms_send_replies.cpp: type 0x02
extern const ReplyRouteTable kSmsStoreReplies;  // sms_store_replies.cpp: type 0x14, arrival notice
extern const ReplyRouteTable kSmsSaveReplies;   // sms_save.cpp: type 0x14, save verdicts

}  // namespace pelkor
