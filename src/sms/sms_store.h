#pragma once
// The phone's stored messages: reading and deleting single locations, the library's
// list of what was read (queried by kind and ordinal), the phone's unread and total
// counts, and the notices of newly arrived messages.
#include <cstddef>
#include <cstdint>

#include "transaction/transaction.h"
#include "sms/sms_record.h"
#include "sms/sms_session.h"
#include "transaction/result_codes.h"

namespace pelkor {

// Kind codes of the exported functions.
constexpr int32_t kKindCodeStoredOutgoing = 11;
constexpr int32_t kKindCodeStatusReport = 12;
constexpr int32_t kKindCodeReceived = 13;  // also every code not listed

// Single transactions on the location in record.location (only its low byte is sent;
// a read of a location outside 1-255 is 8 without asking the phone).
int32_t ReadSms(SmsRecord &record);          // 0, 8 invalid, 14 empty or unreadable, 4
int32_t DeleteSms(const SmsRecord &record);  // 0 or 4

// The list.
int32_t AppendFromPhone(int32_t location);  // the read's result, or 25 when the list is full
int32_t UpdateSmsList();
// The n-th entry of the kind kindCode selects (1 the first; below 1 none), or null.
const SmsRecord *FindEntry(int32_t kindCode, int32_t n, int32_t *index = nullptr);
void RemoveEntry(int32_t index);
int32_t CountEntries(int32_t kindCode);
int32_t DeleteEntry(int32_t kindCode, int32_t n);  // 0, -1 no such entry, or the delete's result
void ClearSmsList();

// getsms: 11 stored outgoing, 12 status report, 13 received or other; 3 invalid
// location, 4 empty location, 5 anything else.
int32_t ReadLocation(int32_t location, char *number, int32_t numberSize, char *text, int32_t textSize);
// pelkor_getsms_utf8: the same read, with the sender and text as UTF-8 (cut between
// characters, the header left out).
int32_t ReadLocationUtf8(int32_t location, char *number, int32_t numberSize, char *text, int32_t textSize);

// Unread and total counts, asked from the phone at most once a minute while the last
// query succeeded. 0, 22 (refused) or 4; pair (unread, total) is zero on failure.
int32_t GetSmsCounts(int32_t *pair);

// Arrival notices: counted per session; the locations of the first eight unread
// notices are queued, and each call of TakeArrival reads the latest into the list.
void NoteSmsArrival(uint8_t location);
int32_t TakeArrival();  // returns the count of notices this session
void ResetArrivalCount();

// Status of the counts query and where its reply goes.

}  // namespace pelkor
