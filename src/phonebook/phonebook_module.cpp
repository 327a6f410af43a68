#include "phonebook/phonebook_module.h"

#include "phonebook/phonebook_session.h"
#include "phonebook/reply_routes.h"

namespace pelkor {
namespace {

const ReplyRouteTable *const kTables[] = {&kPhonebookReplies};

}  // namespace

const FamilyModule kPhonebookModule = {
    "phonebook", kTables, sizeof kTables / sizeof kTables[0], ResetPhonebookSession, nullptr, nullptr,
};

}  // namespace pelkor
