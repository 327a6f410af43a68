// Which subsystem answers which reply. A new command is one row here and one handler
// in its owner; unknown types and commands fall through and are ignored.
#include "link/ack_handler.h"
#include "link/reply_dispatch.h"

namespace pelkor {

const ReplyRoute kReplyRoutes[] = {
    // type  offset  command       handler
    {0x7F, 3, kAnyCommand, HandlePhoneAck},
};

const size_t kReplyRouteCount = sizeof kReplyRoutes / sizeof kReplyRoutes[0];

}  // namespace pelkor
