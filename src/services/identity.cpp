#include "services/identity.h"

#include <cstdio>
#include <cstring>

#include "link/frame_sender.h"
#include "link/session.h"
#include "platform/sleep.h"
#include "services/service_requests.h"
#include "services/services_state.h"
#include "transaction/bounded_copy.h"
#include "transaction/transaction.h"
#include "link/request_writer.h"
#include "transaction/result_codes.h"

namespace pelkor {
namespace {

constexpr size_t kTextSize = kIdentityTextSize;
constexpr size_t kModelSize = kIdentityModelSize;
constexpr int32_t kTextPolls = 100;
constexpr int32_t kTextPollMs = 10;

IdentityTexts &Texts() { return Services().identity; }

constexpr uint8_t kImeiRequest[] = {0x00, 0x01, 0x66};
constexpr auto kVersionRequest = CommandRequest(0x03, 0x00);
constexpr uint8_t kHardwareRequest[] = {0x00, 0x01, 0xC8, 0x05};

void ComposeRevision(const char *software, const char *hardware) {
  char revision[kTextSize];
  std::snprintf(revision, sizeof revision, "SW%s, HW%s", software, hardware);
  Texts().revision.Set(revision);
}

template <size_t N>
void AskUntilKnown(const SharedText<N> &text, uint8_t type, const uint8_t *request, size_t length) {
  if (!text.Empty()) return;
  Send(length, type, request);
  AwaitCondition([&] { return !text.Empty(); }, kTextPolls, kTextPollMs);
}

// Sends each request whose text is still missing; fills fields, reports nothing.
void RunIdentityQuery() {
  Session().busy.store(true);
  SendPreparatoryRequestOnce();
  AskUntilKnown(Texts().imei, kTypeService, kImeiRequest, sizeof kImeiRequest);
  AskUntilKnown(Texts().softwareDate, kTypeVersion, kVersionRequest.data(), kVersionRequest.size());
  AskUntilKnown(Texts().hardware, kTypeService, kHardwareRequest, sizeof kHardwareRequest);
}

void RunRevisionQuery() {
  RunIdentityQuery();
  if (Texts().softwareVersion.Empty() || Texts().hardware.Empty()) return;
  char software[kTextSize], hardware[kTextSize];
  Texts().softwareVersion.CopyTo(software, sizeof software);
  Texts().hardware.CopyTo(hardware, sizeof hardware);
  ComposeRevision(software, hardware);
}

template <size_t N>
int32_t Answer(const SharedText<N> &text, char *buffer, int32_t size) {
  if (text.Empty()) return kResultIdentityUnknown;
  char copy[N];
  text.CopyTo(copy, sizeof copy);  // a snapshot taken under the text's lock
  CopyToCaller(buffer, size, copy);
  return kResultOk;
}

}  // namespace

int32_t GetIdentityText(IdentityField field, char *buffer, int32_t size) {
  if (!Session().sessionOpen.load()) return kResultNotFound;
  if (buffer != nullptr && size > 0) std::memset(buffer, 0, static_cast<size_t>(size));
  switch (field) {
    case IdentityField::kImei:
      if (Texts().imei.Empty()) RunIdentityQuery();
      return Answer(Texts().imei, buffer, size);
    case IdentityField::kRevision:
      if (Texts().revision.Empty()) RunRevisionQuery();
      return Answer(Texts().revision, buffer, size);
    case IdentityField::kModel:
      if (Texts().model.Empty()) RunIdentityQuery();
      return Answer(Texts().model, buffer, size);
    case IdentityField::kSoftwareDate:
      if (Texts().softwareDate.Empty()) RunIdentityQuery();
      return Answer(Texts().softwareDate, buffer, size);
  }
  return kResultIdentityUnknown;
}

void ResetIdentityTexts() {
  Texts().imei.Clear();
  Texts().revision.Clear();
  Texts().softwareDate.Clear();
  Texts().model.Clear();
}

namespace {

void HandleImeiReply(const ReplyMessage &reply) {
  if (reply.At(3) != 0x01) return;
  char text[kTextSize];
  reply.CopyText(4, text, sizeof text);
  Texts().imei.Set(text);
  NotifyReplyArrived();
}

void HandleHardwareReply(const ReplyMessage &reply) {
  if (reply.At(3) != 0x05) return;
  char text[kTextSize];
  reply.CopyText(5, text, sizeof text);
  Texts().hardware.Set(text);
  NotifyReplyArrived();
}

void HandleVersionReply(const ReplyMessage &reply) {
  if (reply.At(2) != 0x00 || reply.At(3) != 0x03) return;
  // Lines ended by a line feed: software version, software date, model. A line with
  // no line feed after it is incomplete and ends the parsing.
  size_t start = 6;
  for (int line = 0; line < 3; ++line) {
    size_t end = start;
    while (end < reply.length && reply.bytes[end] != 0x0A) ++end;
    if (end >= reply.length) break;
    char text[kTextSize] = {};
    const size_t capacity = line == 2 ? kModelSize : kTextSize;
    const size_t n = end - start < capacity - 1 ? end - start : capacity - 1;
    std::memcpy(text, reply.bytes + start, n);
    if (line == 0) Texts().softwareVersion.Set(text);
    if (line == 1) Texts().softwareDate.Set(text);
    if (line == 2) Texts().model.Set(text);
    start = end + 1;
  }
  NotifyReplyArrived();
}

void HandleStartupIdentity(const ReplyMessage &reply) {
  char imei[kTextSize], model[kModelSize], software[kTextSize], hardware[kTextSize];
  reply.CopyText(9, imei, sizeof imei);
  reply.CopyText(25, model, sizeof model);
  reply.CopyText(44, software, sizeof software);
  reply.CopyText(39, hardware, sizeof hardware);
  Texts().imei.Set(imei);
  Texts().model.Set(model);
  ComposeRevision(software, hardware);
  NotifyReplyArrived();
}

// Identity texts are kept whenever they come: they do not change while the phone is
// connected, and a late answer saves the next call from asking.
const ReplyRoute kRows[] = {
    // type, command byte at, command, handler, awaited by
    {0x40, 2, 0x66, HandleImeiReply, kUnsolicited},
    {0x40, 2, 0xC8, HandleHardwareReply, kUnsolicited},
    {0x64, 3, kAnyCommand, HandleStartupIdentity, kUnsolicited},
    {0xD2, 3, 0x03, HandleVersionReply, kUnsolicited},
};

}  // namespace

const ReplyRouteTable kIdentityReplies = RouteTable(kRows);

}  // namespace pelkor
