#include "store.h"

#include <cstdio>

namespace smsd {

std::string TextHash(const std::string &text) {
  uint64_t hash = 0xcbf29ce484222325ULL;
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 0x100000001b3ULL;
  }
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
  return hex;
}

void OutboxCounts::Add(const std::string &status, int64_t n) {
  if (status == "queued") queued = n;
  if (status == "sending") sending = n;
  if (status == "sent") sent = n;
  if (status == "failed") failed = n;
  if (status == "unknown") unknown = n;
}

void RunMigrations(const std::vector<std::string> &migrations, const std::function<void(const std::string &)> &run,
                   const std::function<int()> &readVersion, const std::function<void(int)> &setVersion) {
  run("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)");
  int version = readVersion();
  if (version < 0) {
    run("INSERT INTO schema_version (version) VALUES (0)");
    version = 0;
  }
  if (version > static_cast<int>(migrations.size()))
    throw StoreError("the database has schema version " + std::to_string(version) + ", newer than this daemon's " +
                     std::to_string(migrations.size()));
  for (size_t v = static_cast<size_t>(version); v < migrations.size(); ++v) {
    run(migrations[v]);
    setVersion(static_cast<int>(v + 1));
  }
}

std::unique_ptr<Store> OpenStore(const std::string &url) {
  auto starts = [&](const char *prefix) { return url.rfind(prefix, 0) == 0; };
  if (starts("postgresql://") || starts("postgres://")) return OpenPostgresStore(url);
  if (starts("sqlite://")) return OpenSqliteStore(url.substr(9));
  if (url.find("://") != std::string::npos)
    throw StoreError("unknown database URL (sqlite:// or postgresql://): " + url);
  return OpenSqliteStore(url);
}

}  // namespace smsd
