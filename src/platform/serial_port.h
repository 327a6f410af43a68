#pragma once
#include <cstddef>
#include <cstdint>

namespace pelkor::platform {

// The serial line as the link sees it. One implementation per operating system
// (posix/, win32/); tests substitute their own to capture what the link writes.
// Open/Close happen on the host's thread; Write may be called from any thread and
// writes each buffer whole, never interleaved with another. Close may meet a link thread
// still in a call (one that was left to wind down on its own): it releases WaitForInput
// and waits, for a bounded time, until no call uses the port any more.
class SerialPort {
 public:
  virtual ~SerialPort() = default;

  // Opens the named port exclusively and programs 115200 8N1 raw, no flow control,
  // DTR and RTS low. Returns false (and leaves nothing open) on failure.
  virtual bool Open(const char *name) = 0;
  virtual void Close() = 0;
  // Close for when the threads that used the port were ended by the system: whatever
  // they held stays held, so this waits for nobody.
  virtual void CloseAbandoned() { Close(); }
  virtual bool IsOpen() const = 0;

  virtual bool SetBaudRate(int32_t baud) = 0;  // waits for queued output first
  virtual void SetDtr(bool high) = 0;          // control-line failures are ignored
  virtual void SetRts(bool high) = 0;
  virtual void Purge() = 0;        // drop queued input and output
  virtual void DrainOutput() = 0;  // wait until queued output has gone

  // Reads only what is already queued, at most `maximum` bytes.
  virtual size_t ReadQueued(uint8_t *buffer, size_t maximum) = 0;
  // Writes the whole buffer (bounded wait); returns the bytes written.
  virtual size_t Write(const uint8_t *buffer, size_t length) = 0;

  // Waits until input is queued, the port reports an error, or CancelWait() is called.
  virtual void WaitForInput() = 0;
  // Releases a thread blocked in WaitForInput(), now or at its next call.
  virtual void CancelWait() = 0;
  virtual void ResetCancel() = 0;
};

// The operating system's serial port implementation (one instance per process).
SerialPort &SystemSerialPort();

}  // namespace pelkor::platform
