#pragma once
// The rows of the logo replies (logo_reply_handlers.cpp, which also defines
// kLogoModule with them).
#include "link/reply_dispatch.h"

namespace pelkor {

extern const ReplyRouteTable kLogoReplies;

}  // namespace pelkor
