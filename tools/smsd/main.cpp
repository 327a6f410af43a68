// pelkor-smsd: an SMS gateway daemon for one phone. Received messages go into the
// database's inbox; what an application puts into its outbox is sent.
#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <ctime>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "config.h"
#include "daemon.h"
#include "gateway_commands.h"
#include "log.h"
#include "serve.h"
#include "store.h"

namespace {

constexpr const char *kDefaultConfig = "/etc/pelkor-smsd.conf";

void OnStopSignal(int) { smsd::stopRequested.store(true); }

// Opens the database and brings its schema up to date (for `status`: reads it as it is).
std::unique_ptr<smsd::Store> OpenMigrated(const std::string &url, smsd::Access access = smsd::Access::kDaemon) {
  auto store = smsd::OpenStore(url, access);
  store->Migrate();
  return store;
}

// A level as `pelkor status` shows it: the library's hundredths of the phone's four steps.
std::string Percent(int level) { return level < 0 ? "-" : std::to_string(level / 4) + "%"; }

// "up" for a heartbeat within three poll intervals (the interval of the configuration
// `status` reads: the daemon's own when both read the same file), "down" for an older
// one or none, "?" for a stamp that cannot be read. Each pass the phone answers writes
// the heartbeat.
std::string State(const std::string &lastSeen, double pollInterval) {
  tm seen{};
  if (lastSeen.empty()) return "down";
  if (std::sscanf(lastSeen.c_str(), "%d-%d-%d %d:%d:%d", &seen.tm_year, &seen.tm_mon, &seen.tm_mday, &seen.tm_hour,
                  &seen.tm_min, &seen.tm_sec) != 6)
    return "?";
  seen.tm_year -= 1900;
  seen.tm_mon -= 1;
  const double age = std::difftime(std::time(nullptr), ::timegm(&seen));
  return age > 3 * pollInterval ? "down" : "up";
}

int Status(smsd::Store &store, double pollInterval) {
  const auto phones = store.Phones();
  std::printf("%-16s %-16s %-8s %6s %7s %-5s %s\n", "phone", "imei", "model", "signal", "battery", "state",
              "last seen (UTC)");
  for (const auto &p : phones)
    std::printf("%-16s %-16s %-8s %6s %7s %-5s %s\n", smsd::EscapeControls(p.id).c_str(),
                smsd::EscapeControls(p.imei).c_str(), smsd::EscapeControls(p.model).c_str(), Percent(p.signal).c_str(),
                Percent(p.battery).c_str(), State(p.lastSeen, pollInterval).c_str(),
                smsd::EscapeControls(p.lastSeen).c_str());
  const smsd::OutboxCounts c = store.Counts();
  std::printf("outbox: %lld queued, %lld sending, %lld sent, %lld failed, %lld unknown\n",
              static_cast<long long>(c.queued), static_cast<long long>(c.sending), static_cast<long long>(c.sent),
              static_cast<long long>(c.failed), static_cast<long long>(c.unknown));
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  CLI::App app{"pelkor-smsd - SMS gateway daemon: a phone's messages into a database, its outbox out"};
  app.require_subcommand(0, 1);
  std::string configPath;
  bool once = false;
  app.add_option("-c,--config", configPath,
                 "configuration file (default " + std::string(kDefaultConfig) + " if present)");
  // Every setting's flag is taken as text and checked as the file's value is.
  struct Flag {
    Flag(const char *name) : key(name) {}
    const char *key;
    std::string text;
    CLI::Option *option = nullptr;
  };
  std::vector<Flag> flags = {{"phone.port"},
                             {"phone.connection"},
                             {"phone.id"},
                             {"database.url"},
                             {"database.password_file"},
                             {"daemon.poll_interval"},
                             {"daemon.delete_received"},
                             {"daemon.run_on_receive"},
                             {"daemon.run_on_report"},
                             {"daemon.log_level"},
                             {"daemon.hook_timeout"},
                             {"outbox.retry_backoff"},
                             {"outbox.max_attempts"},
                             {"outbox.resend_unknown"},
                             {"outbox.report_expiry"},
                             {"http.listen"},
                             {"http.tls_cert"},
                             {"http.tls_key"},
                             {"http.dashboard_dir"},
                             {"http.threads"},
                             {"http.webhook_timeout"},
                             {"http.webhook_retry_hours"}};
  auto add = [&](const char *key, const char *names, const char *help) {
    for (Flag &f : flags)
      if (std::string(key) == f.key) f.option = app.add_option(names, f.text, help);
  };
  add("phone.port", "-p,--port", "the phone's serial port");
  add("phone.connection", "--connection", "cable or infrared");
  add("phone.id", "--phone-id", "this phone's id in the database (default: the port's name)");
  add("database.url", "-d,--database", "sqlite:///path or postgresql://...");
  add("database.password_file", "--password-file", "a file (mode 600) whose first line is the database password");
  add("daemon.poll_interval", "--poll-interval", "seconds between passes (0.1 to 3600)");
  add("daemon.delete_received", "--delete-received",
      "delete received messages from the phone once stored (true/false)");
  add("daemon.run_on_receive", "--run-on-receive", "shell command run for each new inbox row");
  add("daemon.run_on_report", "--run-on-report", "shell command run for each outbox row whose delivery state settled");
  add("daemon.log_level", "--log-level", "error, warning, info or debug");
  add("daemon.hook_timeout", "--hook-timeout", "seconds the run-on-receive command may take (1 to 3600)");
  add("outbox.retry_backoff", "--retry-backoff", "seconds before the first retry (0 to 3600)");
  add("outbox.max_attempts", "--max-attempts", "refusals before a row fails (1 to 1000)");
  add("outbox.resend_unknown", "--resend-unknown", "send again rows whose fate is unknown after a crash (true/false)");
  add("outbox.report_expiry", "--report-expiry",
      "hours a sent part waits for its final report before it is expired (default 72)");
  app.add_flag("--once", once, "one receive-and-send pass, then exit");

  auto *status = app.add_subcommand("status", "the phones table and the outbox counts");
  auto *inject = app.add_subcommand("inject", "add a message to the outbox");
  std::string number, text;
  int messageClass = -1, priority = 0;
  bool statusReport = false;
  inject->add_option("number", number, "destination")->required();
  inject->add_option("text", text, "the message, UTF-8")->required();
  inject->add_option("--class", messageClass, "message class 0-3")->check(CLI::Range(0, 3));
  inject->add_option("--priority", priority, "higher goes first");
  inject->add_flag("--status-report", statusReport, "ask for a status report");

  auto *serve = app.add_subcommand("serve", "the HTTP API, webhooks and dashboard (needs no phone)");
  auto addTo = [&](CLI::App *command, const char *key, const char *names, const char *help) {
    for (Flag &f : flags)
      if (std::string(key) == f.key) f.option = command->add_option(names, f.text, help);
  };
  addTo(serve, "http.listen", "--listen", "host:port to listen on (default 127.0.0.1:8080; port 0: any free one)");
  addTo(serve, "http.tls_cert", "--tls-cert", "PEM certificate: serve HTTPS (with --tls-key)");
  addTo(serve, "http.tls_key", "--tls-key", "PEM private key of --tls-cert");
  addTo(serve, "http.dashboard_dir", "--dashboard-dir", "the dashboard's files (default: the installed ones)");
  addTo(serve, "http.threads", "--threads", "requests served at once (1 to 256, default 8)");
  addTo(serve, "http.webhook_timeout", "--webhook-timeout",
        "seconds a webhook receiver may take (1 to 300, default 10)");
  addTo(serve, "http.webhook_retry_hours", "--webhook-retry-hours",
        "hours an event is retried before it is failed (default 24)");
  bool listRoutes = false;
  // For the test that holds docs/openapi.json to the routes: not for operators.
  serve->add_flag("--list-routes", listRoutes, "print the routes and exit")->group("");

  auto *token = app.add_subcommand("token", "API tokens for the HTTP API");
  token->require_subcommand(1);
  std::string tokenName;
  auto *tokenCreate = token->add_subcommand("create", "create a token; it is printed once");
  tokenCreate->add_option("name", tokenName, "what the token is for")->required();
  auto *tokenList = token->add_subcommand("list", "the tokens, revoked ones too");
  auto *tokenRevoke = token->add_subcommand("revoke", "revoke a token");
  tokenRevoke->add_option("name", tokenName, "the token's name or id")->required();

  auto *user = app.add_subcommand("user", "dashboard users");
  user->require_subcommand(1);
  std::string userName, passwordSource = "-";
  auto *userAdd = user->add_subcommand("add", "add a user, or set a user's password");
  userAdd->add_option("name", userName, "the user's name")->required();
  userAdd->add_option("--password-from", passwordSource,
                      "a file whose first line is the password (default -: standard input)");
  auto *userRemove = user->add_subcommand("remove", "remove a user");
  userRemove->add_option("name", userName, "the user's name")->required();

  auto *webhook = app.add_subcommand("webhook", "webhooks: events POSTed to your URL, signed");
  webhook->require_subcommand(1);
  std::string hookUrl, hookEvents, hookSecret;
  int64_t hookId = 0;
  auto *webhookAdd = webhook->add_subcommand("add", "add a webhook; its secret is printed");
  webhookAdd->add_option("url", hookUrl, "where the events are POSTed (http or https)")->required();
  webhookAdd
      ->add_option("--events", hookEvents,
                   "comma list of message.received, message.sent, message.failed, message.delivered, "
                   "message.delivery_failed")
      ->required();
  webhookAdd->add_option("--secret", hookSecret, "the signing secret, 16 to 200 characters (default: generated)");
  auto *webhookList = webhook->add_subcommand("list", "the webhooks in force, with their backlog");
  auto *webhookRemove = webhook->add_subcommand("remove", "remove a webhook; what waits for it is not sent");
  webhookRemove->add_option("id", hookId, "the webhook's id")->required();
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError &e) {
    // --help and --version exit 0; a bad flag is a bad configuration.
    return app.exit(e) == 0 ? 0 : 2;
  }

  smsd::Config config;
  std::string error;
  if (!configPath.empty() || ::access(kDefaultConfig, F_OK) == 0) {
    if (!smsd::LoadConfigFile(configPath.empty() ? kDefaultConfig : configPath, config, error)) {
      std::cerr << "pelkor-smsd: " << smsd::EscapeControls(error) << '\n';
      return 2;
    }
  }
  // Flags given on the command line win over the file.
  for (const Flag &f : flags)
    if (*f.option && !smsd::ApplySetting(config, f.key, f.text, error)) {
      std::cerr << "pelkor-smsd: " << f.option->get_name() << ": " << smsd::EscapeControls(smsd::RedactSecrets(error))
                << '\n';
      return 2;
    }
  if (!smsd::SetLogLevel(config.logLevel)) {
    std::cerr << "pelkor-smsd: unknown log level " << smsd::EscapeControls(config.logLevel) << '\n';
    return 2;
  }
  if (!smsd::CheckConfig(config, error)) {
    std::cerr << "pelkor-smsd: " << smsd::EscapeControls(error) << '\n';
    return 2;
  }
  // The passwords in the URL are kept out of every log line and error text, whatever
  // form an error gives them.
  smsd::AddSecretsOf(config.database);
  std::string connectUrl = config.database;
  if (!config.passwordFile.empty()) {
    std::string password;
    if (smsd::RedactSecrets(config.database) != config.database) {
      std::cerr << "pelkor-smsd: the database url has a password and password_file is set: give one of them\n";
      return 2;
    }
    if (!smsd::ReadPasswordFile(config.passwordFile, password, error)) {
      std::cerr << "pelkor-smsd: " << smsd::EscapeControls(error) << '\n';
      return 2;
    }
    smsd::AddSecret(password);
    connectUrl +=
        (connectUrl.find('?') == std::string::npos ? "?password=" : "&password=") + smsd::PercentEncoded(password);
  }

  if (*inject) {
    // What no phone could send is refused here, before anything is queued.
    const std::string fault = smsd::OutboxFault(number, text);
    if (!fault.empty()) {
      std::cerr << "pelkor-smsd: inject: " << fault << '\n';
      return 2;
    }
  }

  try {
    if (*status) return Status(*OpenMigrated(connectUrl, smsd::Access::kRead), config.pollInterval);
    const bool command = *inject || *token || *user || *webhook;
    auto store = OpenMigrated(connectUrl, command ? smsd::Access::kCommand : smsd::Access::kDaemon);
    if (*inject) {
      const int64_t id = store->Inject(number, text, messageClass, statusReport, priority);
      std::printf("%lld\n", static_cast<long long>(id));
      return 0;
    }
    if (*tokenCreate) return smsd::CreateTokenCommand(*store, tokenName);
    if (*tokenList) return smsd::ListTokensCommand(*store);
    if (*tokenRevoke) return smsd::RevokeTokenCommand(*store, tokenName);
    if (*userAdd) return smsd::AddUserCommand(*store, userName, passwordSource);
    if (*userRemove) return smsd::RemoveUserCommand(*store, userName);
    if (*webhookAdd) return smsd::AddWebhookCommand(*store, hookUrl, hookEvents, hookSecret);
    if (*webhookList) return smsd::ListWebhooksCommand(*store);
    if (*webhookRemove) return smsd::RemoveWebhookCommand(*store, hookId);
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    if (*serve) {
      store.reset();
      return smsd::RunServe(config, connectUrl, listRoutes);
    }
    smsd::Log(smsd::Level::kInfo, "phone " + smsd::EffectivePhoneId(config) + " on " + config.port + ", database " +
                                      smsd::RedactSecrets(config.database) + (once ? ", one pass" : ""));
    smsd::Daemon daemon(config, *store);
    return daemon.Run(once);
  } catch (const smsd::StoreError &e) {
    smsd::Log(smsd::Level::kError, e.what());
    return 1;
  }
}
