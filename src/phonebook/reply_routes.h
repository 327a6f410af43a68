#pragma once
// The rows of the phonebook replies (phonebook_handlers.cpp); phonebook/phonebook_module.cpp
// lists them.
#include "link/reply_dispatch.h"

namespace pelkor {

extern const ReplyRouteTable kPhonebookReplies;

}  // namespace pelkor
