#include "phonebook/phonebook_module.h"

#include "phonebook/phonebook_session.h"
#include "phonebook/reply_handlers.h"

namespace pelkor {
namespace {

// Message type, position of the command byte, command (kAnyCommand: every command of
// the type, tried after the exact rows), handler.
const ReplyRoute kRows[] = {
    {0x03, 3, 0x02, HandlePhonebookEntry},  {0x03, 3, 0x03, HandlePhonebookEntryError},
    {0x03, 3, 0x05, HandlePhonebookStored}, {0x03, 3, 0x06, HandlePhonebookStoreError},
    {0x03, 3, 0x08, HandleMemoryStatus},    {0x03, 3, 0x09, HandleMemoryStatusError},
    {0x03, 3, 0x17, HandleSpeedDial},       {0x03, 3, 0x18, HandleSpeedDialError},
    {0x03, 3, 0x1A, HandleSpeedDialStored}, {0x03, 3, 0x1B, HandleSpeedDialError},
};

}  // namespace

const FamilyModule kPhonebookModule = {
    "phonebook", {kRows, sizeof kRows / sizeof kRows[0]}, ResetPhonebookSession, nullptr, nullptr,
};

}  // namespace pelkor
