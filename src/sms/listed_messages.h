#pragma once
// The library's list of read messages as hosts query it: the n-th message of a kind
// (kind codes 11, 12, 13; n from 1), its texts, time, coding details and raw bytes.
// Every query of a message the list does not hold gives -1 and leaves the outputs as
// they would be for an empty message.
#include <cstdint>

namespace pelkor {

// getsmsmsgdata: field 1 the text, 2 the sender, 3 the destination (any other field
// copies nothing). The buffer is cleared first. 0 or -1.
int32_t GetListedField(int32_t kindCode, int32_t n, int32_t field, char *buffer, int32_t size);

// getsmsmsgdatetime: the time stamp (zeros for no message). 0 or -1.
int32_t GetListedTime(int32_t kindCode, int32_t n, int32_t *year, int32_t *month, int32_t *day, int32_t *hour,
                      int32_t *minute, int32_t *second);

// getsmssentread: 1 when the message is marked read (received) or sent (outgoing),
// else 0, also for no message.
int32_t ListedReadOrSent(int32_t kindCode, int32_t n);

// pelkor_getsmsmsglocation: the message's location in the phone's store, or -1.
int32_t ListedLocation(int32_t kindCode, int32_t n);

// pelkor_getsmsmsgtext_utf8 and pelkor_getsmsmsgsender_utf8: the text (header left
// out) and the sender as UTF-8, cut between characters. Buffer cleared first; 0 or -1.
int32_t GetListedTextUtf8(int32_t kindCode, int32_t n, char *buffer, int32_t size);
int32_t GetListedSenderUtf8(int32_t kindCode, int32_t n, char *buffer, int32_t size);

// pelkor_getsmsmsgdetails: coding scheme, class (-1 for none) and the concatenation
// reference, part and total (all 0 when the message is no part). 0 or -1.
int32_t GetListedDetails(int32_t kindCode, int32_t n, int32_t *codingScheme, int32_t *messageClass,
                         int32_t *concatReference, int32_t *concatPart, int32_t *concatTotal);

// pelkor_getsmsmsgpdu: the raw bytes of the read answer from the centre field on. The
// size they take, copied only when the buffer holds them all; -1 for no message.
int32_t GetListedPdu(int32_t kindCode, int32_t n, uint8_t *buffer, int32_t size);

// pelkor_getsmsreportdetails: the n-th listed status report's reference, recipient,
// submission and discharge times (six values each) and status. 0 or -1.
int32_t GetReportDetails(int32_t n, int32_t *reference, char *recipient, int32_t recipientSize, int32_t *submitted,
                         int32_t *discharged, int32_t *status);

}  // namespace pelkor
