#include "phonebook/phonebook_payloads.h"
#include "link/request_writer.h"

#include <cstring>

namespace pelkor {
namespace {

constexpr uint8_t kMemoryStatusCommand = 0x07;
constexpr uint8_t kEntryReadCommand = 0x01;
constexpr uint8_t kEntryWriteCommand = 0x04;
constexpr uint8_t kSpeedDialReadCommand = 0x16;
constexpr uint8_t kSpeedDialWriteCommand = 0x19;
// The phone knows "no group" as 0xFF; hosts number it 5, after the five groups 0..4.
constexpr int32_t kHostNoGroup = 5;
constexpr uint8_t kPhoneNoGroup = 0xFF;

// A phonebook request: 00 01 00 command, then the command's bytes.
class RequestBuilder {
 public:
  explicit RequestBuilder(uint8_t command) : out_(request_.bytes, request_.length) { out_.Command(command); }
  void Put(uint8_t byte) { out_.Put(byte); }
  void PutLow(int32_t value) { out_.PutLow(value); }
  void PutText(const char *text) { out_.PutCountedText(text, std::strlen(text)); }
  PhonebookRequest Done() const { return request_; }

 private:
  PhonebookRequest request_;
  RequestWriter out_;
};

}  // namespace

bool FitsInOneByte(int32_t value) { return value >= 0 && value <= 0xFF; }

PhonebookRequest MemoryStatusRequest(uint8_t memoryCode) {
  RequestBuilder b(kMemoryStatusCommand);
  b.Put(memoryCode);
  return b.Done();
}

PhonebookRequest EntryReadRequest(uint8_t memoryCode, int32_t location) {
  RequestBuilder b(kEntryReadCommand);
  b.Put(memoryCode);
  b.PutLow(location);
  b.Put(0x00);
  return b.Done();
}

PhonebookRequest EntryWriteRequest(uint8_t memoryCode, const PhonebookEntry &entry) {
  // The entry's fields are terminated within their 40 characters, so each length
  // byte is at most 40 and the request always fits.
  PhonebookEntry fields = entry;
  fields.name[kPhonebookFieldChars] = '\0';
  fields.number[kPhonebookFieldChars] = '\0';
  RequestBuilder b(kEntryWriteCommand);
  b.Put(memoryCode);
  b.PutLow(entry.location);
  b.PutText(fields.name);
  b.PutText(fields.number);
  b.Put(entry.group == kHostNoGroup ? kPhoneNoGroup : static_cast<uint8_t>(entry.group & 0xFF));
  return b.Done();
}

PhonebookRequest SpeedDialReadRequest(int32_t key) {
  RequestBuilder b(kSpeedDialReadCommand);
  b.PutLow(key);
  return b.Done();
}

PhonebookRequest SpeedDialWriteRequest(int32_t key, uint8_t memoryCode, int32_t location) {
  RequestBuilder b(kSpeedDialWriteCommand);
  b.PutLow(key);
  b.Put(memoryCode);
  b.PutLow(location);
  return b.Done();
}

void SetPhonebookField(char (&field)[kPhonebookFieldChars + 1], const char *text) {
  std::memset(field, 0, sizeof field);
  if (text == nullptr) return;
  for (size_t i = 0; i < kPhonebookFieldChars && text[i] != '\0'; ++i) field[i] = text[i];
}

}  // namespace pelkor
