// Output files on POSIX: a stdio stream. There is no mandatory locking to refuse other
// openers, so "not shared" is as far as the system goes.
#include <cstdio>
#include <new>

#include "platform/output_file.h"

namespace pelkor::platform {

class OutputFile {
 public:
  std::FILE *stream;
};

OutputFile *CreateOutputFile(const char *path) {
  std::FILE *stream = std::fopen(path == nullptr ? "" : path, "wb");
  if (stream == nullptr) return nullptr;
  auto *file = new (std::nothrow) OutputFile{stream};
  if (file == nullptr) std::fclose(stream);
  return file;
}

void WriteOutputFile(OutputFile *file, const void *bytes, size_t length) {
  if (file != nullptr && length > 0) std::fwrite(bytes, 1, length, file->stream);
}

void RewindOutputFile(OutputFile *file) {
  if (file != nullptr) std::fseek(file->stream, 0, SEEK_SET);
}

void CloseOutputFile(OutputFile *file) {
  if (file == nullptr) return;
  std::fclose(file->stream);
  delete file;
}

}  // namespace pelkor::platform
