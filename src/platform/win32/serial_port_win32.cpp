// The serial line on Windows: a COM port opened exclusively for overlapped I/O. The
// watch thread waits for received characters with an overlapped WaitCommEvent that a
// cancel event releases at once; every write has its own overlapped record and event,
// and one mutex keeps whole frames from interleaving.
#include <windows.h>

#include <atomic>
#include <mutex>
#include <new>
#include <shared_mutex>

#include "platform/serial_port.h"
#include "platform/port_lock.h"
#include "platform/sleep.h"
#include "platform/win32/port_names.h"

namespace pelkor::platform {
namespace {

constexpr DWORD kQueueBytes = 4096;
// The watch thread drains the port at least this often, even if a driver loses an event.
constexpr DWORD kEventWaitLimitMs = 200;
constexpr DWORD kAllPurges = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

// The line as the phone wants it: 8N1, no flow control of any kind, DTR and RTS under
// our own control (both low until the link raises them), stop on errors so that
// ClearCommError reports them.
void ApplyLineSettings(DCB &dcb) {
  dcb.BaudRate = 115200;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDtrControl = DTR_CONTROL_DISABLE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fTXContinueOnXoff = TRUE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fErrorChar = FALSE;
  dcb.fNull = FALSE;
  dcb.fRtsControl = RTS_CONTROL_DISABLE;
  dcb.fAbortOnError = TRUE;
  dcb.XonLim = 0;
  dcb.XoffLim = 0;
  dcb.ErrorChar = 0;
  dcb.EofChar = 0;
  dcb.EvtChar = 0;
  // With XON/XOFF off the two characters are never used, but SetCommState refuses a
  // DCB whose XON and XOFF characters are equal; keep them distinct.
  if (dcb.XonChar == dcb.XoffChar) {
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
  }
}

bool ProgramPort(HANDLE port) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(port, &dcb)) return false;
  ApplyLineSettings(dcb);
  if (!SetCommState(port, &dcb)) return false;
  SetupComm(port, kQueueBytes, kQueueBytes);
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = 10;
  timeouts.ReadTotalTimeoutMultiplier = 10;
  timeouts.ReadTotalTimeoutConstant = 10;
  timeouts.WriteTotalTimeoutMultiplier = 50;
  timeouts.WriteTotalTimeoutConstant = 0;
  SetCommTimeouts(port, &timeouts);
  PurgeComm(port, kAllPurges);
  DWORD errors = 0;
  ClearCommError(port, &errors, nullptr);
  SetCommMask(port, EV_RXCHAR);
  return true;
}

void ClearErrors(HANDLE port) {
  DWORD errors = 0;
  ClearCommError(port, &errors, nullptr);
}

// Waits for an overlapped operation that the system reported as pending.
DWORD FinishOverlapped(HANDLE port, OVERLAPPED &overlapped) {
  DWORD moved = 0;
  while (!GetOverlappedResult(port, &overlapped, &moved, TRUE)) {
    if (GetLastError() != ERROR_IO_INCOMPLETE) {
      ClearErrors(port);
      break;
    }
  }
  return moved;
}

// One comm-event wait: the record, mask and event the system completes it into. They
// must outlive the wait however late it completes, so a record is never freed.
struct CommEventWait {
  OVERLAPPED overlapped{};
  DWORD mask = 0;
  HANDLE event = nullptr;
};

CommEventWait *NewCommEventWait() {
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (event == nullptr) return nullptr;
  auto *wait = new (std::nothrow) CommEventWait{};
  if (wait == nullptr) {
    CloseHandle(event);
    return nullptr;
  }
  wait->event = event;
  return wait;
}

// Some drivers cannot wait for comm events at all, or fail a wait at once: pause as a
// poll would rather than spin.
void PauseAfterFailedWait(HANDLE port) {
  SetCommMask(port, EV_RXCHAR);
  SleepMs(5);
}

class Win32SerialPort final : public SerialPort {
 public:
  Win32SerialPort()
      : cancelEvent_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
        readEvent_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

  bool Open(const char *name) override {
    char path[160];
    if (IsOpen()) return false;
    std::unique_lock<std::shared_mutex> exclusive(portMutex_, std::defer_lock);
    if (!TakeWithin(exclusive, kCloseWaitLimitMs)) return false;
    if (IsOpen() || !win32::ResolvePortPath(name, path, sizeof path)) return false;
    HANDLE port =
        CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE) return false;
    if (!ProgramPort(port)) {
      CloseHandle(port);
      return false;
    }
    port_.store(port);
    return true;
  }

  // The handle is closed only once no read, write or control call uses it: closed under
  // one of them, its value could be given to the next handle the process opens and the
  // rest of a frame written there. A watch thread waiting for input is released first.
  void Close() override {
    if (!IsOpen()) return;
    CancelWait();
    std::unique_lock<std::shared_mutex> exclusive(portMutex_, std::defer_lock);
    (void)TakeWithin(exclusive, kCloseWaitLimitMs);
    CloseAbandoned();
  }

  void CloseAbandoned() override {
    HANDLE port = port_.exchange(INVALID_HANDLE_VALUE);
    if (port == INVALID_HANDLE_VALUE) return;
    // The mask change ends a comm-event wait that is still pending. It completes into its
    // own record whenever it does, so that record is left to it and a new one is made
    // for the next connection.
    SetCommMask(port, 0);
    CloseHandle(port);
    if (waitPending_.exchange(false)) wait_.store(nullptr);
  }

  bool IsOpen() const override { return port_.load() != INVALID_HANDLE_VALUE; }

  bool SetBaudRate(int32_t baud) override {
    std::shared_lock<std::shared_mutex> use(portMutex_);
    HANDLE port = port_.load();
    if (port == INVALID_HANDLE_VALUE) return false;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(port, &dcb)) return false;
    FlushFileBuffers(port);  // the bytes already queued go out at the old rate
    dcb.BaudRate = static_cast<DWORD>(baud);
    return SetCommState(port, &dcb) != FALSE;
  }

  void SetDtr(bool high) override { Escape(high ? SETDTR : CLRDTR); }
  void SetRts(bool high) override { Escape(high ? SETRTS : CLRRTS); }

  void Purge() override {
    std::shared_lock<std::shared_mutex> use(portMutex_);
    HANDLE port = port_.load();
    if (port == INVALID_HANDLE_VALUE) return;
    PurgeComm(port, kAllPurges);
    ClearErrors(port);
  }

  void DrainOutput() override {
    std::shared_lock<std::shared_mutex> use(portMutex_);
    HANDLE port = port_.load();
    if (port != INVALID_HANDLE_VALUE) FlushFileBuffers(port);
  }

  size_t ReadQueued(uint8_t *buffer, size_t maximum) override {
    std::shared_lock<std::shared_mutex> use(portMutex_);
    HANDLE port = port_.load();
    if (port == INVALID_HANDLE_VALUE || maximum == 0) return 0;
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(port, &errors, &status) || status.cbInQue == 0) return 0;
    const DWORD wanted = status.cbInQue < maximum ? status.cbInQue : static_cast<DWORD>(maximum);
    OVERLAPPED overlapped{};
    ResetEvent(readEvent_);
    overlapped.hEvent = readEvent_;
    DWORD got = 0;
    if (ReadFile(port, buffer, wanted, &got, &overlapped)) return got;
    if (GetLastError() == ERROR_IO_PENDING) return FinishOverlapped(port, overlapped);
    ClearErrors(port);
    return 0;
  }

  size_t Write(const uint8_t *buffer, size_t length) override {
    std::lock_guard<std::mutex> lock(writeMutex_);
    std::shared_lock<std::shared_mutex> use(portMutex_);
    HANDLE port = port_.load();
    if (port == INVALID_HANDLE_VALUE || length == 0) return 0;
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (overlapped.hEvent == nullptr) return 0;
    DWORD written = 0;
    if (!WriteFile(port, buffer, static_cast<DWORD>(length), &written, &overlapped)) {
      if (GetLastError() == ERROR_IO_PENDING) {
        written = FinishOverlapped(port, overlapped);
      } else {
        ClearErrors(port);
        written = 0;
      }
    }
    CloseHandle(overlapped.hEvent);
    return written;
  }

  // The port is in use while a wait is started and collected, not while it is waited on.
  void WaitForInput() override {
    std::shared_lock<std::shared_mutex> use(portMutex_);
    HANDLE port = port_.load();
    if (port == INVALID_HANDLE_VALUE) {
      use.unlock();
      SleepMs(5);
      return;
    }
    if (WaitForSingleObject(cancelEvent_, 0) == WAIT_OBJECT_0) return;
    CommEventWait *wait = wait_.load();
    if (!waitPending_.load()) {
      if (wait == nullptr) {
        wait = NewCommEventWait();
        if (wait == nullptr) {
          SleepMs(5);
          return;
        }
        wait_.store(wait);
      }
      wait->overlapped = OVERLAPPED{};
      ResetEvent(wait->event);
      wait->overlapped.hEvent = wait->event;
      wait->mask = 0;
      if (WaitCommEvent(port, &wait->mask, &wait->overlapped)) return;
      if (GetLastError() != ERROR_IO_PENDING) {
        PauseAfterFailedWait(port);
        return;
      }
      waitPending_.store(true);
    }
    // Cancelled, or quiet for a while: return with the wait still pending, and wait on it
    // again next time. It is never cancelled and collected here: on some systems that
    // takes a helper thread, which cannot start while the loader lock is held.
    HANDLE events[2] = {wait->event, cancelEvent_};
    use.unlock();
    if (WaitForMultipleObjects(2, events, FALSE, kEventWaitLimitMs) != WAIT_OBJECT_0) return;
    use.lock();
    if (port_.load() != port) return;  // closed meanwhile: the record stays with its wait
    waitPending_.store(false);
    DWORD ignored = 0;
    if (!GetOverlappedResult(port, &wait->overlapped, &ignored, FALSE)) PauseAfterFailedWait(port);
  }

  void CancelWait() override { SetEvent(cancelEvent_); }
  void ResetCancel() override { ResetEvent(cancelEvent_); }

 private:
  void Escape(DWORD function) {
    std::shared_lock<std::shared_mutex> use(portMutex_);
    HANDLE port = port_.load();
    if (port != INVALID_HANDLE_VALUE) EscapeCommFunction(port, function);
  }

  std::atomic<HANDLE> port_{INVALID_HANDLE_VALUE};
  HANDLE cancelEvent_;                          // manual reset: stays set until the next connection
  HANDLE readEvent_;                            // reads come from the watch thread only
  std::atomic<CommEventWait *> wait_{nullptr};  // used by the watch thread
  std::atomic<bool> waitPending_{false};
  std::mutex writeMutex_;  // whole buffers, one at a time; taken before portMutex_
  // Shared by every call that uses port_, exclusive for opening and closing it.
  std::shared_mutex portMutex_;
};

}  // namespace

SerialPort &SystemSerialPort() {
  // Never destroyed: at process exit a comm-event wait of an ended thread may still
  // complete into this object.
  static Win32SerialPort *port = new Win32SerialPort();
  return *port;
}

}  // namespace pelkor::platform
