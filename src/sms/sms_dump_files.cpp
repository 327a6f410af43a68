#include "sms/sms_dump_files.h"

#include <atomic>

#include "platform/dump_directory.h"
#include "platform/output_file.h"

namespace pelkor {

namespace {

std::atomic<int32_t> dumpCount{0};

void WriteFile(const std::string &path, const uint8_t *prefix, size_t prefixLength, const uint8_t *bytes,
               size_t length) {
  platform::OutputFile *file = platform::CreatePrivateOutputFile(path.c_str());
  if (file == nullptr) return;
  platform::WriteOutputFile(file, prefix, prefixLength);
  platform::WriteOutputFile(file, bytes, length);
  platform::CloseOutputFile(file);
}

}  // namespace

int32_t NextUcs2DumpNumber() { return dumpCount.fetch_add(1) + 1; }

std::string Ucs2DumpPath(int32_t n, const char *extension) {
  return platform::DumpDirectory() + "UCS2-" + std::to_string(n) + "." + extension;
}

void WriteUcs2MessageDump(int32_t n, const uint8_t *message, size_t length) {
  WriteFile(Ucs2DumpPath(n, "dat"), nullptr, 0, message, length);
}

void WriteUcs2TextDump(int32_t n, const uint8_t *text, size_t length) {
  static const uint8_t kByteOrderMark[] = {0xFE, 0xFF};
  WriteFile(Ucs2DumpPath(n, "txt"), kByteOrderMark, sizeof kByteOrderMark, text, length);
}

}  // namespace pelkor
