// pelkor-smsd: an SMS gateway daemon for one phone. Received messages go into the
// database's inbox; what an application puts into its outbox is sent.
#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>

#include <CLI/CLI.hpp>

#include "config.h"
#include "daemon.h"
#include "log.h"
#include "store.h"

namespace {

constexpr const char *kDefaultConfig = "/etc/pelkor-smsd.conf";

void OnStopSignal(int) { smsd::stopRequested.store(true); }

// Opens the database and brings its schema up to date (for `status`: reads it as it is).
std::unique_ptr<smsd::Store> OpenMigrated(const std::string &url, smsd::Access access = smsd::Access::daemon) {
  auto store = smsd::OpenStore(url, access);
  store->Migrate();
  return store;
}

// A level as `pelkor status` shows it: the library's hundredths of the phone's four steps.
std::string Percent(int level) { return level < 0 ? "-" : std::to_string(level / 4) + "%"; }

int Status(smsd::Store &store) {
  const auto phones = store.Phones();
  std::printf("%-16s %-16s %-8s %6s %7s  %s\n", "phone", "imei", "model", "signal", "battery", "last seen (UTC)");
  for (const auto &p : phones)
    std::printf("%-16s %-16s %-8s %6s %7s  %s\n", p.id.c_str(), p.imei.c_str(), p.model.c_str(),
                Percent(p.signal).c_str(), Percent(p.battery).c_str(), p.lastSeen.c_str());
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
  smsd::Config flags;
  app.add_option("-c,--config", configPath,
                 "configuration file (default " + std::string(kDefaultConfig) + " if present)");
  auto *port = app.add_option("-p,--port", flags.port, "the phone's serial port");
  auto *connection = app.add_option("--connection", flags.connection, "cable or infrared")
                         ->check(CLI::IsMember({"cable", "infrared"}));
  auto *phoneId =
      app.add_option("--phone-id", flags.phoneId, "this phone's id in the database (default: the port's name)");
  auto *database = app.add_option("-d,--database", flags.database, "sqlite:///path or postgresql://...");
  auto *poll =
      app.add_option("--poll-interval", flags.pollInterval, "seconds between passes")->check(CLI::PositiveNumber);
  auto *deleteReceived = app.add_option("--delete-received", flags.deleteReceived,
                                        "delete received messages from the phone once stored (true/false)");
  auto *hook = app.add_option("--run-on-receive", flags.runOnReceive, "shell command run for each new inbox row");
  auto *level = app.add_option("--log-level", flags.logLevel, "error, warning, info or debug")
                    ->check(CLI::IsMember({"error", "warning", "info", "debug"}));
  auto *backoff = app.add_option("--retry-backoff", flags.retryBackoff, "seconds before the first retry")
                      ->check(CLI::NonNegativeNumber);
  auto *attempts =
      app.add_option("--max-attempts", flags.maxAttempts, "refusals before a row fails")->check(CLI::PositiveNumber);
  auto *resend = app.add_option("--resend-unknown", flags.resendUnknown,
                                "send again rows whose fate is unknown after a crash (true/false)");
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
  CLI11_PARSE(app, argc, argv);

  smsd::Config config;
  std::string error;
  if (!configPath.empty() || ::access(kDefaultConfig, F_OK) == 0) {
    if (!smsd::LoadConfigFile(configPath.empty() ? kDefaultConfig : configPath, config, error)) {
      std::cerr << "pelkor-smsd: " << error << '\n';
      return 2;
    }
  }
  // Flags given on the command line win over the file.
  if (*port) config.port = flags.port;
  if (*connection) config.connection = flags.connection;
  if (*phoneId) config.phoneId = flags.phoneId;
  if (*database) config.database = flags.database;
  if (*poll) config.pollInterval = flags.pollInterval;
  if (*deleteReceived) config.deleteReceived = flags.deleteReceived;
  if (*hook) config.runOnReceive = flags.runOnReceive;
  if (*level) config.logLevel = flags.logLevel;
  if (*backoff) config.retryBackoff = flags.retryBackoff;
  if (*attempts) config.maxAttempts = flags.maxAttempts;
  if (*resend) config.resendUnknown = flags.resendUnknown;
  if (!smsd::SetLogLevel(config.logLevel)) {
    std::cerr << "pelkor-smsd: unknown log level " << config.logLevel << '\n';
    return 2;
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
    if (*status) return Status(*OpenMigrated(config.database, smsd::Access::read));
    auto store = OpenMigrated(config.database, *inject ? smsd::Access::command : smsd::Access::daemon);
    if (*inject) {
      const int64_t id = store->Inject(number, text, messageClass, statusReport, priority);
      std::printf("%lld\n", static_cast<long long>(id));
      return 0;
    }
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    smsd::Log(smsd::Level::info, "phone " + smsd::EffectivePhoneId(config) + " on " + config.port + ", database " +
                                     config.database + (once ? ", one pass" : ""));
    smsd::Daemon daemon(config, *store);
    return daemon.Run(once);
  } catch (const smsd::StoreError &e) {
    smsd::Log(smsd::Level::error, e.what());
    return 1;
  }
}
