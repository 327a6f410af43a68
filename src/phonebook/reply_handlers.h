#pragma once
// Reply handlers of the phonebook and speed dials, as routed by the rows of phonebook/phonebook_module.cpp.
#include "link/reply_dispatch.h"

namespace pelkor {

void HandleMemoryStatus(const ReplyMessage &reply);         // 0x03: 0x08
void HandleMemoryStatusError(const ReplyMessage &reply);    // 0x03: 0x09
void HandlePhonebookEntry(const ReplyMessage &reply);       // 0x03: 0x02
void HandlePhonebookEntryError(const ReplyMessage &reply);  // 0x03: 0x03
void HandlePhonebookStored(const ReplyMessage &reply);      // 0x03: 0x05
void HandlePhonebookStoreError(const ReplyMessage &reply);  // 0x03: 0x06
void HandleSpeedDial(const ReplyMessage &reply);            // 0x03: 0x17
void HandleSpeedDialError(const ReplyMessage &reply);       // 0x03: 0x18 and 0x1B
void HandleSpeedDialStored(const ReplyMessage &reply);      // 0x03: 0x1A

}  // namespace pelkor
