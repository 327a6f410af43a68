// The serial line on Windows: a COM port opened exclusively for overlapped I/O. The
// watch thread waits for received characters with an overlapped WaitCommEvent that a
// cancel event releases at once; every write has its own overlapped record and event,
// and one mutex keeps whole frames from interleaving.
#include <windows.h>

#include <atomic>
#include <mutex>

#include "platform/serial_port.h"
#include "platform/sleep.h"
#include "platform/win32/port_names.h"

namespace pelkor::platform {
namespace {

constexpr DWORD kQueueBytes = 4096;
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

class Win32SerialPort final : public SerialPort {
 public:
  Win32SerialPort()
      : cancelEvent_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
        commEvent_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
        readEvent_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

  bool Open(const char *name) override {
    char path[160];
    if (IsOpen() || !win32::ResolvePortPath(name, path, sizeof path)) return false;
    HANDLE port = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE) return false;
    if (!ProgramPort(port)) {
      CloseHandle(port);
      return false;
    }
    waitPending_.store(false);
    port_.store(port);
    return true;
  }

  void Close() override {
    HANDLE port = port_.exchange(INVALID_HANDLE_VALUE);
    if (port == INVALID_HANDLE_VALUE) return;
    // A comm-event wait still pending completes as soon as the mask changes; collect it
    // so that nothing writes into the overlapped record after the handle is gone.
    SetCommMask(port, 0);
    if (waitPending_.exchange(false)) FinishOverlapped(port, waitOverlapped_);
    CloseHandle(port);
  }

  bool IsOpen() const override { return port_.load() != INVALID_HANDLE_VALUE; }

  bool SetBaudRate(int32_t baud) override {
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
    HANDLE port = port_.load();
    if (port == INVALID_HANDLE_VALUE) return;
    PurgeComm(port, kAllPurges);
    ClearErrors(port);
  }

  void DrainOutput() override {
    HANDLE port = port_.load();
    if (port != INVALID_HANDLE_VALUE) FlushFileBuffers(port);
  }

  size_t ReadQueued(uint8_t *buffer, size_t maximum) override {
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

  void WaitForInput() override {
    HANDLE port = port_.load();
    if (port == INVALID_HANDLE_VALUE) {
      SleepMs(5);
      return;
    }
    if (WaitForSingleObject(cancelEvent_, 0) == WAIT_OBJECT_0) return;
    // A wait left pending by a cancelled call is still good: wait on it again rather
    // than start a second one on the same record.
    if (!waitPending_.load()) {
      waitOverlapped_ = OVERLAPPED{};
      ResetEvent(commEvent_);
      waitOverlapped_.hEvent = commEvent_;
      eventMask_ = 0;
      if (WaitCommEvent(port, &eventMask_, &waitOverlapped_)) return;
      if (GetLastError() != ERROR_IO_PENDING) {
        // Some drivers cannot wait for comm events at all: fall back to short pauses.
        SetCommMask(port, EV_RXCHAR);
        SleepMs(5);
        return;
      }
      waitPending_.store(true);
    }
    HANDLE events[2] = {commEvent_, cancelEvent_};
    if (WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0) {
      DWORD ignored = 0;
      GetOverlappedResult(port, &waitOverlapped_, &ignored, FALSE);
      waitPending_.store(false);
    }
  }

  void CancelWait() override { SetEvent(cancelEvent_); }
  void ResetCancel() override { ResetEvent(cancelEvent_); }

 private:
  void Escape(DWORD function) {
    HANDLE port = port_.load();
    if (port != INVALID_HANDLE_VALUE) EscapeCommFunction(port, function);
  }

  std::atomic<HANDLE> port_{INVALID_HANDLE_VALUE};
  HANDLE cancelEvent_;  // manual reset: stays set until the next connection
  HANDLE commEvent_;    // the comm-event wait's own event
  HANDLE readEvent_;    // reads come from the watch thread only
  OVERLAPPED waitOverlapped_{};
  DWORD eventMask_ = 0;
  std::atomic<bool> waitPending_{false};
  std::mutex writeMutex_;
};

}  // namespace

SerialPort &SystemSerialPort() {
  // Never destroyed: at process exit a comm-event wait of an ended thread may still
  // complete into this object.
  static Win32SerialPort *port = new Win32SerialPort();
  return *port;
}

}  // namespace pelkor::platform
