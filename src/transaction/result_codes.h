#pragma once
// The library's result codes under one name each, with the values the public header
// gives them (PELKOR_*). Codes the host never sees are marked internal.
#include <pelkor16.h>

#include <cstdint>

namespace pelkor {

enum ResultCode : int32_t {
  kResultOk = PELKOR_OK,
  kResultNotFound = PELKOR_NOT_FOUND,
  kResultHandedToSend = PELKOR_HANDED_TO_SEND,
  kResultTimeout = PELKOR_ERR_TIMEOUT,
  kResultIdentityUnknown = PELKOR_ERR_IDENTITY_UNKNOWN,
  kResultMemoryStatus = PELKOR_ERR_MEMORY_STATUS,
  kResultSmsInvalidLocation = PELKOR_ERR_SMS_READ,
  kResultEntryRead = PELKOR_ERR_PHONEBOOK_READ,
  kResultSpeedDial = PELKOR_ERR_SPEED_DIAL,
  kResultSettingRefused = PELKOR_ERR_SETTING_REFUSED,
  kResultSmsReadError = PELKOR_ERR_SMS_READ_OTHER,  // empty location, or a reply that cannot be read
  kResultEntryWrite = PELKOR_ERR_PHONEBOOK_WRITE,
  kResultSmsRefused = PELKOR_ERR_SMS_SEND,
  kResultTextTooLong = PELKOR_ERR_TEXT_TOO_LONG,
  kResultRefused = PELKOR_ERR_REFUSED,
  kResultNoCall = PELKOR_ERR_NO_CALL,
  kResultLogoError = PELKOR_ERR_LOGO,
  kResultSmsListFull = 25,  // internal: the library's SMS list has no room for another entry
  // Internal status-cell values, never a command's result. kPending: the request waits
  // for its reply (a wait that runs out ends with kResultTimeout); kSmsSent: the phone
  // confirmed a send.
  kPending = 23,
  kSmsSent = 18,
};

// What getsms returns for a read that failed with `result`.
enum GetSmsResult : int32_t {
  kGetSmsInvalidLocation = PELKOR_GETSMS_INVALID_LOCATION,
  kGetSmsEmpty = PELKOR_GETSMS_EMPTY,
  kGetSmsFailed = PELKOR_GETSMS_FAILED,
};

}  // namespace pelkor
