#pragma once
#include "link/reply_dispatch.h"

namespace pelkor {

// The link's own rows: the phone's acknowledgements (type 0x7F).
extern const ReplyRouteTable kLinkRoutes;

}  // namespace pelkor
