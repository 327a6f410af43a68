#pragma once
// Reply handlers of the SMS sending and the message store, as routed by the rows of sms/sms_module.cpp.
#include "link/reply_dispatch.h"

namespace pelkor {

// Type 0x02.
void HandleSmsSent(const ReplyMessage &reply);         // 0x02
void HandleSmsSendRefused(const ReplyMessage &reply);  // 0x03
void HandleSmsArrival(const ReplyMessage &reply);      // 0x10
void HandleCentreStored(const ReplyMessage &reply);    // 0x31
void HandleCentreDetails(const ReplyMessage &reply);   // 0x34
void HandleCentreRefused(const ReplyMessage &reply);   // 0x35

// Type 0x14.
void HandleSmsRead(const ReplyMessage &reply);         // 0x08
void HandleSmsReadRefused(const ReplyMessage &reply);  // 0x09
void HandleSmsDeleted(const ReplyMessage &reply);      // 0x0B
void HandleSmsCounts(const ReplyMessage &reply);       // 0x37
void HandleSmsSaved(const ReplyMessage &reply);        // 0x05, answers a store request only
void HandleSmsSaveRefused(const ReplyMessage &reply);  // 0x06
void HandleSmsStoreOther(const ReplyMessage &reply);   // 0x38 and every other command

}  // namespace pelkor
