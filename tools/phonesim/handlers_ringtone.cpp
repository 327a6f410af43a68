// Ringing tones: the phone takes a tone in the Smart Messaging bit-stream format either
// straight over FBUS or inside an SMS to port 0x1581, plays it back to itself and keeps
// what it understood.
//
// Requests:
//   type 0x12              0C 01 06 05 04 15 81 15 81, the tone, 01
//   type 0x05 cmd 0x36     00 01 00 36 00 00 n, the n bytes of the tone, 01
// Neither is answered beyond the link's acknowledgement.
//   type 0x40 9E           00 01 9E loc: a stored tone read back (Gammu's getringtone)
//
// State:
//   /ringtone/tone      the last tone taken whole (absent until one is)
//   /ringtone/uploads   every upload: message type, bytes, the decoded tone, and "error"
//                       when the message or the tone could not be read
//   /ringtone/stored    tones kept at locations: {location (from 1), name, tone (hex,
//                       the phone's binary form 02 FC 09 ... 07 0B)}
// SMS to port 0x1581 decode through RegisterSmsPortDecoder (sms_ports.h).
#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "dispatch.h"
#include "frame_codec.h"
#include "sms_pdu.h"
#include "sms_ports.h"

namespace phonesim {

namespace {

// Where the ringing tones are kept.
constexpr const char *kUploads = "/ringtone/uploads";
constexpr const char *kStored = "/ringtone/stored";

using nlohmann::json;

constexpr uint16_t kRingtonePort = 0x1581;

// Reads fields of 1 to 16 bits, most significant bit first, never past the end.
class BitStream {
 public:
  explicit BitStream(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  bool Take(unsigned bits, unsigned &value) {
    if (bits > Remaining()) return false;
    value = 0;
    for (unsigned i = 0; i < bits; ++i, ++position_) {
      const unsigned bit = (bytes_[position_ / 8] >> (7 - position_ % 8)) & 1u;
      value = value << 1 | bit;
    }
    return true;
  }
  // Fillers up to the next octet must be zero; false when one is not.
  bool Align() {
    unsigned filler = 0;
    const unsigned bits = static_cast<unsigned>((8 - position_ % 8) % 8);
    return Take(bits, filler) && filler == 0;
  }
  size_t Remaining() const { return bytes_.size() * 8 - position_; }
  size_t Position() const { return position_; }

 private:
  std::span<const uint8_t> bytes_;
  size_t position_ = 0;
};

// Command and instruction identifiers of the format.
constexpr unsigned kCommandProgramming = 0x25;  // 0100101
constexpr unsigned kCommandSound = 0x1D;        // 0011101
constexpr unsigned kSongBasic = 1;              // 001
constexpr unsigned kInstructionPatternHeader = 0;
constexpr unsigned kInstructionNote = 1;
constexpr unsigned kInstructionScale = 2;
constexpr unsigned kInstructionStyle = 3;
constexpr unsigned kInstructionTempo = 4;
constexpr unsigned kInstructionVolume = 5;

// Until a scale instruction says otherwise, notes play in the format's default scale.
constexpr unsigned kDefaultScale = 1;

constexpr std::array<unsigned, 32> kBeatsPerMinute = {25,  28,  31,  35,  40,  45,  50,  56,  63,  70,  80,
                                                      90,  100, 112, 125, 140, 160, 180, 200, 225, 250, 285,
                                                      320, 355, 400, 450, 500, 565, 635, 715, 800, 900};
constexpr std::array<const char *, 13> kNoteNames = {"pause", "c", "c#", "d", "d#", "e", "f",
                                                     "f#",    "g", "g#", "a", "a#", "b"};
constexpr std::array<const char *, 6> kDurationNames = {"whole",  "half",      "quarter",
                                                        "eighth", "sixteenth", "thirty-second"};
constexpr std::array<const char *, 4> kSpecifierNames = {"none", "dotted", "double-dotted", "two-thirds"};
constexpr std::array<const char *, 3> kStyleNames = {"natural", "continuous", "staccato"};

// Reads a note instruction (after its id) into tone["notes"]; false (with
// tone["error"]) when it is cut short or reserved.
bool ReadNote(BitStream &in, json &tone, unsigned scale, unsigned index) {
  unsigned value = 0, duration = 0, specifier = 0;
  if (!in.Take(4, value) || !in.Take(3, duration) || !in.Take(2, specifier)) {
    tone["error"] = "note cut short";
    return false;
  }
  if (value >= kNoteNames.size() || duration >= kDurationNames.size()) {
    tone["error"] = "instruction " + std::to_string(index) + ": reserved note value or duration";
    return false;
  }
  json note = {
      {"note", kNoteNames[value]}, {"duration", kDurationNames[duration]}, {"specifier", kSpecifierNames[specifier]}};
  if (value != 0) note["scale"] = scale;
  tone["notes"].push_back(std::move(note));
  return true;
}

// Reads the instruction with the given id (its operands follow in the stream);
// false (with tone["error"]) on a bad one.
bool ReadInstruction(BitStream &in, unsigned id, unsigned index, json &tone, unsigned &scale) {
  unsigned value = 0;
  switch (id) {
    case kInstructionNote:
      return ReadNote(in, tone, scale, index);
    case kInstructionScale:
      if (!in.Take(2, scale)) {
        tone["error"] = "scale cut short";
        return false;
      }
      return true;
    case kInstructionStyle:
      if (!in.Take(2, value) || value >= kStyleNames.size()) {
        tone["error"] = "style cut short or reserved";
        return false;
      }
      tone["style"] = kStyleNames[value];
      return true;
    case kInstructionTempo:
      if (!in.Take(5, value)) {
        tone["error"] = "tempo cut short";
        return false;
      }
      tone["tempo"] = kBeatsPerMinute[value];
      return true;
    case kInstructionVolume:
      if (!in.Take(4, value)) {
        tone["error"] = "volume cut short";
        return false;
      }
      tone["volume"] = value;
      return true;
    default:
      tone["error"] = "instruction " + std::to_string(index) + " has unknown id " + std::to_string(id);
      return false;
  }
}

// Reads one pattern's instructions into tone; false (with tone["error"]) on a bad one.
bool ReadPattern(BitStream &in, json &tone, unsigned &scale) {
  unsigned header = 0, patternId = 0, loop = 0, count = 0;
  if (!in.Take(3, header) || !in.Take(2, patternId) || !in.Take(4, loop) || !in.Take(8, count)) {
    tone["error"] = "pattern header cut short";
    return false;
  }
  if (header != kInstructionPatternHeader) {
    tone["error"] = "pattern does not start with a pattern header";
    return false;
  }
  json pattern = {{"id", patternId}, {"loop", loop}, {"instructions", count}};
  tone["patterns"].push_back(pattern);

  for (unsigned i = 0; i < count; ++i) {
    unsigned id = 0;
    if (!in.Take(3, id)) {
      tone["error"] = "instruction " + std::to_string(i) + " of " + std::to_string(count) + " missing";
      return false;
    }
    if (!ReadInstruction(in, id, i, tone, scale)) return false;
  }
  return true;
}

bool ReadSound(BitStream &in, json &tone) {
  unsigned songType = 0, nameLength = 0, patterns = 0;
  if (!in.Take(3, songType) || songType != kSongBasic) {
    tone["error"] = "not a basic song";
    return false;
  }
  if (!in.Take(4, nameLength)) {
    tone["error"] = "name cut short";
    return false;
  }
  std::string name;
  for (unsigned i = 0; i < nameLength; ++i) {
    unsigned c = 0;
    if (!in.Take(8, c)) {
      tone["error"] = "name cut short";
      return false;
    }
    name += static_cast<char>(c);
  }
  // Tone names are 8-bit characters: Latin-1, kept readable as JSON.
  tone["name"] = sms::Latin1Text(std::span(reinterpret_cast<const uint8_t *>(name.data()), name.size()));
  if (!in.Take(8, patterns)) {
    tone["error"] = "song sequence cut short";
    return false;
  }
  unsigned scale = kDefaultScale;
  for (unsigned p = 0; p < patterns; ++p) {
    if (!ReadPattern(in, tone, scale)) return false;
  }
  if (!in.Align()) {
    tone["error"] = "filler after the song is not zero";
    return false;
  }
  return true;
}

// Reads a ringing tone the way a receiving phone does. Always returns an object; "error"
// says where reading stopped, and what was read up to there is kept.
json DecodeRingingTone(std::span<const uint8_t> bytes) {
  json tone = {{"name", ""}, {"notes", json::array()}, {"patterns", json::array()}};
  BitStream in(bytes);
  unsigned commands = 0;
  if (!in.Take(8, commands)) {
    tone["error"] = "empty";
    return tone;
  }
  bool sound = false;
  for (unsigned c = 0; c < commands; ++c) {
    unsigned command = 0;
    if (!in.Take(7, command)) {
      tone["error"] = "command " + std::to_string(c) + " missing";
      return tone;
    }
    if (command == kCommandProgramming) {
      if (!in.Align()) {
        tone["error"] = "filler after the programming command is not zero";
        return tone;
      }
    } else if (command == kCommandSound) {
      if (!ReadSound(in, tone)) return tone;
      sound = true;
    } else {
      tone["error"] = "unknown command " + std::to_string(command);
      return tone;
    }
  }
  unsigned end = 0;
  if (!in.Take(8, end) || end != 0) {
    tone["error"] = "no command end";
    return tone;
  }
  if (!sound) tone["error"] = "no sound command";
  if (in.Remaining() > 0) tone["extra_bytes"] = in.Remaining() / 8;
  return tone;
}

constexpr std::array<uint8_t, 9> kDirectPrefix = {0x0C, 0x01, 0x06, 0x05, 0x04, 0x15, 0x81, 0x15, 0x81};
constexpr size_t kCommandPrefixSize = 7;  // 00 01 00 36 00 00 n
constexpr uint8_t kUploadTrailer = 0x01;

// Keeps an upload and, when it read cleanly, makes its tone the phone's tone.
void KeepUpload(PhoneState &state, const Request &request, json upload) {
  json &root = state.Json();
  if (!root.contains("ringtone") || !root["ringtone"].is_object()) root["ringtone"] = json::object();
  upload["message_type"] = request.type;
  upload["bytes"] = ToHex(request.bytes);
  if (!upload.contains("error") && upload.contains("tone")) {
    if (upload["tone"].contains("error")) {
      upload["error"] = upload["tone"]["error"];
    } else {
      root["ringtone"]["tone"] = upload["tone"];
    }
  }
  state.Append(kUploads, std::move(upload));
}

void HandleDirectUpload(const Request &request, PhoneState &state, Replies &) {
  const auto bytes = request.bytes;
  json upload = json::object();
  if (bytes.size() < kDirectPrefix.size() + 1 ||
      !std::equal(kDirectPrefix.begin(), kDirectPrefix.end(), bytes.begin())) {
    upload["error"] = "not a ringing tone for port 0x1581";
  } else if (bytes.back() != kUploadTrailer) {
    upload["error"] = "no closing 01";
  } else {
    upload["tone"] = DecodeRingingTone(bytes.subspan(kDirectPrefix.size(), bytes.size() - kDirectPrefix.size() - 1));
  }
  KeepUpload(state, request, std::move(upload));
}

void HandleCommandUpload(const Request &request, PhoneState &state, Replies &) {
  const auto bytes = request.bytes;
  json upload = json::object();
  const size_t length = request.At(kCommandPrefixSize - 1);
  if (bytes.size() < kCommandPrefixSize + length + 1) {
    upload["error"] = "shorter than its tone length says";
  } else if (bytes[kCommandPrefixSize + length] != kUploadTrailer) {
    upload["error"] = "no closing 01 after the tone";
  } else {
    upload["tone"] = DecodeRingingTone(bytes.subspan(kCommandPrefixSize, length));
  }
  KeepUpload(state, request, std::move(upload));
}

// The ringtone download of Gammu (type 0x40, 00 01 9E loc, loc counted from 0): the tone
// kept in /ringtone/stored at location loc + 1, answered 01 00 9E loc 00 0C 01 2C, its
// name, 00 00, its ringing-tone bytes in the phone's binary form (02 FC 09 ... 07 0B) and
// two bytes 00 00 after them. A location without a tone answers status 01.
void HandleRingtoneDownload(const Request &request, PhoneState &state, Replies &replies) {
  const uint8_t location = request.At(3);
  std::vector<uint8_t> reply = {0x01, 0x00, 0x9E, location};
  const json &root = std::as_const(state).Json();
  const json::json_pointer where(kStored);
  if (root.contains(where) && root[where].is_array()) {
    for (const json &tone : root[where]) {
      if (!tone.is_object() || !tone.contains("location") || !tone["location"].is_number_integer() ||
          tone["location"].get<int>() != location + 1)
        continue;
      std::vector<uint8_t> bytes;
      const std::string name = tone.contains("name") && tone["name"].is_string() ? tone["name"].get<std::string>() : "";
      if (!tone.contains("tone") || !tone["tone"].is_string() || !ParseHex(tone["tone"].get<std::string>(), bytes))
        break;
      reply.insert(reply.end(), {0x00, 0x0C, 0x01, 0x2C});
      reply.insert(reply.end(), name.begin(), name.end());
      reply.insert(reply.end(), {0x00, 0x00});
      reply.insert(reply.end(), bytes.begin(), bytes.end());
      reply.insert(reply.end(), {0x00, 0x00});
      replies.Send(0x40, std::move(reply));
      return;
    }
  }
  reply.push_back(0x01);
  replies.Send(0x40, std::move(reply));
}

}  // namespace

void RegisterRingtoneHandlers(HandlerTable &table) {
  table.AddDefaults({{"ringtone", {{"uploads", json::array()}, {"stored", json::array()}}}});
  table.OnType(0x12, HandleDirectUpload);
  table.On(0x05, 0x36, HandleCommandUpload);
  table.On(0x40, 0x9E, HandleRingtoneDownload);
  RegisterSmsPortDecoder(kRingtonePort, DecodeRingingTone);
}

}  // namespace phonesim
