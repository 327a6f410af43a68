#include "phonebook/phonebook_utf8.h"

#include <cstring>
#include <string>

#include "phonebook/phonebook_entries.h"
#include "phonebook/phonebook_records.h"
#include "transaction/result_codes.h"
#include "text/utf8.h"
#include "transaction/bounded_copy.h"

namespace pelkor {
namespace {

constexpr int32_t kRawField = kPhonebookFieldChars + 1;  // 40 characters and the terminating zero

// The phone keeps names and numbers in Latin-1.
std::string Utf8OfField(const char *field) {
  return DecodeLatin1(reinterpret_cast<const uint8_t *>(field), std::strlen(field));
}

}  // namespace

int32_t GetPhonebookEntryUtf8(int32_t location, int32_t memoryType, char *name, int32_t nameLength, char *number,
                              int32_t numberLength, int32_t *group) {
  CopyToCaller(name, nameLength, "");
  CopyToCaller(number, numberLength, "");
  if (group != nullptr) *group = 0;
  char rawName[kRawField] = {};
  char rawNumber[kRawField] = {};
  const int32_t result = GetPhonebookEntry(location, memoryType, rawName, kRawField, rawNumber, kRawField, group);
  if (result != kResultOk) return result;
  CopyToCaller(name, nameLength, Utf8OfField(rawName), TextCut::kBetweenUtf8Characters);
  CopyToCaller(number, numberLength, Utf8OfField(rawNumber), TextCut::kBetweenUtf8Characters);
  return kResultOk;
}

int32_t SetPhonebookEntryUtf8(int32_t location, int32_t memoryType, const char *name, const char *number,
                              int32_t group) {
  std::string latinName, latinNumber;
  if (!EncodeLatin1(name != nullptr ? name : "", latinName) ||
      !EncodeLatin1(number != nullptr ? number : "", latinNumber))
    return kResultRefused;  // not UTF-8, or a character the phone cannot store
  return SetPhonebookEntry(location, memoryType, latinName.c_str(), latinNumber.c_str(), group);
}

}  // namespace pelkor
