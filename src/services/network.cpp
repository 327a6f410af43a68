#include "services/network.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "link/frame_sender.h"
#include "link/session.h"
#include "platform/clock.h"
#include "transaction/bounded_copy.h"
#include "services/service_requests.h"
#include "services/services_state.h"
#include "transaction/transaction.h"
#include "link/request_writer.h"

namespace pelkor {
namespace {

constexpr int32_t kNetworkPolls = 20;
constexpr int32_t kMonitorPolls = 200;
constexpr int32_t kPollMs = 10;
constexpr int64_t kNetworkReuseMs = 200;

NetworkState &Network() { return Services().network; }

// The leading decimal number of a text, as the C library reads one: white space, one
// sign, then digits up to the first other character; 0 without digits.
int64_t LeadingNumber(const char *text) {
  while (std::isspace(static_cast<unsigned char>(*text))) ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = *text++ == '-';
  int64_t value = 0;
  while (std::isdigit(static_cast<unsigned char>(*text)) && value < (int64_t{1} << 40))
    value = value * 10 + (*text++ - '0');
  return negative ? -value : value;
}

}  // namespace

uint8_t NetMonitorSelector(const char *screen) {
  if (screen == nullptr) screen = "";
  if (std::strcmp(screen, "reset") == 0) return 0xF0;
  if (std::strcmp(screen, "off") == 0) return 0xF1;
  if (std::strcmp(screen, "field") == 0) return 0xF2;
  if (std::strcmp(screen, "devel") == 0) return 0xF3;
  if (std::strcmp(screen, "next") == 0) return 0x00;
  return static_cast<uint8_t>(LeadingNumber(screen) & 0xFF);
}

int32_t GetNetworkInfo(char *networkCode, int32_t networkCodeSize, char *areaCode, int32_t areaCodeSize, char *cellId,
                       int32_t cellIdSize) {
  const int32_t result = Network().infoCache.ReuseOrAsk(kNetworkReuseMs, [] {
    Network().info = NetworkInfo{};
    static constexpr auto kRequest = CommandRequest(0x70);
    const int32_t answer = RunExchange(Network().infoTarget, Network().info, Network().infoCell, kTypeNetwork,
                                       kRequest.data(), kRequest.size(), kNetworkPolls, kPollMs);
    return answer == kResultOk ? kResultOk : kResultTimeout;
  });
  CopyToCaller(networkCode, networkCodeSize, Network().info.networkCode);
  CopyToCaller(areaCode, areaCodeSize, Network().info.areaCode);
  CopyToCaller(cellId, cellIdSize, Network().info.cellId);
  return result;
}

int32_t NetMonitor(const char *screen, char *buffer, int32_t size) {
  if (!Session().sessionOpen.load() || buffer == nullptr || size <= 0) return kResultOk;
  std::memset(buffer, 0, static_cast<size_t>(size));
  char text[kMonitorTextSize] = {};
  // The record is attached and the cell armed before the preparatory request goes out,
  // so the wait is written out here rather than through RunExchange, which arms later.
  {
    AttachedRecord<char[kMonitorTextSize]> attached(Network().monitorTarget, text);
    Network().monitorCell.Arm();
    SendPreparatoryRequest();
    const uint8_t request[] = {0x00, 0x01, 0x7E, NetMonitorSelector(screen)};
    Send(sizeof request, kTypeService, request);
    AwaitCell(Network().monitorCell, kPending, kMonitorPolls, kPollMs);
  }  // detached: no late reply writes while the text is copied out
  CopyToCaller(buffer, size, text);
  return kResultOk;
}

namespace {

void HandleNetworkInfo(const ReplyMessage &reply) {
  if (reply.length < 17) return;
  Network().infoTarget.Fill([&](NetworkInfo &info) {
    if (!Network().infoCell.Holds(kPending)) return;
    // The country and network digits are packed low nibble first, as in a location
    // area identity; the cell id comes before the location area code.
    std::snprintf(info.networkCode, sizeof info.networkCode, "%x%x%x %x%x", reply.At(14) & 0x0F, reply.At(14) >> 4,
                  reply.At(15) & 0x0F, reply.At(16) & 0x0F, reply.At(16) >> 4);
    std::snprintf(info.cellId, sizeof info.cellId, "%02x%02x", reply.At(10), reply.At(11));
    std::snprintf(info.areaCode, sizeof info.areaCode, "%02x%02x", reply.At(12), reply.At(13));
  });
  Network().infoCell.Complete(kResultOk);
}

void HandleNetMonitor(const ReplyMessage &reply) {
  if (reply.At(3) != 0) {
    Network().monitorTarget.Fill([&](char(&text)[kMonitorTextSize]) { reply.CopyText(4, text, sizeof text); });
  }
  Network().monitorCell.Complete(kResultOk);
}

// Whether the request each reply answers is waiting for it.
bool NetworkInfoWaits() { return Network().infoTarget.Attached(); }
bool NetMonitorWaits() { return Network().monitorTarget.Attached(); }

// Network replies answer a waiting query only.
const ReplyRoute kRows[] = {
    // type, command byte at, command, handler, awaited by
    {0x0A, 3, 0x71, HandleNetworkInfo, NetworkInfoWaits},
    {0x40, 2, 0x7E, HandleNetMonitor, NetMonitorWaits},
};

}  // namespace

const ReplyRouteTable kNetworkReplies = RouteTable(kRows);

}  // namespace pelkor
