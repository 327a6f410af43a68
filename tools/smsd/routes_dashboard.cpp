// The dashboard: its page and files, signing in and out. The page is one static app
// (dashboard/index.html and its script) that talks to the /v1 API with the session
// cookie; the sign-in page is the only one the server fills in itself.
//
// Signing in is protected against cross-site forms too (login CSRF, which would sign a
// browser in as the attacker): the sign-in page sets a random value both in a cookie
// of its own and in the form, and POST /login takes only a form that brings both,
// equal. Another site can neither read the cookie nor set it, so it cannot forge the
// pair; SameSite=Strict keeps the cookie off cross-site requests as well.
#include <memory>

#include "crypto.h"
#include "dashboard.h"
#include "log.h"
#include "sql.h"

namespace smsd {
namespace {

constexpr const char *kLoginCookie = "pelkor_login";

std::string HtmlEscaped(const std::string &text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

void ReplaceAll(std::string &text, const std::string &marker, const std::string &value) {
  for (size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at + value.size()))
    text.replace(at, marker.size(), value);
}

// Whether the browser reached us over TLS: ours, or a proxy's that says so.
bool OverTls(const Gateway &gateway, const httplib::Request &request) {
  return !gateway.config().tlsCert.empty() || request.get_header_value("X-Forwarded-Proto") == "https";
}

std::string CookieHeader(const std::string &name, const std::string &value, const std::string &path, int64_t maxAge,
                         bool secure) {
  return name + "=" + value + "; HttpOnly; SameSite=Strict; Path=" + path + "; Max-Age=" + std::to_string(maxAge) +
         (secure ? "; Secure" : "");
}

void SendFileNotFound(httplib::Response &response) {
  response.status = 404;
  response.set_content("not found\n", "text/plain; charset=utf-8");
}

class DashboardRoutes : public std::enable_shared_from_this<DashboardRoutes> {
 public:
  explicit DashboardRoutes(Gateway &gateway)
      : gateway_(gateway), root_(DashboardDirectory(gateway.config().dashboardDir)) {}

  void Add() {
    Log(Level::kInfo, "serve: the dashboard from " + EscapeControls(root_));
    if (!ReadDashboardFile(root_, "app.js"))
      Log(Level::kWarning, "serve: the dashboard's files are not in " + EscapeControls(root_));
    // Each handler holds the routes, which live as long as the server's handlers do.
    auto self = shared_from_this();
    gateway_.Route("GET", "/", "/", Allow::kAnyone, [self](Call &call) { self->Home(call); });
    gateway_.Route("GET", "/dashboard/(.+)", "/dashboard/{file}", Allow::kAnyone,
                   [self](Call &call) { self->File(call); });
    gateway_.Route("POST", "/login", "/login", Allow::kAnyone, [self](Call &call) { self->Login(call); });
    // Allow::kApi: a session's logout must carry its CSRF token, like any of its writes.
    gateway_.Route("POST", "/logout", "/logout", Allow::kApi, [self](Call &call) { self->Logout(call); });
  }

 private:
  // The app for a signed-in browser, the sign-in page for any other.
  void Home(Call &call) {
    if (!call.session) return SignInPage(call, 200, "");
    std::optional<DashboardFile> page = ReadDashboardFile(root_, "index.html");
    if (!page) return SendFileNotFound(call.response);
    SetDashboardHeaders(call.response);
    call.response.status = 200;
    call.response.set_content(page->body, "text/html; charset=utf-8");
  }

  // The pages are served by their routes only: the sign-in page is a template.
  void File(Call &call) {
    const std::string name = call.request.matches[1].str();
    if (name.size() >= 5 && name.compare(name.size() - 5, 5, ".html") == 0) return SendFileNotFound(call.response);
    std::optional<DashboardFile> file = ReadDashboardFile(root_, name);
    if (!file) return SendFileNotFound(call.response);
    SetDashboardHeaders(call.response);
    call.response.status = 200;
    call.response.set_content(file->body, file->contentType.c_str());
  }

  // The sign-in page with `message` (already fit for the page's text), and a fresh
  // value for its double-submitted form.
  void SignInPage(Call &call, int status, const std::string &message) {
    std::optional<DashboardFile> page = ReadDashboardFile(root_, "login.html");
    if (!page) return SendFileNotFound(call.response);
    const std::string check = RandomHex(32);
    ReplaceAll(page->body, "{{csrf}}", check);
    ReplaceAll(page->body, "{{message}}", HtmlEscaped(message));
    SetDashboardHeaders(call.response);
    call.response.set_header("Set-Cookie",
                             CookieHeader(kLoginCookie, check, "/login", 3600, OverTls(gateway_, call.request)));
    call.response.status = status;
    call.response.set_content(page->body, "text/html; charset=utf-8");
  }

  void Login(Call &call) {
    const httplib::Request &request = call.request;
    const std::string cookie = CookieOf(request, kLoginCookie);
    const std::string sent = request.has_param("_csrf") ? request.get_param_value("_csrf") : "";
    if (cookie.empty() || !ConstantTimeEquals(cookie, sent))
      return SignInPage(call, 403, "This sign-in form has expired. Please sign in again.");
    std::optional<Principal> who;
    const std::string token = request.get_param_value("token");
    const std::string user = request.get_param_value("user");
    if (!token.empty())
      who = CheckToken(call.db.sql(), token);
    else if (!user.empty())
      who = CheckPassword(call.db.sql(), user, request.get_param_value("password"));
    else
      return SignInPage(call, 400, "Give an API token, or a user name and its password.");
    // One answer for every wrong part, so that it tells nothing about names or tokens.
    if (!who) {
      // Not the name given: a password typed into the wrong field would land in the log.
      Log(Level::kInfo, "serve: a failed sign-in to the dashboard");
      return SignInPage(call, 401, "Sign-in failed: those credentials are not valid.");
    }
    // A browser signing in again leaves no older session of its own behind.
    if (call.session) EndSession(call.db.sql(), call.session->id);
    const Session session = CreateSession(call.db.sql(), *who);
    const bool secure = OverTls(gateway_, request);
    call.response.set_header("Set-Cookie", CookieHeader(kSessionCookie, session.id, "/", kSessionSeconds, secure));
    call.response.set_header("Set-Cookie", CookieHeader(kLoginCookie, "", "/login", 0, secure));
    Log(Level::kInfo, "serve: " + EscapeControls(who->name) + " signed in to the dashboard");
    call.response.status = 303;
    call.response.set_header("Location", "/");
  }

  void Logout(Call &call) {
    if (call.session) EndSession(call.db.sql(), call.session->id);
    call.response.set_header("Set-Cookie", CookieHeader(kSessionCookie, "", "/", 0, OverTls(gateway_, call.request)));
    call.response.status = 303;
    call.response.set_header("Location", "/");
  }

  Gateway &gateway_;
  const std::string root_;
};

}  // namespace

void AddDashboardRoutes(Gateway &gateway) {
  std::make_shared<DashboardRoutes>(gateway)->Add();
  AddDashboardApiRoutes(gateway);
}

}  // namespace smsd
