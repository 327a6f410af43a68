// GET /healthz: whether the database answers, and how long ago each phone's daemon
// last reported. 200 when the database answers, 503 when it does not; a phone that
// is down does not make the server unhealthy (the server needs no phone).
#include "gateway.h"
#include "sql.h"

namespace smsd {

void AddHealthRoutes(Gateway &gateway) {
  gateway.Route("GET", "/healthz", "/healthz", Allow::kAnyone, [](Call &call) {
    Sql &sql = call.db.sql();
    nlohmann::json phones = nlohmann::json::array();
    const int64_t now = UnixNow();
    for (const SqlRow &r : sql.Query("SELECT id, " + sql.EpochOf("last_seen") + " FROM phones ORDER BY id")) {
      nlohmann::json phone = {{"id", r.Text(0)}};
      phone["heartbeat_age_seconds"] = r.IsNull(1) ? nlohmann::json() : nlohmann::json(now - r.Int(1));
      phones.push_back(phone);
    }
    SendJson(call.response, 200, {{"status", "ok"}, {"database", "ok"}, {"phones", phones}});
  });
}

}  // namespace smsd
