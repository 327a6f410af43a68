// The identity record the phone sends when the cable link starts: IMEI, model, product
// code, hardware and software version at fixed offsets, each zero-terminated.
#include <algorithm>
#include <string>

#include "dispatch.h"

namespace phonesim {

namespace {

constexpr size_t kImeiOffset = 9;
constexpr size_t kModelOffset = 25;
constexpr size_t kProductCodeOffset = 31;
constexpr size_t kHardwareOffset = 39;
constexpr size_t kSoftwareOffset = 44;
constexpr size_t kSoftwareRoom = 40;  // the last field is open-ended; keep it phone-sized

// Writes `text` at `offset`, cut so that its terminating zero stays before `limit`.
void PutText(std::vector<uint8_t> &record, size_t offset, const std::string &text, size_t limit) {
  const size_t room = limit - offset - 1;
  const size_t length = std::min(text.size(), room);
  if (record.size() < offset + length + 1) record.resize(offset + length + 1, 0x00);
  std::copy_n(text.begin(), length, record.begin() + static_cast<std::ptrdiff_t>(offset));
}

constexpr const char *kImei = "/identity/imei";
constexpr const char *kModel = "/identity/model";
constexpr const char *kProductCode = "/identity/product_code";
constexpr const char *kHardware = "/identity/hardware";
constexpr const char *kSoftware = "/identity/software";

// 00 01 00 10 on the cable link: answered with command 0x11, the identity record.
void HandleIdentity(const Request &, PhoneState &state, Replies &replies) {
  std::vector<uint8_t> record = {0x01, 0x00, 0x00, 0x11, 0x00, 0x01, 0x00, 0x00, 0x00};
  PutText(record, kImeiOffset, state.Text(kImei, ""), kModelOffset);
  PutText(record, kModelOffset, state.Text(kModel, ""), kProductCodeOffset);
  PutText(record, kProductCodeOffset, state.Text(kProductCode, ""), kHardwareOffset);
  PutText(record, kHardwareOffset, state.Text(kHardware, ""), kSoftwareOffset);
  PutText(record, kSoftwareOffset, state.Text(kSoftware, ""), kSoftwareOffset + kSoftwareRoom);
  replies.Send(0x64, std::move(record));
}

}  // namespace

void RegisterIdentityHandlers(HandlerTable &table) {
  table.AddDefaults(
      {{"identity", {{"imei", "490154203237518"}, {"model", "NSE-3"}, {"hardware", "0520"}, {"software", "V 5.24"}}}});
  table.On(0x64, 0x10, HandleIdentity);
}

}  // namespace phonesim
