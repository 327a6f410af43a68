#pragma once
// The rows of the phonebook replies (phonebook_handlers.cpp, which also defines
// kPhonebookModule with them).
#include "link/reply_dispatch.h"

namespace pelkor {

extern const ReplyRouteTable kPhonebookReplies;

}  // namespace pelkor
