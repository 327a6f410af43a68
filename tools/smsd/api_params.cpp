#include "api_params.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sql.h"
#include "store.h"

namespace smsd {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

// A whole number of 1 to 18 digits and nothing else; nothing otherwise.
std::optional<int64_t> WholeNumber(const std::string &text) {
  if (text.empty() || text.size() > 18) return std::nullopt;
  for (char c : text)
    if (c < '0' || c > '9') return std::nullopt;
  return std::strtoll(text.c_str(), nullptr, 10);
}

std::string Base64Url(const std::string &bytes) {
  std::string out;
  uint32_t bits = 0;
  int held = 0;
  for (unsigned char c : bytes) {
    bits = (bits << 8) | c;
    held += 8;
    while (held >= 6) {
      held -= 6;
      out += kAlphabet[(bits >> held) & 0x3F];
    }
  }
  if (held > 0) out += kAlphabet[(bits << (6 - held)) & 0x3F];
  return out;
}

std::optional<std::string> FromBase64Url(const std::string &text) {
  std::string out;
  uint32_t bits = 0;
  int held = 0;
  for (char c : text) {
    const char *at = std::strchr(kAlphabet, c);
    if (c == '\0' || at == nullptr) return std::nullopt;
    bits = (bits << 6) | static_cast<uint32_t>(at - kAlphabet);
    held += 6;
    if (held >= 8) {
      held -= 8;
      out += static_cast<char>((bits >> held) & 0xFF);
    }
  }
  return out;
}

bool BadQuery(Call &call, const char *name, const std::string &why) {
  SendProblem(call.response, 400, "Bad Request", std::string(name) + " " + why, name);
  return false;
}

}  // namespace

std::optional<int64_t> LimitParam(Call &call, int64_t fallback, int64_t most) {
  if (!call.request.has_param("limit")) return fallback;
  const auto n = WholeNumber(call.request.get_param_value("limit"));
  if (!n || *n < 1 || *n > most) {
    BadQuery(call, "limit", "must be a whole number from 1 to " + std::to_string(most));
    return std::nullopt;
  }
  return n;
}

std::optional<int64_t> CountParam(Call &call, const char *name, int64_t fallback) {
  if (!call.request.has_param(name)) return fallback;
  const auto n = WholeNumber(call.request.get_param_value(name));
  if (!n) {
    BadQuery(call, name, "must be a whole number of 0 or more");
    return std::nullopt;
  }
  return n;
}

std::string EncodeCursor(const std::string &kind, int64_t position) {
  return Base64Url(kind + ":" + std::to_string(position));
}

std::optional<int64_t> CursorParam(Call &call, const std::string &kind) {
  if (!call.request.has_param("cursor")) return 0;
  const std::string text = call.request.get_param_value("cursor");
  const auto decoded = text.size() <= 64 ? FromBase64Url(text) : std::nullopt;
  if (decoded && decoded->rfind(kind + ":", 0) == 0)
    if (const auto n = WholeNumber(decoded->substr(kind.size() + 1))) return n;
  BadQuery(call, "cursor", "is not a cursor this list gave");
  return std::nullopt;
}

std::optional<int64_t> PathId(const Call &call) {
  if (call.request.matches.size() < 2) return std::nullopt;
  const auto n = WholeNumber(call.request.matches[1].str());
  if (!n || *n < 1) return std::nullopt;
  return n;
}

std::string NumberFault(const std::string &number) { return OutboxFault(number, ""); }

std::optional<std::string> ParseUtcTime(const std::string &text) {
  int year, month, day, hour, minute, second, used = 0;
  if (text.size() < 20 || text.size() > 40) return std::nullopt;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &year, &month, &day, &hour, &minute, &second, &used) !=
          6 ||
      used != 19)
    return std::nullopt;
  for (size_t i : {4u, 7u})
    if (text[i] != '-') return std::nullopt;
  for (size_t i = 0; i < 19; ++i)
    if (i != 4 && i != 7 && i != 10 && i != 13 && i != 16 && (text[i] < '0' || text[i] > '9')) return std::nullopt;
  std::string rest = text.substr(19);
  if (!rest.empty() && rest[0] == '.') {
    size_t digits = 1;
    while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') ++digits;
    if (digits == 1) return std::nullopt;
    rest = rest.substr(digits);
  }
  if (rest != "Z" && rest != "+00:00") return std::nullopt;
  static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (year < 1970 || month < 1 || month > 12 || day < 1 || day > kDays[month - 1] ||
      (month == 2 && day == 29 && !leap) || hour > 23 || minute > 59 || second > 59)
    return std::nullopt;
  char out[64];
  std::snprintf(out, sizeof out, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hour, minute, second);
  return std::string(out);
}

std::string TimeParam(const Sql &sql, const std::string &utc) { return sql.IsPostgres() ? utc + "+00" : utc; }

}  // namespace smsd
