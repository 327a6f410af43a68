// A byte-stream file that is closed on every path out of the logo file code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace pelkor {

class LogoFileStream {
 public:
  enum class Mode { kRead, kWrite };

  LogoFileStream(const char *path, Mode mode)
      : file_(std::fopen(path != nullptr ? path : "", mode == Mode::kRead ? "rb" : "wb")) {}
  ~LogoFileStream() { close(); }
  LogoFileStream(const LogoFileStream &) = delete;
  LogoFileStream &operator=(const LogoFileStream &) = delete;

  bool IsOpen() const { return file_ != nullptr; }

  // Reads up to `count` bytes; returns how many arrived.
  size_t ReadSome(uint8_t *buffer, size_t count) { return std::fread(buffer, 1, count, file_); }
  bool ReadExact(uint8_t *buffer, size_t count) { return ReadSome(buffer, count) == count; }
  // The next byte, or -1 at the end of the file.
  int ReadByte() { return std::fgetc(file_); }
  bool rewind() { return std::fseek(file_, 0, SEEK_SET) == 0; }

  bool write(const void *bytes, size_t count) { return std::fwrite(bytes, 1, count, file_) == count; }
  // Closes the file; false when buffered data could not be written out.
  bool close() {
    if (file_ == nullptr) return true;
    const bool flushed = std::fclose(file_) == 0;
    file_ = nullptr;
    return flushed;
  }

 private:
  std::FILE *file_;
};

}  // namespace pelkor
