#include "logo/logo_module.h"

#include "logo/reply_handlers.h"

namespace pelkor {
namespace {

// Message type, position of the command byte, command (kAnyCommand: every command of
// the type, tried after the exact rows), handler.
const ReplyRoute kRows[] = {
    {0x05, 3, 0x17, HandleStartupLogoReply},  {0x05, 3, 0x19, HandleLogoUploaded},
    {0x05, 3, 0x31, HandleLogoUploaded},      {0x05, 3, 0x32, HandleLogoUploadRefused},
    {0x05, 3, 0x34, HandleOperatorLogoReply}, {0x05, 3, 0x35, HandleLogoDownloadRefused},
    {0x03, 3, 0x11, HandleCallerGroupReply},  {0x03, 3, 0x12, HandleLogoDownloadRefused},
    {0x03, 3, 0x14, HandleLogoUploaded},      {0x03, 3, 0x15, HandleLogoUploadRefused},
};

}  // namespace

const FamilyModule kLogoModule = {
    "logo", {kRows, sizeof kRows / sizeof kRows[0]}, nullptr, nullptr, nullptr,
};

}  // namespace pelkor
