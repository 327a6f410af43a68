#pragma once
// What a family of commands (services, SMS, logo, phonebook) tells the session about
// itself: the replies it handles (the rows each of its files keeps beside its
// handlers) and what it forgets or prepares as sessions come and go. A family declares
// its k<Family>Module in src/<family>/<family>_module.h and defines it beside its
// handlers (or in <family>_module.cpp when several files handle its replies); the
// build finds every such header and lists the families for the session.
#include "link/reply_dispatch.h"

namespace pelkor {

using SessionHook = void (*)();

struct FamilyModule {
  const ReplyRouteTable *const *routeTables;  // the family's files' rows, in dispatch order
  size_t routeTableCount;
  SessionHook onSessionStart;  // before the port opens: forget the last phone's answers
  SessionHook onSessionEnd;    // after the link threads have ended
  SessionHook onFirstOpen;     // once per process, on the first answered init()
};

}  // namespace pelkor
