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

std::unique_ptr<Store> OpenStore(const std::string &url) {
  auto starts = [&](const char *prefix) { return url.rfind(prefix, 0) == 0; };
  if (starts("postgresql://") || starts("postgres://")) return OpenPostgresStore(url);
  if (starts("sqlite://")) return OpenSqliteStore(url.substr(9));
  if (url.find("://") != std::string::npos)
    throw StoreError("unknown database URL (sqlite:// or postgresql://): " + url);
  return OpenSqliteStore(url);
}

}  // namespace smsd
