#pragma once
// Reply handlers of the logo transfer, as routed by the rows of logo/logo_module.cpp.
#include "link/reply_dispatch.h"

namespace pelkor {

void HandleLogoUploaded(const ReplyMessage &reply);         // 0x05: 0x19, 0x31; 0x03: 0x14
void HandleLogoUploadRefused(const ReplyMessage &reply);    // 0x05: 0x32; 0x03: 0x15
void HandleStartupLogoReply(const ReplyMessage &reply);     // 0x05: 0x17
void HandleOperatorLogoReply(const ReplyMessage &reply);    // 0x05: 0x34
void HandleCallerGroupReply(const ReplyMessage &reply);     // 0x03: 0x11
void HandleLogoDownloadRefused(const ReplyMessage &reply);  // 0x05: 0x35; 0x03: 0x12

}  // namespace pelkor
