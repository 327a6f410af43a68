// What every route of the HTTP server shares: the configuration, the database
// connections, the request metrics, and one way to declare a route with the access it
// needs. A route's handler gets the request, the response and a Call that holds the
// caller (once authenticated) and a database connection of its own.
#pragma once

#include <httplib.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "auth.h"
#include "config.h"
#include "store_pool.h"

namespace smsd {

// Request counts and latencies, by route and status, for /metrics.
class RequestMetrics {
 public:
  static constexpr double kBuckets[] = {0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1, 2.5, 5, 10};
  struct Series {
    int64_t count = 0;
    double sum = 0;
    int64_t buckets[sizeof kBuckets / sizeof kBuckets[0]] = {};
  };
  void Record(const std::string &method, const std::string &route, int status, double seconds);
  // Keyed by (method, route, status); a copy, taken under the lock.
  std::map<std::tuple<std::string, std::string, int>, Series> Snapshot() const;

 private:
  mutable std::mutex mutex_;
  std::map<std::tuple<std::string, std::string, int>, Series> series_;
};

// Who may call a route.
enum class Allow {
  kAnyone,  // no authentication (health, metrics, the sign-in page, Kannel's own)
  kApi,     // a bearer token, or a dashboard session (with its CSRF token on writes)
};

// One request in progress.
struct Call {
  const httplib::Request &request;
  httplib::Response &response;
  StorePool::Lease &db;
  std::optional<Principal> who;    // set for Allow::kApi
  std::optional<Session> session;  // set when the caller came with a session cookie
};

using RouteHandler = std::function<void(Call &)>;

class Gateway {
 public:
  Gateway(const Config &config, const std::string &databaseUrl)
      : config_(config), pool_(databaseUrl), serverId_(MakeServerId()) {}

  const Config &config() const { return config_; }
  StorePool &pool() { return pool_; }
  RequestMetrics &metrics() { return metrics_; }
  // This process among the servers on one database: "host:pid".
  const std::string &serverId() const { return serverId_; }
  httplib::Server &server() { return *server_; }
  void SetServer(httplib::Server *server) { server_ = server; }

  // Declares a route: `pattern` is a regular expression of the path, `route` the name
  // it has in the metrics ("/v1/messages/{id}").
  void Route(const char *method, const std::string &pattern, const std::string &route, Allow allow,
             RouteHandler handler);
  // The (method, route name) of every route declared, in order: what the API's
  // description must cover.
  const std::vector<std::pair<std::string, std::string>> &routes() const { return routes_; }

 private:
  static std::string MakeServerId();
  void Serve(const httplib::Request &request, httplib::Response &response, const std::string &route, Allow allow,
             const RouteHandler &handler);

  const Config &config_;
  StorePool pool_;
  RequestMetrics metrics_;
  std::string serverId_;
  httplib::Server *server_ = nullptr;
  std::vector<std::pair<std::string, std::string>> routes_;
};

// The answers every route gives the same way.
void SendJson(httplib::Response &response, int status, const nlohmann::json &body);
// RFC 9457 problem details (application/problem+json): `title` says what went wrong,
// `detail` why; `field` names the request field at fault.
void SendProblem(httplib::Response &response, int status, const std::string &title, const std::string &detail,
                 const std::string &field = "");
// The request's body as a JSON object; on anything else a 400 problem is sent and
// nothing returned.
std::optional<nlohmann::json> JsonBody(Call &call);
// The session cookie's name.
constexpr const char *kSessionCookie = "pelkor_session";
// The value of cookie `name` of the request, or "".
std::string CookieOf(const httplib::Request &request, const std::string &name);

// Each group of routes registers itself here, in its own file.
void AddHealthRoutes(Gateway &gateway);   // /healthz
void AddMessageRoutes(Gateway &gateway);  // /v1/messages...
void AddReadingRoutes(Gateway &gateway);  // /v1/inbox..., /v1/conversations..., /v1/phones
void AddMetricsRoutes(Gateway &gateway);  // /metrics
void AddOpenApiRoutes(Gateway &gateway);  // /v1/openapi.json
void AddWebhookRoutes(Gateway &gateway);  // /v1/webhooks
void AddKannelRoutes(Gateway &gateway);   // /cgi-bin/sendsms
// /, /dashboard/..., /login, /logout, /v1/session, /v1/stats/hourly, /v1/tokens
void AddDashboardRoutes(Gateway &gateway);

}  // namespace smsd
