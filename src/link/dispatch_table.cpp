// Which subsystem answers which reply: one table, its rows kept beside their owners
// (<subsystem>/reply_routes.inc). A new command is one row there and one handler in
// the owner; unknown types and commands fall through and are ignored. The first
// matching row wins, so a row for a specific command must come before a catch-all
// row of the same type.
#include "link/ack_handler.h"
#include "link/reply_dispatch.h"
#include "logo/reply_handlers.h"
#include "phonebook/reply_handlers.h"
#include "services/reply_handlers.h"
#include "sms/reply_handlers.h"

namespace pelkor {

const ReplyRoute kReplyRoutes[] = {
// type, offset of the command byte, command (or kAnyCommand), handler
#include "link/reply_routes.inc"
#include "services/reply_routes.inc"
#include "sms/reply_routes.inc"
#include "logo/reply_routes.inc"
#include "phonebook/reply_routes.inc"
};

const size_t kReplyRouteCount = sizeof kReplyRoutes / sizeof kReplyRoutes[0];

}  // namespace pelkor
