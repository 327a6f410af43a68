#include "link/link_startup.h"

#include "link/frame_sender.h"
#include "link/port_link.h"
#include "link/session.h"
#include "platform/serial_port.h"
#include "link/request_writer.h"

namespace pelkor {
namespace {

constexpr auto kStatusRequest = CommandRequest(0x01);
constexpr auto kCableStartup1 = CommandRequest(0x0D, 0x00, 0x00, 0x02);
constexpr auto kCableStartup2 = CommandRequest(0x20, 0x02);
constexpr auto kCableStartup3 = CommandRequest(0x0D, 0x01, 0x00, 0x02);
constexpr auto kIdentityRequest = CommandRequest(0x10);

constexpr int kSyncBytes = 32;
constexpr int kInfraredTries = 10;
constexpr int kCableWaitPolls = 100;

// Sleeps unless the connection is closing; false means stop the start-up now.
bool Pause(int32_t milliseconds) { return Session().stop.SleepFor(milliseconds); }

void WriteByte(uint8_t byte) { WritePort(&byte, 1); }

bool SendSyncBytes() {
  for (int i = 0; i < kSyncBytes; ++i) {
    if (!Pause(1)) return false;
    WriteByte(0x55);
  }
  WriteByte(0xC1);
  return true;
}

void StartInfrared(platform::SerialPort &port) {
  LinkSession &s = Session();
  // The phone's infrared port listens for the sync bytes at 9600 baud.
  port.SetBaudRate(9600);
  if (!SendSyncBytes()) return;
  port.SetBaudRate(115200);
  for (int attempt = 0; attempt < kInfraredTries && !s.linkUp.load(); ++attempt) {
    WakeLine();
    RequestStatus();
    if (!Pause(1000)) return;
  }
}

void StartCable(platform::SerialPort &port) {
  LinkSession &s = Session();
  port.SetRts(false);
  port.SetBaudRate(115200);
  port.SetDtr(true);
  if (!SendSyncBytes()) return;
  RequestStatus();
  Pause(1);
  Send(kCableStartup1.size(), 0x02, kCableStartup1.data());
  Pause(1);
  Send(kCableStartup2.size(), 0x02, kCableStartup2.data());
  Pause(1);
  Send(kCableStartup3.size(), 0x02, kCableStartup3.data());
  Pause(1);
  Send(kIdentityRequest.size(), 0x64, kIdentityRequest.data());
  Pause(10);
  for (int polls = kCableWaitPolls; polls > 0 && !s.linkUp.load();) {
    if (--polls == 0 || !Pause(10)) break;
  }
}

}  // namespace

int32_t RequestStatus() {
  Send(kStatusRequest.size(), 0x04, kStatusRequest.data());
  return 0;
}

void InitLink() {
  LinkSession &s = Session();
  bool idle = false;
  if (!s.linkStarting.compare_exchange_strong(idle, true)) return;
  platform::SerialPort &port = LinkPort();
  if (s.Infrared())
    StartInfrared(port);
  else
    StartCable(port);
  s.linkStarting.store(false);
}

}  // namespace pelkor
