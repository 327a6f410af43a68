// One way to run a statement on either database, for the code above the store (the
// HTTP server, the webhooks, the events the store raises inside its own transactions).
// Statements are written once: parameters as $1, $2 ... (SQLite reads them as named
// parameters), values in and out as text, NULL as no value. New tables keep times as
// Unix seconds (BIGINT), so that no query needs a dialect's date functions. Values are
// bound as text and take the column's type; where no column gives one (LIMIT, OFFSET,
// arithmetic), write CAST($1 AS BIGINT).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace smsd {

using SqlValue = std::optional<std::string>;

struct SqlRow {
  std::vector<SqlValue> values;
  bool IsNull(size_t column) const { return column >= values.size() || !values[column]; }
  std::string Text(size_t column) const { return IsNull(column) ? std::string() : *values[column]; }
  // The column as a number; `fallback` for NULL or a value that is not one.
  int64_t Int(size_t column, int64_t fallback = 0) const;
};

using SqlRows = std::vector<SqlRow>;

// Parameters, built in order: Params().Add("x").Add(int64_t{5}).Null().
struct SqlParams {
  std::vector<SqlValue> values;
  SqlParams &Add(const std::string &text) {
    values.emplace_back(text);
    return *this;
  }
  SqlParams &Add(const char *text) { return Add(std::string(text)); }
  SqlParams &Add(int64_t value) { return Add(std::to_string(value)); }
  SqlParams &Add(int value) { return Add(static_cast<int64_t>(value)); }
  SqlParams &Add(const std::optional<std::string> &value) {
    values.push_back(value);
    return *this;
  }
  SqlParams &Null() {
    values.emplace_back(std::nullopt);
    return *this;
  }
};

class Sql {
 public:
  virtual ~Sql() = default;
  virtual bool IsPostgres() const = 0;
  // Runs one statement; the rows it returns (RETURNING included). Throws StoreError.
  virtual SqlRows Query(const std::string &sql, const SqlParams &params = {}) = 0;
  // Rows the last INSERT, UPDATE or DELETE changed.
  virtual int64_t Changes() = 0;
  // Runs `work` in one transaction (on SQLite with the write lock taken up front):
  // committed when it returns, rolled back when it throws. Inside a transaction already
  // (an event raised by the store), it runs in that one.
  virtual void InTransaction(const std::function<void()> &work) = 0;
  // A time column of the older tables (SQLite: "YYYY-MM-DD hh:mm:ss" text in UTC,
  // PostgreSQL: TIMESTAMPTZ) as Unix seconds, and as ISO 8601 text ("...T...Z").
  std::string EpochOf(const std::string &column) const;
  std::string IsoTime(const std::string &column) const;
};

// The current Unix time, in seconds.
int64_t UnixNow();
// A Unix time in UTC, by strftime's `format` (by default ISO 8601: "2026-12-10T13:47:25Z").
std::string FormatUtc(int64_t unixTime, const char *format = "%Y-%m-%dT%H:%M:%SZ");

}  // namespace smsd
