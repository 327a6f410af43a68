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

// A setting's flag, taken as text and checked as the file's value is.
struct Flag {
  Flag(const char *name) : key(name) {}
  const char *key;
  std::string text;
  CLI::Option *option = nullptr;
};

// Everything the command line gives: the settings' flags, each subcommand and its values.
struct CommandLine {
  std::string configPath;
  bool once = false;
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
  CLI::App *status = nullptr;
  CLI::App *inject = nullptr;
  std::string number, text;
  int messageClass = -1, priority = 0;
  bool statusReport = false;
  CLI::App *serve = nullptr;
  bool listRoutes = false;
  CLI::App *token = nullptr, *tokenCreate = nullptr, *tokenList = nullptr, *tokenRevoke = nullptr;
  std::string tokenName;
  CLI::App *user = nullptr, *userAdd = nullptr, *userRemove = nullptr;
  std::string userName, passwordSource = "-";
  CLI::App *webhook = nullptr, *webhookAdd = nullptr, *webhookList = nullptr, *webhookRemove = nullptr;
  std::string hookUrl, hookEvents, hookSecret;
  int64_t hookId = 0;

  // Declares the setting `key` as an option of `command`.
  void AddSetting(CLI::App *command, const char *key, const char *names, const char *help) {
    for (Flag &f : flags)
      if (std::string(key) == f.key) f.option = command->add_option(names, f.text, help);
  }
};

void DeclareDaemonOptions(CLI::App &app, CommandLine &cl) {
  app.add_option("-c,--config", cl.configPath,
                 "configuration file (default " + std::string(kDefaultConfig) + " if present)");
  cl.AddSetting(&app, "phone.port", "-p,--port", "the phone's serial port");
  cl.AddSetting(&app, "phone.connection", "--connection", "cable or infrared");
  cl.AddSetting(&app, "phone.id", "--phone-id", "this phone's id in the database (default: the port's name)");
  cl.AddSetting(&app, "database.url", "-d,--database", "sqlite:///path or postgresql://...");
  cl.AddSetting(&app, "database.password_file", "--password-file",
                "a file (mode 600) whose first line is the database password");
  cl.AddSetting(&app, "daemon.poll_interval", "--poll-interval", "seconds between passes (0.1 to 3600)");
  cl.AddSetting(&app, "daemon.delete_received", "--delete-received",
                "delete received messages from the phone once stored (true/false)");
  cl.AddSetting(&app, "daemon.run_on_receive", "--run-on-receive", "shell command run for each new inbox row");
  cl.AddSetting(&app, "daemon.run_on_report", "--run-on-report",
                "shell command run for each outbox row whose delivery state settled");
  cl.AddSetting(&app, "daemon.log_level", "--log-level", "error, warning, info or debug");
  cl.AddSetting(&app, "daemon.hook_timeout", "--hook-timeout",
                "seconds the run-on-receive command may take (1 to 3600)");
  cl.AddSetting(&app, "outbox.retry_backoff", "--retry-backoff", "seconds before the first retry (0 to 3600)");
  cl.AddSetting(&app, "outbox.max_attempts", "--max-attempts", "refusals before a row fails (1 to 1000)");
  cl.AddSetting(&app, "outbox.resend_unknown", "--resend-unknown",
                "send again rows whose fate is unknown after a crash (true/false)");
  cl.AddSetting(&app, "outbox.report_expiry", "--report-expiry",
                "hours a sent part waits for its final report before it is expired (default 72)");
  app.add_flag("--once", cl.once, "one receive-and-send pass, then exit");
}

void DeclareStatusAndInject(CLI::App &app, CommandLine &cl) {
  cl.status = app.add_subcommand("status", "the phones table and the outbox counts");
  cl.inject = app.add_subcommand("inject", "add a message to the outbox");
  cl.inject->add_option("number", cl.number, "destination")->required();
  cl.inject->add_option("text", cl.text, "the message, UTF-8")->required();
  cl.inject->add_option("--class", cl.messageClass, "message class 0-3")->check(CLI::Range(0, 3));
  cl.inject->add_option("--priority", cl.priority, "higher goes first");
  cl.inject->add_flag("--status-report", cl.statusReport, "ask for a status report");
}

void DeclareServe(CLI::App &app, CommandLine &cl) {
  cl.serve = app.add_subcommand("serve", "the HTTP API, webhooks and dashboard (needs no phone)");
  cl.AddSetting(cl.serve, "http.listen", "--listen",
                "host:port to listen on (default 127.0.0.1:8080; port 0: any free one)");
  cl.AddSetting(cl.serve, "http.tls_cert", "--tls-cert", "PEM certificate: serve HTTPS (with --tls-key)");
  cl.AddSetting(cl.serve, "http.tls_key", "--tls-key", "PEM private key of --tls-cert");
  cl.AddSetting(cl.serve, "http.dashboard_dir", "--dashboard-dir",
                "the dashboard's files (default: the installed ones)");
  cl.AddSetting(cl.serve, "http.threads", "--threads", "requests served at once (1 to 256, default 8)");
  cl.AddSetting(cl.serve, "http.webhook_timeout", "--webhook-timeout",
                "seconds a webhook receiver may take (1 to 300, default 10)");
  cl.AddSetting(cl.serve, "http.webhook_retry_hours", "--webhook-retry-hours",
                "hours an event is retried before it is failed (default 24)");
  // For the test that holds docs/openapi.json to the routes: not for operators.
  cl.serve->add_flag("--list-routes", cl.listRoutes, "print the routes and exit")->group("");
}

void DeclareTokensAndUsers(CLI::App &app, CommandLine &cl) {
  cl.token = app.add_subcommand("token", "API tokens for the HTTP API");
  cl.token->require_subcommand(1);
  cl.tokenCreate = cl.token->add_subcommand("create", "create a token; it is printed once");
  cl.tokenCreate->add_option("name", cl.tokenName, "what the token is for")->required();
  cl.tokenList = cl.token->add_subcommand("list", "the tokens, revoked ones too");
  cl.tokenRevoke = cl.token->add_subcommand("revoke", "revoke a token");
  cl.tokenRevoke->add_option("name", cl.tokenName, "the token's name or id")->required();

  cl.user = app.add_subcommand("user", "dashboard users");
  cl.user->require_subcommand(1);
  cl.userAdd = cl.user->add_subcommand("add", "add a user, or set a user's password");
  cl.userAdd->add_option("name", cl.userName, "the user's name")->required();
  cl.userAdd->add_option("--password-from", cl.passwordSource,
                         "a file whose first line is the password (default -: standard input)");
  cl.userRemove = cl.user->add_subcommand("remove", "remove a user");
  cl.userRemove->add_option("name", cl.userName, "the user's name")->required();
}

void DeclareWebhooks(CLI::App &app, CommandLine &cl) {
  cl.webhook = app.add_subcommand("webhook", "webhooks: events POSTed to your URL, signed");
  cl.webhook->require_subcommand(1);
  cl.webhookAdd = cl.webhook->add_subcommand("add", "add a webhook; its secret is printed");
  cl.webhookAdd->add_option("url", cl.hookUrl, "where the events are POSTed (http or https)")->required();
  cl.webhookAdd
      ->add_option("--events", cl.hookEvents,
                   "comma list of message.received, message.sent, message.failed, message.delivered, "
                   "message.delivery_failed")
      ->required();
  cl.webhookAdd->add_option("--secret", cl.hookSecret, "the signing secret, 16 to 200 characters (default: generated)");
  cl.webhookList = cl.webhook->add_subcommand("list", "the webhooks in force, with their backlog");
  cl.webhookRemove = cl.webhook->add_subcommand("remove", "remove a webhook; what waits for it is not sent");
  cl.webhookRemove->add_option("id", cl.hookId, "the webhook's id")->required();
}

// The configuration file, then the flags over it, checked. False after saying why.
bool LoadSettings(const CommandLine &cl, smsd::Config &config) {
  std::string error;
  if (!cl.configPath.empty() || ::access(kDefaultConfig, F_OK) == 0) {
    if (!smsd::LoadConfigFile(cl.configPath.empty() ? kDefaultConfig : cl.configPath, config, error)) {
      std::cerr << "pelkor-smsd: " << smsd::EscapeControls(error) << '\n';
      return false;
    }
  }
  // Flags given on the command line win over the file.
  for (const Flag &f : cl.flags)
    if (*f.option && !smsd::ApplySetting(config, f.key, f.text, error)) {
      std::cerr << "pelkor-smsd: " << f.option->get_name() << ": " << smsd::EscapeControls(smsd::RedactSecrets(error))
                << '\n';
      return false;
    }
  if (!smsd::SetLogLevel(config.logLevel)) {
    std::cerr << "pelkor-smsd: unknown log level " << smsd::EscapeControls(config.logLevel) << '\n';
    return false;
  }
  if (!smsd::CheckConfig(config, error)) {
    std::cerr << "pelkor-smsd: " << smsd::EscapeControls(error) << '\n';
    return false;
  }
  return true;
}

// The URL the store connects with: the configured one, with the password file's
// password added. The passwords are kept out of every log line and error text, whatever
// form an error gives them. False after saying why.
bool ConnectUrl(const smsd::Config &config, std::string &connectUrl) {
  smsd::AddSecretsOf(config.database);
  connectUrl = config.database;
  if (config.passwordFile.empty()) return true;
  std::string password, error;
  if (smsd::RedactSecrets(config.database) != config.database) {
    std::cerr << "pelkor-smsd: the database url has a password and password_file is set: give one of them\n";
    return false;
  }
  if (!smsd::ReadPasswordFile(config.passwordFile, password, error)) {
    std::cerr << "pelkor-smsd: " << smsd::EscapeControls(error) << '\n';
    return false;
  }
  smsd::AddSecret(password);
  connectUrl +=
      (connectUrl.find('?') == std::string::npos ? "?password=" : "&password=") + smsd::PercentEncoded(password);
  return true;
}

// The subcommands that change the store and exit; -1 when none was given.
int RunStoreCommand(const CommandLine &cl, smsd::Store &store) {
  if (*cl.inject) {
    const int64_t id = store.Inject(cl.number, cl.text, cl.messageClass, cl.statusReport, cl.priority);
    std::printf("%lld\n", static_cast<long long>(id));
    return 0;
  }
  if (*cl.tokenCreate) return smsd::CreateTokenCommand(store, cl.tokenName);
  if (*cl.tokenList) return smsd::ListTokensCommand(store);
  if (*cl.tokenRevoke) return smsd::RevokeTokenCommand(store, cl.tokenName);
  if (*cl.userAdd) return smsd::AddUserCommand(store, cl.userName, cl.passwordSource);
  if (*cl.userRemove) return smsd::RemoveUserCommand(store, cl.userName);
  if (*cl.webhookAdd) return smsd::AddWebhookCommand(store, cl.hookUrl, cl.hookEvents, cl.hookSecret);
  if (*cl.webhookList) return smsd::ListWebhooksCommand(store);
  if (*cl.webhookRemove) return smsd::RemoveWebhookCommand(store, cl.hookId);
  return -1;
}

void InstallStopSignals() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
}

int Run(const CommandLine &cl, const smsd::Config &config, const std::string &connectUrl) {
  if (*cl.status) return Status(*OpenMigrated(connectUrl, smsd::Access::kRead), config.pollInterval);
  const bool command = *cl.inject || *cl.token || *cl.user || *cl.webhook;
  auto store = OpenMigrated(connectUrl, command ? smsd::Access::kCommand : smsd::Access::kDaemon);
  const int commandStatus = RunStoreCommand(cl, *store);
  if (commandStatus >= 0) return commandStatus;
  InstallStopSignals();
  if (*cl.serve) {
    store.reset();
    return smsd::RunServe(config, connectUrl, cl.listRoutes);
  }
  smsd::Log(smsd::Level::kInfo, "phone " + smsd::EffectivePhoneId(config) + " on " + config.port + ", database " +
                                    smsd::RedactSecrets(config.database) + (cl.once ? ", one pass" : ""));
  smsd::Daemon daemon(config, *store);
  return daemon.Run(cl.once);
}

}  // namespace

int main(int argc, char **argv) {
  CLI::App app{"pelkor-smsd - SMS gateway daemon: a phone's messages into a database, its outbox out"};
  app.require_subcommand(0, 1);
  CommandLine cl;
  DeclareDaemonOptions(app, cl);
  DeclareStatusAndInject(app, cl);
  DeclareServe(app, cl);
  DeclareTokensAndUsers(app, cl);
  DeclareWebhooks(app, cl);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError &e) {
    // --help and --version exit 0; a bad flag is a bad configuration.
    return app.exit(e) == 0 ? 0 : 2;
  }

  smsd::Config config;
  if (!LoadSettings(cl, config)) return 2;
  std::string connectUrl;
  if (!ConnectUrl(config, connectUrl)) return 2;
  if (*cl.inject) {
    // What no phone could send is refused here, before anything is queued.
    const std::string fault = smsd::OutboxFault(cl.number, cl.text);
    if (!fault.empty()) {
      std::cerr << "pelkor-smsd: inject: " << fault << '\n';
      return 2;
    }
  }
  try {
    return Run(cl, config, connectUrl);
  } catch (const smsd::StoreError &e) {
    smsd::Log(smsd::Level::kError, e.what());
    return 1;
  }
}
