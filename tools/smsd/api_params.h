// What the API's routes read from a query string or a path the same way: list limits,
// opaque cursors, ids in paths, phone numbers and times.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "gateway.h"

namespace smsd {

class Sql;

// The ?limit= parameter: `fallback` when it is absent, else a
// number from 1 to `most`. Nothing, with a 400 problem sent, for anything else.
std::optional<int64_t> LimitParam(Call &call, int64_t fallback, int64_t most);
// The query parameter `name` as a whole number of at least 0, or `fallback` when it is
// absent. Nothing, with a 400 problem sent, for anything else.
std::optional<int64_t> CountParam(Call &call, const char *name, int64_t fallback);

// A list's position, handed to the client as an opaque string: the kind of list it
// belongs to and a number (the last id seen, or an offset).
std::string EncodeCursor(const std::string &kind, int64_t position);
// The ?cursor= parameter of a list of `kind`: 0 when it is absent. Nothing, with a 400
// problem sent, for a cursor that is not one of this list.
std::optional<int64_t> CursorParam(Call &call, const std::string &kind);

// The path's id (the regular expression's first group) as a positive number; nothing
// when it is out of range (the route answers 404: no row has it).
std::optional<int64_t> PathId(const Call &call);

// A phone number as the outbox takes it ("+" and up to 20 digits); the fault when it
// is not one.
std::string NumberFault(const std::string &number);

// An ISO 8601 UTC time ("2026-12-10T13:47:25Z", seconds fractions and "+00:00" taken)
// as "YYYY-MM-DD hh:mm:ss"; nothing when it is not one.
std::optional<std::string> ParseUtcTime(const std::string &text);
// A "YYYY-MM-DD hh:mm:ss" UTC time as a parameter for a time column of the older
// tables (SQLite keeps such text, PostgreSQL a TIMESTAMPTZ).
std::string TimeParam(const Sql &sql, const std::string &utc);

}  // namespace smsd
