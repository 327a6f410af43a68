#include "logo/logo_files.h"

#include <cstring>

#include "logo/logo_file_formats.h"
#include "transaction/result_codes.h"

namespace pelkor {

namespace {

enum class LogoFileFormat { kUnknown, kNol, kNgg, kForm, kNlm };

LogoFileFormat RecogniseFormat(const uint8_t *start, size_t length) {
  const auto startsWith = [&](const char *mark) {
    const size_t markLength = std::strlen(mark);
    return length >= markLength && std::memcmp(start, mark, markLength) == 0;
  };
  if (startsWith("NOL")) return LogoFileFormat::kNol;
  if (startsWith("NGG")) return LogoFileFormat::kNgg;
  if (startsWith("FORM")) return LogoFileFormat::kForm;
  if (startsWith("NLM")) return LogoFileFormat::kNlm;
  return LogoFileFormat::kUnknown;
}

bool ReadFormat(LogoFileFormat format, LogoFileStream &in, LogoBitmap &logo) {
  switch (format) {
    case LogoFileFormat::kNol:
      return ReadNolFile(in, logo);
    case LogoFileFormat::kNgg:
      return ReadNggFile(in, logo);
    case LogoFileFormat::kForm:
      return ReadFormFile(in, logo);
    case LogoFileFormat::kNlm:
      return ReadNlmFile(in, logo);
    case LogoFileFormat::kUnknown:
      break;
  }
  return false;
}

}  // namespace

int32_t ReadLogoFile(const char *path, LogoBitmap &logo) {
  LogoFileStream in(path, LogoFileStream::Mode::kRead);
  if (!in.IsOpen()) return kResultNotFound;

  uint8_t start[9];
  const size_t length = in.ReadSome(start, sizeof start);
  const LogoFileFormat format = RecogniseFormat(start, length);
  if (format == LogoFileFormat::kUnknown || !in.rewind()) return kResultNotFound;

  // Readers keep the fields their format does not carry, so start from the record;
  // a failed read then leaves the record exactly as it was.
  LogoBitmap scratch = logo;
  if (!ReadFormat(format, in, scratch)) return kResultNotFound;
  logo = scratch;
  return 0;
}

int32_t WriteLogoFile(const char *path, const LogoBitmap &logo) {
  LogoFileStream out(path, LogoFileStream::Mode::kWrite);
  if (!out.IsOpen()) return kResultNotFound;

  bool written = true;
  switch (logo.kind) {
    case kLogoStartup:
      written = WriteFormFile(out, logo);
      break;
    case kLogoOperator:
      written = WriteNolFile(out, logo);
      break;
    case kLogoCaller:
      written = WriteNggFile(out, logo);
      break;
    default:
      break;  // nothing to save: an empty file
  }
  const bool closed = out.close();
  return written && closed ? 0 : -1;
}

}  // namespace pelkor
