#include "gateway.h"

#include <unistd.h>

#include <chrono>

#include "crypto.h"
#include "log.h"
#include "sql.h"

namespace smsd {

void RequestMetrics::Record(const std::string &method, const std::string &route, int status, double seconds) {
  std::lock_guard<std::mutex> lock(mutex_);
  Series &s = series_[{method, route, status}];
  ++s.count;
  s.sum += seconds;
  for (size_t i = 0; i < sizeof kBuckets / sizeof kBuckets[0]; ++i)
    if (seconds <= kBuckets[i]) ++s.buckets[i];
}

std::map<std::tuple<std::string, std::string, int>, RequestMetrics::Series> RequestMetrics::Snapshot() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return series_;
}

std::string Gateway::MakeServerId() {
  char host[256] = "";
  ::gethostname(host, sizeof host - 1);
  return std::string(host) + ":" + std::to_string(::getpid());
}

void Gateway::Route(const char *method, const std::string &pattern, const std::string &route, Allow allow,
                    RouteHandler handler) {
  auto serve = [this, route, allow, handler](const httplib::Request &request, httplib::Response &response) {
    Serve(request, response, route, allow, handler);
  };
  const std::string m = method;
  routes_.emplace_back(m, route);
  if (m == "GET")
    server_->Get(pattern, serve);
  else if (m == "POST")
    server_->Post(pattern, serve);
  else if (m == "PUT")
    server_->Put(pattern, serve);
  else if (m == "DELETE")
    server_->Delete(pattern, serve);
  else if (m == "PATCH")
    server_->Patch(pattern, serve);
}

namespace {

bool IsRead(const std::string &method) { return method == "GET" || method == "HEAD"; }

// Whether a session's write carries its CSRF token (header, or the form's _csrf field).
bool CarriesCsrf(const httplib::Request &request, const Session &session) {
  std::string sent = request.get_header_value("X-CSRF-Token");
  if (sent.empty() && request.has_param("_csrf")) sent = request.get_param_value("_csrf");
  return !sent.empty() && ConstantTimeEquals(sent, session.csrf);
}

// Sets call.who from the bearer token or the session cookie; false, with the refusal
// sent, when neither lets the caller in.
bool Authorize(Call &call) {
  const httplib::Request &request = call.request;
  if (request.has_header("Authorization")) {
    call.who = CheckBearer(call.db.sql(), request.get_header_value("Authorization"));
  } else if (call.session) {
    // A session is a browser's: its writes must prove they come from the dashboard.
    if (!IsRead(request.method) && !CarriesCsrf(request, *call.session)) {
      SendProblem(call.response, 403, "Forbidden", "this form or request lacks its CSRF token");
      return false;
    }
    call.who = call.session->who;
  }
  if (call.who) return true;
  call.response.set_header("WWW-Authenticate", "Bearer realm=\"pelkor-smsd\"");
  SendProblem(call.response, 401, "Unauthorized",
              "this needs an API token (Authorization: Bearer) or a signed-in session");
  return false;
}

}  // namespace

void Gateway::Serve(const httplib::Request &request, httplib::Response &response, const std::string &route, Allow allow,
                    const RouteHandler &handler) {
  const auto started = std::chrono::steady_clock::now();
  response.set_header("X-Content-Type-Options", "nosniff");
  response.set_header("Cache-Control", "no-store");
  try {
    StorePool::Lease lease = pool_.Take();
    Call call{request, response, lease, std::nullopt, std::nullopt};
    try {
      const std::string cookie = CookieOf(request, kSessionCookie);
      if (!cookie.empty()) call.session = FindSession(lease.sql(), cookie);
      if (allow == Allow::kAnyone || Authorize(call)) handler(call);
    } catch (const StoreError &) {
      lease.Broken();
      throw;
    }
  } catch (const StoreError &e) {
    Log(Level::kError, std::string("serve: ") + request.method + " " + route + ": " + e.what());
    SendProblem(response, 503, "Service Unavailable", "the database cannot be reached; try again");
  } catch (const nlohmann::json::exception &e) {
    SendProblem(response, 400, "Bad Request", std::string("the request's JSON: ") + e.what());
  } catch (const std::exception &e) {
    Log(Level::kError, std::string("serve: ") + request.method + " " + route + ": " + e.what());
    SendProblem(response, 500, "Internal Server Error", "the server failed; its log says why");
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  metrics_.Record(request.method, route, response.status, seconds);
}

void SendJson(httplib::Response &response, int status, const nlohmann::json &body) {
  response.status = status;
  response.set_content(body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace), "application/json");
}

void SendProblem(httplib::Response &response, int status, const std::string &title, const std::string &detail,
                 const std::string &field) {
  nlohmann::json body = {{"type", "about:blank"}, {"title", title}, {"status", status}, {"detail", detail}};
  if (!field.empty()) body["field"] = field;
  response.status = status;
  response.set_content(body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace), "application/problem+json");
}

std::optional<nlohmann::json> JsonBody(Call &call) {
  nlohmann::json body = nlohmann::json::parse(call.request.body, nullptr, false);
  if (body.is_discarded() || !body.is_object()) {
    SendProblem(call.response, 400, "Bad Request", "the body must be a JSON object");
    return std::nullopt;
  }
  return body;
}

std::string CookieOf(const httplib::Request &request, const std::string &name) {
  const std::string header = request.get_header_value("Cookie");
  size_t at = 0;
  while (at < header.size()) {
    const size_t end = std::min(header.find(';', at), header.size());
    std::string pair = header.substr(at, end - at);
    const size_t start = pair.find_first_not_of(' ');
    pair = start == std::string::npos ? "" : pair.substr(start);
    if (pair.rfind(name + "=", 0) == 0) return pair.substr(name.size() + 1);
    at = end + 1;
  }
  return "";
}

}  // namespace smsd
