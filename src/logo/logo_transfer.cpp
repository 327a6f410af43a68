#include "logo/logo_transfer.h"

#include <cstring>

#include "link/frame_sender.h"
#include "link/session.h"
#include "logo/logo_messages.h"
#include "platform/sleep.h"
#include "services/network.h"
#include "sms/sms_send.h"
#include "transaction/bounded_copy.h"

namespace pelkor {

namespace {

constexpr int32_t kUploadChecks = 500;
constexpr int32_t kDownloadChecks = 100;
constexpr int32_t kPollMs = 10;
constexpr int32_t kSettleMs = 10;  // pause before a transfer's request goes out
constexpr int32_t kNetworkQueryPauseMs = 1;

constexpr uint8_t kOperatorLogoPort = 0x82;  // 0x1582
constexpr uint8_t kCallerLogoPort = 0x83;    // 0x1583

// One logo transaction. A request of length 0 (a kind with nothing to send) still
// waits out the limit and ends as a time-out.
int32_t RunTransfer(StatusCell &status, const LogoRequest &request, int32_t checks) {
  status.Arm(kPending);
  KeepAliveHold hold(KeepAliveHold::AtEnd::kRelease);  // no poll while the transfer runs
  platform::SleepMs(kSettleMs);
  if (request.length != 0) Send(request.length, request.type, request.bytes);
  if (AwaitCell(status, kPending, checks, kPollMs)) return status.Value();
  status.Arm(kResultTimeout);
  return kResultTimeout;
}

void FillNetworkCode(LogoBitmap &logo) {
  GetNetworkInfo(logo.networkCode, static_cast<int32_t>(sizeof logo.networkCode), nullptr, 0, nullptr, 0);
}

}  // namespace

int32_t UploadLogo(const LogoBitmap &logo) {
  LogoRequest request{};
  BuildUploadRequest(logo, request);
  return RunTransfer(LogoTransfers().uploadCell, request, kUploadChecks);
}

int32_t UploadStartupText(const char *text) {
  LogoBitmap record{};
  record.kind = kLogoStartup;
  record.size = 0;  // no bitmap: the upload carries the text
  SetLogoGroupName(record, text);
  return UploadLogo(record);
}

int32_t UploadSharedLogo() {
  LogoBitmap &logo = SharedLogo();
  if (logo.kind == kLogoOperator && logo.networkCode[0] == '\0') {
    FillNetworkCode(logo);
    platform::SleepMs(kNetworkQueryPauseMs);
  }
  return UploadLogo(logo);
}

int32_t DownloadSharedLogo(LogoKind kind) {
  LogoBitmap &logo = SharedLogo();
  const uint8_t groupNumber = logo.groupNumber;
  ClearLogo(logo);
  logo.groupNumber = groupNumber;
  logo.kind = kind;

  // The reply fills a record of our own; the shared one takes it only after the
  // target was detached, so a late reply can never touch what the host reads.
  LogoBitmap received = logo;
  LogoRequest request{};
  BuildDownloadRequest(kind, groupNumber, request);
  int32_t result = kResultTimeout;
  {
    AttachedRecord<LogoBitmap> attached(LogoTransfers().downloadTarget, received);
    result = RunTransfer(LogoTransfers().downloadCell, request, kDownloadChecks);
  }
  if (result != kResultOk) return result;
  logo = received;

  // The operator reply does not carry the network code into the record.
  if (kind == kLogoOperator && logo.networkCode[0] == '\0') {
    platform::SleepMs(kNetworkQueryPauseMs);
    FillNetworkCode(logo);
  }
  return result;
}

int32_t SendSharedLogoBySms(const char *destination) {
  const LogoBitmap &logo = SharedLogo();
  if (logo.kind != kLogoOperator && logo.kind != kLogoCaller) return kResultNotFound;

  uint8_t data[kLogoSmsDataCapacity];
  const size_t length = BuildLogoSmsData(logo, data);
  // 16-bit application port addressing: destination port, source port 0.
  const uint8_t header[] = {0x06, 0x05, 0x04, 0x15, logo.kind == kLogoOperator ? kOperatorLogoPort : kCallerLogoPort,
                            0x00, 0x00};
  return SendSmartMessage(destination, header, sizeof header, data, length);
}

}  // namespace pelkor
