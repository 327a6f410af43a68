#pragma once
// The phone's stored messages as the tool shows them: one location number for every
// command, the same kind names everywhere, four-digit years and UTF-8 text.
#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace pelkor_tool {

// True for well-formed UTF-8.
bool IsUtf8(const std::string &text);

// Kind names and the library's kind codes: inbox 13, sent 11, report 12.
const char *KindName(int32_t kindCode);
// -1 for a name that is not a kind; "reports" is taken for "report".
int32_t KindCodeOf(const std::string &name);

// "YYYY-MM-DD hh:mm:ss" from the phone's two-digit year (90-99 are 1990s).
std::string StampText(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute, int32_t second);

// A message's state as a word: "read" or "unread" for received messages and reports,
// "sent" or "unsent" for outgoing ones.
const char *StateName(int32_t kindCode, bool readOrSent);

// A status report's status byte (TP-ST) in a word: "delivered" (0x00-0x1F), "pending"
// (0x20-0x3F: the centre is still trying) or "failed" (0x40 and up).
const char *ReportStatusWord(int32_t status);

// What a status report says of the message it reports on.
struct ReportDetails {
  int32_t reference = -1;             // the message reference the phone gave the submission
  int32_t status = 0;                 // the status byte
  std::string submitted, discharged;  // "YYYY-MM-DD hh:mm:ss", empty when not given
};

struct StoredMessage {
  int32_t location = 0;
  int32_t kindCode = 13;
  int32_t n = 0;  // ordinal among the list entries of its kind
  std::string from, time, text;
  std::string to;        // the recipient of a stored outgoing message, or of the message a report is on
  ReportDetails report;  // status reports only
  bool read = true;      // read (inbox) or sent (outgoing)
  // The message object of the tool's JSON: location, kind, from or to, time (null when
  // the phone keeps none), state and text; a report adds reference, status (a word),
  // status_code, submitted and discharged.
  nlohmann::json ToJson() const;
};

// The recipient of a stored outgoing message from the bytes the phone gave for it (the
// library reads none for outgoing messages): "+" and digits, or an alphanumeric name;
// empty when the bytes hold none.
std::string RecipientFromPdu(const uint8_t *pdu, size_t size);

// The n-th entry (1 the first) of a kind in the library's list.
StoredMessage ListedMessage(int32_t kindCode, int32_t n);

// Every message of the library's list whose kind is in kindCodes (all kinds when
// empty), ordered by location. The list must have been read (updatesmslist).
std::vector<StoredMessage> ListedMessages(const std::vector<int32_t> &kindCodes = {});

// The list entry at a phone location, or null.
const StoredMessage *AtLocation(const std::vector<StoredMessage> &messages, int32_t location);

}  // namespace pelkor_tool
