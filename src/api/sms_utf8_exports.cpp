// Exported UTF-8 extensions of the SMS and phonebook families. They sit beside the
// 8-bit functions, which keep their behaviour; every one catches what the C++ inside
// may throw (only allocation can) and reports it as a refusal.
#include <pelkor16.h>

#include <cstring>
#include <string>

#include "phonebook/phonebook_entries.h"
#include "sms/sms_save.h"
#include "sms/sms_store.h"
#include "sms/sms_utf8.h"
#include "sms/utf8_text.h"
#include "transaction/result_codes.h"

namespace {

constexpr int32_t kNameField = 41;  // 40 characters and the terminating zero

void Clear(char *buffer, int32_t size) {
  if (buffer != nullptr && size > 0) std::memset(buffer, 0, static_cast<size_t>(size));
}

void CopyOut(char *buffer, int32_t size, const std::string &text) {
  if (buffer != nullptr && size > 0) pelkor::CopyUtf8(buffer, static_cast<size_t>(size), text);
}

template <typename Body>
int32_t Guarded(Body body) {
  try {
    return body();
  } catch (...) {
    return pelkor::kResultRefused;
  }
}

}  // namespace

extern "C" {

PELKOR_API int32_t PELKOR_CALL pelkor_sendsms_utf8(const char *destination, const char *text, int32_t centre_index,
                                                   int32_t options, int32_t *parts_sent) {
  if (parts_sent != nullptr) *parts_sent = 0;
  return Guarded(
      [&]() -> int32_t { return pelkor::SendUtf8Message(destination, text, centre_index, options, parts_sent); });
}

PELKOR_API int32_t PELKOR_CALL pelkor_sendsmspart_utf8(const char *destination, const char *text, int32_t centre_index,
                                                       int32_t options, int32_t reference, int32_t part) {
  return Guarded(
      [&]() -> int32_t { return pelkor::SendUtf8Part(destination, text, centre_index, options, reference, part); });
}

PELKOR_API int32_t PELKOR_CALL pelkor_smsparts_utf8(const char *text, int32_t *parts, int32_t *ucs2) {
  if (parts != nullptr) *parts = 0;
  if (ucs2 != nullptr) *ucs2 = 0;
  return Guarded([&]() -> int32_t { return pelkor::PlanUtf8Message(text, parts, ucs2); });
}

PELKOR_API int32_t PELKOR_CALL pelkor_getsmsmsgtext_utf8(int32_t kind_code, int32_t n, char *buffer, int32_t size) {
  Clear(buffer, size);
  return Guarded([&]() -> int32_t {
    const pelkor::SmsRecord *entry = pelkor::FindEntry(kind_code, n);
    if (entry == nullptr) return pelkor::kResultNotFound;
    CopyOut(buffer, size, pelkor::RecordTextUtf8(*entry));
    return pelkor::kResultOk;
  });
}

PELKOR_API int32_t PELKOR_CALL pelkor_getsmsmsgsender_utf8(int32_t kind_code, int32_t n, char *buffer, int32_t size) {
  Clear(buffer, size);
  return Guarded([&]() -> int32_t {
    const pelkor::SmsRecord *entry = pelkor::FindEntry(kind_code, n);
    if (entry == nullptr) return pelkor::kResultNotFound;
    CopyOut(buffer, size, pelkor::RecordSenderUtf8(*entry));
    return pelkor::kResultOk;
  });
}

PELKOR_API int32_t PELKOR_CALL pelkor_getsmsmsglocation(int32_t kind_code, int32_t n) {
  const pelkor::SmsRecord *entry = pelkor::FindEntry(kind_code, n);
  return entry != nullptr ? entry->location : pelkor::kResultNotFound;
}

PELKOR_API int32_t PELKOR_CALL pelkor_getsms_utf8(int32_t location, char *number, int32_t number_size, char *text,
                                                  int32_t text_size) {
  Clear(number, number_size);
  Clear(text, text_size);
  return Guarded([&]() -> int32_t {
    pelkor::SmsRecord scratch;
    scratch.location = location;
    switch (pelkor::ReadSms(scratch)) {
      case 0:
        break;
      case pelkor::kResultSmsInvalidLocation:
        return pelkor::kGetSmsInvalidLocation;
      case pelkor::kResultSmsReadError:
        return pelkor::kGetSmsEmpty;
      default:
        return pelkor::kGetSmsFailed;
    }
    CopyOut(number, number_size, pelkor::RecordSenderUtf8(scratch));
    CopyOut(text, text_size, pelkor::RecordTextUtf8(scratch));
    switch (scratch.kind) {
      case pelkor::kSmsKindStoredOutgoing:
        return pelkor::kKindCodeStoredOutgoing;
      case pelkor::kSmsKindStatusReport:
        return pelkor::kKindCodeStatusReport;
      default:
        return pelkor::kKindCodeReceived;
    }
  });
}

PELKOR_API int32_t PELKOR_CALL pelkor_savesms_utf8(int32_t location, int32_t kind_code, int32_t read,
                                                   const char *number, const char *text, const int32_t *time) {
  return Guarded([&]() -> int32_t {
    pelkor::StoredSms message;
    message.location = location;
    message.kindCode = kind_code;
    message.read = read != 0;
    message.number = number != nullptr ? number : "";
    message.text = text != nullptr ? text : "";
    if (time != nullptr)
      for (size_t i = 0; i < 6; ++i) message.time[i] = time[i];
    return pelkor::SaveSms(message);
  });
}

PELKOR_API int32_t PELKOR_CALL pelkor_getphonebookentry_utf8(int32_t location, int32_t memory_type, char *name,
                                                             int32_t name_length, char *number, int32_t number_length,
                                                             int32_t *group) {
  Clear(name, name_length);
  Clear(number, number_length);
  if (group != nullptr) *group = 0;
  return Guarded([&]() -> int32_t {
    char rawName[kNameField] = {};
    char rawNumber[kNameField] = {};
    const int32_t result =
        pelkor::GetPhonebookEntry(location, memory_type, rawName, kNameField, rawNumber, kNameField, group);
    if (result != pelkor::kResultOk) return result;
    // The phone keeps names in Latin-1.
    CopyOut(name, name_length, pelkor::DecodeLatin1(reinterpret_cast<const uint8_t *>(rawName), std::strlen(rawName)));
    CopyOut(number, number_length,
            pelkor::DecodeLatin1(reinterpret_cast<const uint8_t *>(rawNumber), std::strlen(rawNumber)));
    return pelkor::kResultOk;
  });
}

PELKOR_API int32_t PELKOR_CALL pelkor_setphonebookentry_utf8(int32_t location, int32_t memory_type, const char *name,
                                                             const char *number, int32_t group) {
  return Guarded([&]() -> int32_t {
    std::string latinName, latinNumber;
    if (!pelkor::EncodeLatin1(name != nullptr ? name : "", latinName) ||
        !pelkor::EncodeLatin1(number != nullptr ? number : "", latinNumber))
      return pelkor::kResultRefused;  // not UTF-8, or a character the phone cannot store
    return pelkor::SetPhonebookEntry(location, memory_type, latinName.c_str(), latinNumber.c_str(), group);
  });
}

}  // extern "C"
