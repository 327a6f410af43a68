// The wire: a pseudo-terminal whose terminal side the client opens (or a real serial
// device). We keep our own descriptor of the terminal side open, so the line survives
// clients coming and going, and watch the device node to notice when they do.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace phonesim {

class PtyTransport {
 public:
  PtyTransport() = default;
  ~PtyTransport();
  PtyTransport(const PtyTransport &) = delete;
  PtyTransport &operator=(const PtyTransport &) = delete;

  // Creates the pseudo-terminal; with a non-empty `linkPath` also a symlink to it.
  bool OpenPty(const std::string &linkPath);
  // Uses a serial device instead (raw, 115200 8N1).
  bool OpenDevice(const std::string &path);
  void Close();

  int Fd() const { return ioFd_; }            // read from / write to the client
  int WatchFd() const { return inotifyFd_; }  // readable when clients open or close; -1 if none
  const std::string &DevicePath() const { return devicePath_; }
  const std::string &Error() const { return error_; }

  // Reads the device node's open/close events. Returns true when the last client has
  // just gone; then its leftovers are cleared: the exclusive-use flag, settings it
  // changed and our output it never read.
  bool HandleWatchEvents();
  // False while no client holds the terminal open; output then has nowhere to go.
  bool ClientPresent() const { return inotifyFd_ < 0 || clients_ > 0; }

  // Non-blocking I/O; negative on error, 0 when nothing could be moved. Reading also
  // checks that the watch works: a client must have opened the terminal before it
  // could write, so bytes without any open event mean the events do not come, and
  // the line is then taken as always in use.
  ptrdiff_t ReadSome(uint8_t *buffer, size_t size);
  ptrdiff_t WriteSome(const uint8_t *buffer, size_t size);

 private:
  bool Fail(const std::string &what);
  void ReleaseTerminal();

  int ioFd_ = -1;        // pty master, or the serial device
  int terminalFd_ = -1;  // our own descriptor of the terminal side (pty only)
  int inotifyFd_ = -1;
  int clients_ = 0;
  bool watchHeard_ = false;  // at least one open event arrived
  std::string devicePath_;
  std::string linkPath_;
  std::string error_;
};

// Raw 8N1 at 115200 baud, no flow control, reads return what is there.
bool MakeRaw(int fd);

}  // namespace phonesim
