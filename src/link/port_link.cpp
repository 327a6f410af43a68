#include "link/port_link.h"

#include <atomic>
#include <cstring>
#include <system_error>

#include "link/session.h"
#include "link/wire_trace.h"
#include "platform/clock.h"
#include "platform/serial_port.h"
#include "platform/sleep.h"

namespace pelkor {
namespace {

constexpr size_t kReadChunk = 1024;
constexpr int32_t kStragglerWaitMs = 3000;
std::atomic<platform::SerialPort *> testPort{nullptr};

void KeepAliveThread(void (*cycle)()) {
  LinkSession &s = Session();
  while (s.running.load()) cycle();
  s.threadsInLoop.fetch_sub(1);
}

void WatchThread(void (*onByte)(uint8_t)) {
  LinkSession &s = Session();
  platform::SerialPort &port = LinkPort();
  uint8_t buffer[kReadChunk];
  while (s.running.load()) {
    size_t n;
    do {
      n = ReadPort(buffer, sizeof buffer);
      for (size_t i = 0; i < n; ++i) onByte(buffer[i]);
    } while (n > 0);
    if (!s.running.load()) break;
    port.WaitForInput();
  }
  s.threadsInLoop.fetch_sub(1);
}

void StopThread(std::thread &thread) {
  if (!thread.joinable()) return;
  if (thread.get_id() == std::this_thread::get_id())
    thread.detach();
  else
    thread.join();
}

void ClosePort(bool threadsGone = false) {
  platform::SerialPort &port = LinkPort();
  if (!port.IsOpen()) return;
  port.SetDtr(false);
  port.Purge();
  if (threadsGone)
    port.CloseAbandoned();
  else
    port.Close();
}

}  // namespace

platform::SerialPort &LinkPort() {
  platform::SerialPort *port = testPort.load();
  return port != nullptr ? *port : platform::SystemSerialPort();
}

void UsePortForTesting(platform::SerialPort *port) { testPort.store(port); }

bool OpenConnection(const char *portName, void (*onByte)(uint8_t), void (*keepAliveCycle)()) {
  LinkSession &s = Session();
  platform::SerialPort &port = LinkPort();
  s.running.store(false);
  // Threads of a session stopped without joining may still be on their way out; a new
  // pair must not run beside them.
  for (int32_t waited = 0; s.threadsInLoop.load() > 0 && waited < kStragglerWaitMs; ++waited) platform::SleepMs(1);
  if (s.threadsInLoop.load() > 0) return false;
  if (!port.Open(portName)) return false;
  port.Purge();
  port.ResetCancel();
  s.stop.Reset();

  s.running.store(true);
  s.threadsInLoop.store(2);
  try {
    s.keepAliveThread = std::thread(KeepAliveThread, keepAliveCycle);
  } catch (const std::system_error &) {
    s.running.store(false);
    s.threadsInLoop.store(0);
    port.Close();
    return false;
  }
  try {
    s.watchThread = std::thread(WatchThread, onByte);
  } catch (const std::system_error &) {
    s.threadsInLoop.fetch_sub(1);
    s.running.store(false);
    s.stop.Trigger();
    s.keepAliveThread.join();
    port.Close();
    return false;
  }
  port.SetDtr(true);
  return true;
}

void CloseConnection() {
  LinkSession &s = Session();
  platform::SerialPort &port = LinkPort();
  s.running.store(false);
  s.stop.Trigger();
  StopThread(s.keepAliveThread);
  port.CancelWait();
  StopThread(s.watchThread);
  ClosePort();
}

void CloseConnectionWithoutJoining(bool threadsGone, int32_t loopExitWaitMs) {
  LinkSession &s = Session();
  platform::SerialPort &port = LinkPort();
  s.running.store(false);
  if (!threadsGone) {
    s.stop.Trigger();
    port.CancelWait();
    for (int32_t waited = 0; s.threadsInLoop.load() > 0 && waited < loopExitWaitMs; ++waited) platform::SleepMs(1);
    if (s.keepAliveThread.joinable()) s.keepAliveThread.detach();
    if (s.watchThread.joinable()) s.watchThread.detach();
  }
  // Threads the system ended keep their objects: nothing of theirs can be released now,
  // and the session record is never destroyed.
  ClosePort(threadsGone);
}

size_t ReadPort(uint8_t *buffer, size_t maximum) {
  const size_t n = LinkPort().ReadQueued(buffer, maximum);
  if (n > 0) {
    const int64_t now = platform::MonotonicMs();
    Session().lastActivityTime.store(now);
    Session().lastReceiveTime.store(now);
  }
  return n;
}

size_t WritePort(const uint8_t *buffer, size_t length) {
  TraceWire("tx", buffer, length);
  const size_t n = LinkPort().Write(buffer, length);
  if (n > 0) Session().lastActivityTime.store(platform::MonotonicMs());
  return n;
}

void WakeLine() {
  platform::SerialPort &port = LinkPort();
  if (!port.IsOpen()) return;
  uint8_t burst[220];
  std::memset(burst, 0x55, 219);
  burst[219] = 0xC1;
  port.SetDtr(true);
  port.SetRts(true);
  WritePort(burst, sizeof burst);
  Session().stop.SleepFor(10);
  port.DrainOutput();
  port.Purge();
}

}  // namespace pelkor
