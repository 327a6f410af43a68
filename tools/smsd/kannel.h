// Kannel's HTTP sending interface (/cgi-bin/sendsms), so that an application written for
// it sends through this gateway unchanged: the same parameters, the same plain-text
// answers. The route itself is AddKannelRoutes (gateway.h).
#pragma once

#include <map>
#include <optional>
#include <string>

namespace smsd {

// The text of `bytes` in `charset` (UTF-8, the default when empty; ISO-8859-1 or
// latin1; UTF-16BE) as UTF-8; nothing for another charset or bytes that are not text in
// it.
std::optional<std::string> TextAsUtf8(const std::string &bytes, const std::string &charset);

// An application/x-www-form-urlencoded body as its fields ('+' a space, %XX a byte); the
// first of a name given twice wins.
std::map<std::string, std::string> ParseForm(const std::string &body);

}  // namespace smsd
