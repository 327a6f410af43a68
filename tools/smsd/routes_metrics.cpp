// GET /metrics in Prometheus' text format: the queue, what was sent and received, the
// delivery states, each phone's health, the webhooks' backlog, and this server's own
// requests. It needs no token, like /healthz: keep it behind the proxy.
#include <cstdio>
#include <map>
#include <sstream>

#include "gateway.h"
#include "message_json.h"
#include "sql.h"

namespace smsd {
namespace {

// A label value as the format writes it: backslash, double quote and line feed escaped.
std::string Label(const std::string &value) {
  std::string out;
  for (char c : value) {
    if (c == '\\')
      out += "\\\\";
    else if (c == '"')
      out += "\\\"";
    else if (c == '\n')
      out += "\\n";
    else
      out += c;
  }
  return out;
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.15g", value);
  return text;
}

class Exposition {
 public:
  // Each metric's HELP and TYPE once, before its first sample.
  void Family(const std::string &name, const std::string &type, const std::string &help) {
    out_ << "# HELP " << name << ' ' << help << "\n# TYPE " << name << ' ' << type << '\n';
  }
  void Sample(const std::string &name, const std::string &labels, double value) {
    out_ << name;
    if (!labels.empty()) out_ << '{' << labels << '}';
    out_ << ' ' << Number(value) << '\n';
  }
  std::string Text() const { return out_.str(); }

 private:
  std::ostringstream out_;
};

// Counts of `column` by value, every one of `values` present (0 when no row has it).
void Counted(Exposition &e, Sql &sql, const std::string &name, const std::string &label, const std::string &from,
             const std::string &column, const std::vector<std::string> &values) {
  std::map<std::string, int64_t> counts;
  for (const std::string &v : values) counts[v] = 0;
  for (const SqlRow &r : sql.Query("SELECT " + column + ", COUNT(*) FROM " + from + " GROUP BY " + column))
    counts[r.Text(0)] = r.Int(1);
  for (const auto &[value, n] : counts) e.Sample(name, label + "=\"" + Label(value) + "\"", static_cast<double>(n));
}

void Database(Exposition &e, Sql &sql, double pollInterval) {
  e.Family("pelkor_outbox_messages", "gauge", "Outbox rows by status.");
  Counted(e, sql, "pelkor_outbox_messages", "status", "outbox", "status",
          {"queued", "sending", "sent", "failed", "unknown"});
  e.Family("pelkor_sent_total", "counter", "Messages the phones confirmed sent.");
  e.Sample("pelkor_sent_total", "", static_cast<double>(sql.Query("SELECT COUNT(*) FROM sent")[0].Int(0)));
  e.Family("pelkor_received_total", "counter", "Message parts received from the phones.");
  e.Sample("pelkor_received_total", "", static_cast<double>(sql.Query("SELECT COUNT(*) FROM inbox")[0].Int(0)));
  e.Family("pelkor_delivery_messages", "gauge", "Outbox rows by delivery state.");
  Counted(e, sql, "pelkor_delivery_messages", "state", "outbox", "delivery",
          {"none", "pending", "delivered", "failed", "expired"});
  e.Family("pelkor_webhook_deliveries", "gauge", "Webhook deliveries by status (pending: the backlog).");
  Counted(e, sql, "pelkor_webhook_deliveries", "status", "webhook_deliveries", "status",
          {"pending", "delivered", "failed"});

  const nlohmann::json phones = PhonesJson(sql, pollInterval);
  const struct {
    const char *name, *type, *help, *field;
  } kPhone[] = {{"pelkor_phone_up", "gauge", "1 while the phone's daemon reports in.", "up"},
                {"pelkor_phone_signal_percent", "gauge", "The phone's signal.", "signal"},
                {"pelkor_phone_battery_percent", "gauge", "The phone's battery.", "battery"},
                {"pelkor_phone_heartbeat_age_seconds", "gauge", "Seconds since the phone's daemon last reported.",
                 "heartbeat_age_seconds"}};
  for (const auto &metric : kPhone) {
    e.Family(metric.name, metric.type, metric.help);
    for (const auto &phone : phones) {
      const auto &value = phone[metric.field];
      if (value.is_null()) continue;
      const std::string labels = "phone=\"" + Label(phone["id"].get<std::string>()) + "\"";
      e.Sample(metric.name, labels, value.is_boolean() ? (value.get<bool>() ? 1 : 0) : value.get<double>());
    }
  }
}

void Requests(Exposition &e, const RequestMetrics &metrics) {
  const auto series = metrics.Snapshot();
  e.Family("pelkor_http_requests_total", "counter", "Requests served, by method, route and status.");
  for (const auto &[key, s] : series) {
    const auto &[method, route, status] = key;
    e.Sample(
        "pelkor_http_requests_total",
        "method=\"" + Label(method) + "\",route=\"" + Label(route) + "\",status=\"" + std::to_string(status) + "\"",
        static_cast<double>(s.count));
  }
  // The histogram is by method and route: the statuses of one route added up.
  std::map<std::pair<std::string, std::string>, RequestMetrics::Series> byRoute;
  for (const auto &[key, s] : series) {
    RequestMetrics::Series &sum = byRoute[{std::get<0>(key), std::get<1>(key)}];
    sum.count += s.count;
    sum.sum += s.sum;
    for (size_t i = 0; i < std::size(RequestMetrics::kBuckets); ++i) sum.buckets[i] += s.buckets[i];
  }
  const std::string name = "pelkor_http_request_duration_seconds";
  e.Family(name, "histogram", "Time to answer a request, by method and route.");
  for (const auto &[key, s] : byRoute) {
    const std::string labels = "method=\"" + Label(key.first) + "\",route=\"" + Label(key.second) + "\"";
    for (size_t i = 0; i < std::size(RequestMetrics::kBuckets); ++i)
      e.Sample(name + "_bucket", labels + ",le=\"" + Number(RequestMetrics::kBuckets[i]) + "\"",
               static_cast<double>(s.buckets[i]));
    e.Sample(name + "_bucket", labels + ",le=\"+Inf\"", static_cast<double>(s.count));
    e.Sample(name + "_sum", labels, s.sum);
    e.Sample(name + "_count", labels, static_cast<double>(s.count));
  }
}

}  // namespace

void AddMetricsRoutes(Gateway &gateway) {
  gateway.Route("GET", "/metrics", "/metrics", Allow::kAnyone, [&gateway](Call &call) {
    Exposition e;
    Database(e, call.db.sql(), gateway.config().pollInterval);
    Requests(e, gateway.metrics());
    call.response.status = 200;
    call.response.set_content(e.Text(), "text/plain; version=0.0.4; charset=utf-8");
  });
}

}  // namespace smsd
