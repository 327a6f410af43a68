// The dashboard's side of the server: where its files are, how one is read safely, and
// the JSON routes only the dashboard needs (the session, hourly counts, tokens).
#pragma once

#include <optional>
#include <string>

#include "gateway.h"

namespace smsd {

// The directory the dashboard is served from: `configured` when given, else the
// installed files, else (a build tree that was never installed) the source tree's.
std::string DashboardDirectory(const std::string &configured);

struct DashboardFile {
  std::string body;
  std::string contentType;
};

// File `relative` ("app.js", "icons/up.svg") under `root`, or nothing when the name is
// not one the dashboard may serve: segments of letters, digits, '_', '-' and '.', none
// starting with '.', an extension from a fixed list, no symbolic link on the way, and a
// regular file at the end.
std::optional<DashboardFile> ReadDashboardFile(const std::string &root, const std::string &relative);

// The headers every page and file of the dashboard carries: the content security
// policy (scripts and styles from this server only, nothing inline) and the refusal to
// be framed.
void SetDashboardHeaders(httplib::Response &response);

// GET /v1/session, GET /v1/stats/hourly, GET/POST /v1/tokens, DELETE /v1/tokens/{id}.
void AddDashboardApiRoutes(Gateway &gateway);

}  // namespace smsd
