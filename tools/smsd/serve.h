// `pelkor-smsd serve`: the gateway's HTTP API, webhooks and dashboard, on the database
// the phone daemons use. It needs no phone and keeps no state of its own, so any number
// may run on one database behind a proxy.
#pragma once

#include <string>

#include "config.h"

namespace smsd {

// Serves until SIGTERM or SIGINT; the exit status (0, or 1 when it cannot listen).
// With `listRoutes`, prints each declared route as "METHOD /route" and exits instead.
int RunServe(const Config &config, const std::string &databaseUrl, bool listRoutes = false);

}  // namespace smsd
