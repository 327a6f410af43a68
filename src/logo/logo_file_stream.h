// A byte-stream file that is closed on every path out of the logo file code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace pelkor {

class LogoFileStream {
 public:
  enum class Mode { Read, Write };

  LogoFileStream(const char *path, Mode mode)
      : file_(std::fopen(path != nullptr ? path : "", mode == Mode::Read ? "rb" : "wb")) {}
  ~LogoFileStream() { close(); }
  LogoFileStream(const LogoFileStream &) = delete;
  LogoFileStream &operator=(const LogoFileStream &) = delete;

  bool isOpen() const { return file_ != nullptr; }

  // Reads up to `count` bytes; returns how many arrived.
  std::size_t readSome(uint8_t *buffer, std::size_t count) { return std::fread(buffer, 1, count, file_); }
  bool readExact(uint8_t *buffer, std::size_t count) { return readSome(buffer, count) == count; }
  // The next byte, or -1 at the end of the file.
  int readByte() { return std::fgetc(file_); }
  bool rewind() { return std::fseek(file_, 0, SEEK_SET) == 0; }

  bool write(const void *bytes, std::size_t count) { return std::fwrite(bytes, 1, count, file_) == count; }
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
