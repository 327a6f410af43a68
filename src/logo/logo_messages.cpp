#include "logo/logo_messages.h"
#include "link/request_writer.h"

#include <cstring>

namespace pelkor {

namespace {

constexpr uint8_t kCommandStartupUpload = 0x18;
constexpr uint8_t kCommandStartupDownload = 0x16;
constexpr uint8_t kCommandOperatorUpload = 0x30;
constexpr uint8_t kCommandOperatorDownload = 0x33;
constexpr uint8_t kCommandCallerUpload = 0x13;
constexpr uint8_t kCommandCallerDownload = 0x10;

constexpr uint8_t kBlockStartupLogo = 1;
constexpr uint8_t kBlockStartupText = 2;
constexpr uint8_t kBlockSkipOneByte = 3;

// The Smart Messaging style bitmap header used by uploads and logo SMS: 00 w h 01.
void PutBitmapHeader(RequestWriter &out, const LogoBitmap &logo) {
  out.Put(0x00);
  out.Put(logo.width);
  out.Put(logo.height);
  out.Put(0x01);
}

void PutLengthWithHeader(RequestWriter &out, size_t size) {
  const size_t withHeader = size + 4;  // the 4 bytes of the bitmap header
  out.Put(static_cast<uint8_t>(withHeader >> 8));
  out.Put(static_cast<uint8_t>(withHeader & 0xFF));
}

// A bitmap a reply declares, cut to what its geometry allows and what the record holds.
size_t BoundedReplyBitmap(size_t declared, uint8_t width, uint8_t height) {
  const size_t byGeometry = size_t{width} * height / 8;
  if (declared > byGeometry) declared = byGeometry;
  return declared < kLogoBitmapCapacity ? declared : kLogoBitmapCapacity;
}

void CopyReplyBytes(const ReplyMessage &reply, size_t offset, uint8_t *out, size_t count) {
  for (size_t i = 0; i < count; ++i) out[i] = reply.At(offset + i);
}

// Copies `length` text bytes of a reply into the group-name field (at most 255).
void CopyReplyName(const ReplyMessage &reply, size_t offset, size_t length, LogoBitmap &logo) {
  std::memset(logo.groupName, 0, sizeof logo.groupName);
  const size_t kept = length < sizeof logo.groupName - 1 ? length : sizeof logo.groupName - 1;
  for (size_t i = 0; i < kept; ++i) logo.groupName[i] = static_cast<char>(reply.At(offset + i));
}

// The bitmap part shared by the operator and caller-group replies, starting at the
// two size bytes: size (with its 4-byte header), skip, width, height, skip, bitmap.
void ReadBitmapSection(const ReplyMessage &reply, size_t at, LogoBitmap &logo) {
  const size_t declared = size_t{reply.At(at)} * 256 + reply.At(at + 1);
  logo.width = reply.At(at + 3);
  logo.height = reply.At(at + 4);
  const size_t size = BoundedReplyBitmap(declared, logo.width, logo.height);
  logo.size = static_cast<uint16_t>(size);
  CopyReplyBytes(reply, at + 6, logo.bitmap, size);
}

}  // namespace

void PackNetworkCode(const char (&networkCode)[kLogoNetworkCodeCapacity], uint8_t (&packed)[3]) {
  const auto digit = [&](size_t index) {
    return static_cast<uint8_t>(static_cast<unsigned char>(networkCode[index]) & 0x0F);
  };
  packed[0] = static_cast<uint8_t>(digit(1) << 4 | digit(0));
  packed[1] = static_cast<uint8_t>(0xF0 | digit(2));
  packed[2] = static_cast<uint8_t>(digit(5) << 4 | digit(4));
}

size_t BoundedLogoSize(const LogoBitmap &logo) {
  return logo.size < kLogoBitmapCapacity ? logo.size : kLogoBitmapCapacity;
}

size_t BoundedGroupNameLength(const LogoBitmap &logo) {
  size_t length = 0;
  while (length < sizeof logo.groupName - 1 && logo.groupName[length] != '\0') ++length;
  return length;
}

void BuildUploadRequest(const LogoBitmap &logo, LogoRequest &request) {
  RequestWriter out(request.bytes, request.length);
  const size_t size = BoundedLogoSize(logo);
  switch (logo.kind) {
    case kLogoStartup:
      request.type = kLogoTypeStartupOperator;
      out.Command(kCommandStartupUpload);
      out.Put(0x01);  // one block
      if (size != 0) {
        out.Put(kBlockStartupLogo);
        out.Put(logo.height);
        out.Put(logo.width);
        out.Put(logo.bitmap, size);
      } else {
        const size_t length = BoundedGroupNameLength(logo);
        out.Put(kBlockStartupText);
        out.Put(static_cast<uint8_t>(length));
        out.Put(logo.groupName, length);
      }
      break;
    case kLogoOperator: {
      request.type = kLogoTypeStartupOperator;
      uint8_t network[3];
      PackNetworkCode(logo.networkCode, network);
      out.Command(kCommandOperatorUpload);
      out.Put(0x00);
      out.Put(network, sizeof network);
      PutLengthWithHeader(out, size);
      PutBitmapHeader(out, logo);
      out.Put(logo.bitmap, size);
      break;
    }
    case kLogoCaller: {
      request.type = kLogoTypeCallerGroup;
      const size_t length = BoundedGroupNameLength(logo);
      out.Command(kCommandCallerUpload);
      out.Put(logo.groupNumber);
      out.Put(static_cast<uint8_t>(length));
      out.Put(logo.groupName, length);
      out.Put(logo.ringtoneId);
      out.Put(0x01);
      PutLengthWithHeader(out, size);
      PutBitmapHeader(out, logo);
      out.Put(logo.bitmap, size);
      break;
    }
    default:
      request.type = 0;
      request.length = 0;
      break;
  }
}

void BuildDownloadRequest(LogoKind kind, uint8_t groupNumber, LogoRequest &request) {
  RequestWriter out(request.bytes, request.length);
  switch (kind) {
    case kLogoStartup:
      request.type = kLogoTypeStartupOperator;
      out.Command(kCommandStartupDownload);
      break;
    case kLogoOperator:
      request.type = kLogoTypeStartupOperator;
      out.Command(kCommandOperatorDownload);
      out.Put(0x00);
      break;
    case kLogoCaller:
      request.type = kLogoTypeCallerGroup;
      out.Command(kCommandCallerDownload);
      out.Put(groupNumber);
      break;
    default:
      request.type = 0;
      request.length = 0;
      break;
  }
}

size_t BuildLogoSmsData(const LogoBitmap &logo, uint8_t *out) {
  if (logo.kind != kLogoOperator && logo.kind != kLogoCaller) return 0;
  size_t length = 0;
  if (logo.kind == kLogoOperator) {
    uint8_t network[3];
    PackNetworkCode(logo.networkCode, network);
    for (uint8_t byte : network) out[length++] = byte;
  }
  out[length++] = 0x00;
  out[length++] = logo.width;
  out[length++] = logo.height;
  out[length++] = 0x01;
  const size_t size = BoundedLogoSize(logo);
  std::memcpy(out + length, logo.bitmap, size);
  return length + size;
}

void ReadStartupReply(const ReplyMessage &reply, LogoBitmap &logo) {
  const unsigned blocks = reply.At(4);
  size_t at = 5;
  // Each block moves `at` forward by at least its type byte, so a block count the
  // message does not back up ends the walk at the end of the message.
  for (unsigned block = 0; block < blocks && at < reply.length; ++block) {
    switch (reply.At(at++)) {
      case kBlockStartupLogo: {
        logo.height = reply.At(at);
        logo.width = reply.At(at + 1);
        at += 2;
        const size_t declared = size_t{logo.height} * logo.width / 8;
        const size_t size = BoundedReplyBitmap(declared, logo.width, logo.height);
        logo.size = static_cast<uint16_t>(size);
        CopyReplyBytes(reply, at, logo.bitmap, size);
        at += declared;
        break;
      }
      case kBlockStartupText: {
        const size_t length = reply.At(at++);
        CopyReplyName(reply, at, length, logo);
        at += length;
        break;
      }
      case kBlockSkipOneByte:
        ++at;
        break;
      default:
        break;  // unknown block: only its type byte is consumed
    }
  }
}

void ReadOperatorReply(const ReplyMessage &reply, LogoBitmap &logo) {
  // Bytes 4-7 (the network code) are not taken: the record keeps the code it had.
  ReadBitmapSection(reply, 8, logo);
}

void ReadCallerGroupReply(const ReplyMessage &reply, LogoBitmap &logo) {
  const size_t nameLength = reply.At(5);
  CopyReplyName(reply, 6, nameLength, logo);
  logo.ringtoneId = reply.At(nameLength + 6);
  ReadBitmapSection(reply, nameLength + 8, logo);
}

}  // namespace pelkor
