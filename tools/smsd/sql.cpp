#include "sql.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>

namespace smsd {

int64_t SqlRow::Int(size_t column, int64_t fallback) const {
  if (IsNull(column)) return fallback;
  const std::string &text = *values[column];
  char *end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (end == text.c_str() || *end != '\0' || errno == ERANGE) return fallback;
  return value;
}

std::string Sql::EpochOf(const std::string &column) const {
  return IsPostgres() ? "CAST(EXTRACT(EPOCH FROM " + column + ") AS BIGINT)"
                      : "CAST(strftime('%s', " + column + ") AS INTEGER)";
}

std::string Sql::IsoTime(const std::string &column) const {
  return IsPostgres() ? "to_char(" + column + " AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS\"Z\"')"
                      : "strftime('%Y-%m-%dT%H:%M:%SZ', " + column + ")";
}

int64_t UnixNow() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

std::string FormatUtc(int64_t unixTime, const char *format) {
  const std::time_t t = static_cast<std::time_t>(unixTime);
  std::tm utc{};
  ::gmtime_r(&t, &utc);
  char text[64];
  return std::strftime(text, sizeof text, format, &utc) > 0 ? text : "";
}

}  // namespace smsd
