#include "session/session_lifecycle.h"

#include <chrono>
#include <cstring>
#include <mutex>

#include "link/frame_receiver.h"
#include "link/keep_alive.h"
#include "link/link_startup.h"
#include "link/port_link.h"
#include "link/session.h"
#include "platform/clock.h"
#include "platform/module_hooks.h"
#include "platform/sleep.h"
#include "services/beep.h"
#include "session/family_list.h"
#include "session/library_context.h"
#include "transaction/result_codes.h"

namespace pelkor {
namespace {

constexpr size_t kWorkNameSize = 50;
constexpr int kPhoneWaitPolls = 200;  // of 50 ms: 10 s
constexpr int kQuickStartFirstPoll = 198;

// A stop from an unload hook waits this long for the link threads to leave their loops
// (each loop ends within one short sleep once the stop is signalled).
constexpr int32_t kUnloadLoopExitWaitMs = 3000;

SessionControl &Control() { return Library().control; }

void StopLink() {
  LinkSession &s = Session();
  s.busy.store(true);
  CloseConnection();
  s.linkUp.store(false);
}

int32_t Initialise(const char *portName, int32_t connectionType) {
  LinkSession &s = Session();
  RunSessionHooks(&FamilyModule::onSessionStart);
  ResetReceiver();
  std::memset(s.portName, 0, sizeof s.portName);
  std::strncpy(s.portName, portName, sizeof s.portName - 1);
  s.connectionType.store(connectionType);
  s.busy.store(true);
  if (!OpenConnection(s.portName, OnByte, KeepAliveCycle)) return kResultRefused;
  InitLink();
  return kResultOk;
}

// The end of the process, of the library, or of the thread that called init.
void OnEnding(platform::EndingContext context) {
  using platform::EndingContext;
  if (context == EndingContext::kMayWaitForThreads) {
    CloseSession();
    return;
  }
  LinkSession &s = Session();
  s.sessionOpen.store(false);
  if (context == EndingContext::kThreadsGone) {
    // Whatever the ended threads held stays held: take no lock, just let go of the port.
    CloseConnectionWithoutJoining(true, 0);
    return;
  }
  std::unique_lock<std::recursive_timed_mutex> lock(Control().mutex, std::defer_lock);
  if (!lock.try_lock_for(std::chrono::milliseconds(kUnloadLoopExitWaitMs))) return;
  s.busy.store(true);
  CloseConnectionWithoutJoining(false, kUnloadLoopExitWaitMs);
  s.linkUp.store(false);
  RunSessionHooks(&FamilyModule::onSessionEnd);
}

}  // namespace

int32_t OpenSession(const char *port, int32_t connectionType) {
  std::lock_guard<std::recursive_timed_mutex> lock(Control().mutex);
  LinkSession &s = Session();
  CloseSession();
  platform::WatchCurrentThreadExit(OnEnding);
  platform::SetProcessDetachHook(OnEnding);
  s.sessionOpen.store(false);

  char name[kWorkNameSize] = {};
  std::strncpy(name, (port == nullptr || port[0] == '\0') ? "COM1" : port, kWorkNameSize - 1);
  StopLink();
  bool quickStart = false;
  const size_t length = std::strlen(name);
  if (length > 0 && name[length - 1] == 'F') {
    name[length - 1] = '\0';
    quickStart = true;
  }

  const int32_t opened = Initialise(name, connectionType);
  if (opened != kResultOk) return opened;

  for (int poll = quickStart ? kQuickStartFirstPoll : 0; poll < kPhoneWaitPolls && !s.linkUp.load(); ++poll)
    platform::SleepMs(50);
  if (!s.linkUp.load()) return kResultNotFound;

  SendBeep(true);
  platform::SleepMs(50);
  SendBeep(false);

  if (!Control().preparedOnce) {
    Control().preparedOnce = true;
    RunSessionHooks(&FamilyModule::onFirstOpen);
  }
  s.busy.store(false);
  s.sessionOpen.store(true);
  return kResultOk;
}

int32_t CloseSession() {
  std::lock_guard<std::recursive_timed_mutex> lock(Control().mutex);
  Session().sessionOpen.store(false);
  StopLink();
  RunSessionHooks(&FamilyModule::onSessionEnd);
  return kResultOk;
}

int32_t LinkAlive() {
  LinkSession &s = Session();
  const bool up = s.linkUp.load();
  if (platform::MonotonicMs() - s.lastReceiveTime.load() <= 2000) return up ? 1 : 0;
  if (s.framesSent.load() > s.framesAcked.load()) return 0;
  return up ? 1 : 0;
}

}  // namespace pelkor
