#include "serve.h"

#include <sys/socket.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include "daemon.h"
#include "gateway.h"
#include "log.h"
#include "sql.h"
#include "webhook_worker.h"

namespace smsd {
namespace {

constexpr size_t kMaxBody = 1 << 20;  // no request of the API comes near a megabyte
constexpr int kWebhookThreads = 2;    // deliveries under way at once, per process

// "host:port", "[v6]:port" or ":port" (every address); false for anything else.
bool SplitListen(const std::string &listen, std::string &host, int &port) {
  const size_t colon = listen.rfind(':');
  if (colon == std::string::npos || colon + 1 >= listen.size()) return false;
  host = listen.substr(0, colon);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  if (host.empty()) host = "0.0.0.0";
  port = 0;
  for (size_t i = colon + 1; i < listen.size(); ++i) {
    if (listen[i] < '0' || listen[i] > '9' || port > 65535) return false;
    port = port * 10 + (listen[i] - '0');
  }
  return port <= 65535;
}

// Anything the routes do not know: a problem for the API, the plain page otherwise.
void AnswerUnrouted(const httplib::Request &request, httplib::Response &response) {
  if (response.status == 404 && response.body.empty())
    SendProblem(response, 404, "Not Found", "there is no " + request.method + " " + request.path.substr(0, 200));
}

}  // namespace

int RunServe(const Config &config, const std::string &databaseUrl, bool listRoutes) {
  {
    auto store = OpenStore(databaseUrl, Access::kDaemon);
    store->Migrate();
  }
  std::unique_ptr<httplib::Server> server;
  if (!config.tlsCert.empty())
    server = std::make_unique<httplib::SSLServer>(config.tlsCert.c_str(), config.tlsKey.c_str());
  else
    server = std::make_unique<httplib::Server>();
  if (!server->is_valid()) {
    Log(Level::kError, "serve: cannot load the TLS certificate " + config.tlsCert + " and key " + config.tlsKey);
    return 1;
  }
  const int threads = config.httpThreads;
  server->new_task_queue = [threads] { return new httplib::ThreadPool(static_cast<size_t>(threads)); };
  server->set_payload_max_length(kMaxBody);
  server->set_read_timeout(10, 0);
  server->set_write_timeout(10, 0);
  server->set_error_handler(AnswerUnrouted);
  // The library listens with a backlog of 5: a burst of clients beyond that gets its
  // connections reset before a thread is free. The listening socket is noted here and
  // given the system's backlog once bound.
  int listener = -1;
  server->set_socket_options([&listener](socket_t sock) {
    httplib::default_socket_options(sock);
    listener = sock;
  });

  Gateway gateway(config, databaseUrl);
  gateway.SetServer(server.get());
  AddHealthRoutes(gateway);
  AddMessageRoutes(gateway);
  AddReadingRoutes(gateway);
  AddMetricsRoutes(gateway);
  AddOpenApiRoutes(gateway);
  AddDashboardRoutes(gateway);
  AddWebhookRoutes(gateway);
  AddKannelRoutes(gateway);
  if (listRoutes) {
    for (const auto &[method, route] : gateway.routes()) std::printf("%s %s\n", method.c_str(), route.c_str());
    return 0;
  }

  std::string host;
  int port = 0;
  if (!SplitListen(config.listen, host, port)) {
    Log(Level::kError, "serve: listen must be host:port, not " + EscapeControls(config.listen));
    return 1;
  }
  if (port == 0 ? (port = server->bind_to_any_port(host)) <= 0 : !server->bind_to_port(host, port)) {
    Log(Level::kError, "serve: cannot listen on " + EscapeControls(config.listen));
    return 1;
  }
  if (listener >= 0) ::listen(listener, SOMAXCONN);
  Log(Level::kInfo, std::string("serve: listening on ") + (config.tlsCert.empty() ? "http://" : "https://") + host +
                        ":" + std::to_string(port) + ", database " + RedactSecrets(config.database));
  std::thread stopper([&server] {
    while (!stopRequested.load()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    server->stop();
  });
  {
    // The events waiting for delivery go out from here while the server listens.
    WebhookWorker webhooks(gateway, kWebhookThreads);
    server->listen_after_bind();
    stopRequested.store(true);
    stopper.join();
  }
  Log(Level::kInfo, "serve: stopped");
  return 0;
}

}  // namespace smsd
