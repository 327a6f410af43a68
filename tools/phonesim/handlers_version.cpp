// Identity asked for piece by piece (the infrared link has no start-up record): the
// IMEI and the hardware text on type 0x40, the version lines on type 0xD1.
#include <string>

#include "dispatch.h"
#include "frame_codec.h"

namespace phonesim {

namespace {

void AppendText(std::vector<uint8_t> &bytes, const std::string &text) {
  bytes.insert(bytes.end(), text.begin(), text.end());
  bytes.push_back(0x00);
}

// Where the identity texts are kept.
constexpr const char *kImei = "/identity/imei";
constexpr const char *kHardware = "/identity/hardware";
constexpr const char *kPpm = "/identity/ppm";
constexpr const char *kMcuChecksum = "/identity/mcu_checksum";
constexpr const char *kDspRom = "/identity/dsp_rom";
constexpr const char *kOriginalImei = "/identity/original_imei";
constexpr const char *kMade = "/identity/made";
constexpr const char *kProductCode = "/identity/product_code";
constexpr const char *kMsid = "/identity/msid";
// The three version lines: software, date, model.
constexpr const char *kVersionLines[] = {"/identity/software", "/identity/date", "/identity/model"};

// 00 01 66: the IMEI, after 01 00 66 01.
void HandleImei(const Request &, PhoneState &state, Replies &replies) {
  std::vector<uint8_t> reply = {0x01, 0x00, 0x66, 0x01};
  AppendText(reply, state.Text(kImei, "").substr(0, 40));
  replies.Send(0x40, std::move(reply));
}

// Texts of the phone's own, asked for with the extended commands enabled: 00 01 C8 xx,
// CC xx or CA xx, answered 01 00 <same two bytes> 00 and the zero-terminated text.
// C8 01 is the three version lines (software, date, model), each ended by a line feed.
struct InfoText {
  uint8_t command, what;
  const char *key;
};
constexpr InfoText kTexts[] = {{0xC8, 0x05, kHardware},   {0xC8, 0x12, kPpm},          {0xC8, 0x02, kMcuChecksum},
                               {0xC8, 0x09, kDspRom},     {0xCC, 0x01, kOriginalImei}, {0xCC, 0x02, kMade},
                               {0xCA, 0x01, kProductCode}};

void HandleInfoText(const Request &request, PhoneState &state, Replies &replies) {
  const uint8_t command = request.At(2);
  const uint8_t what = request.At(3);
  std::string text;
  if (command == 0xC8 && what == 0x01) {
    for (const char *key : kVersionLines) text += state.Text(key, "").substr(0, 40) + "\n";
  } else {
    const InfoText *found = nullptr;
    for (const InfoText &entry : kTexts)
      if (entry.command == command && entry.what == what) found = &entry;
    if (found == nullptr) return;  // not a text this phone knows
    text = state.Text(found->key, "").substr(0, 40);
  }
  std::vector<uint8_t> reply = {0x01, 0x00, command, what, 0x00};
  AppendText(reply, text);
  replies.Send(0x40, std::move(reply));
}

// 00 01 B4 xx yy: a block of the phone's memory, answered on B5 after the two address
// bytes; 00 B4 is the mobile station id (/identity/msid, hex).
void HandleMemoryBlock(const Request &request, PhoneState &state, Replies &replies) {
  std::vector<uint8_t> reply = {0x01, 0x00, 0xB5, request.At(3), request.At(4)};
  std::vector<uint8_t> block;
  if (request.At(3) == 0x00 && request.At(4) == 0xB4) ParseHex(state.Text(kMsid, ""), block);
  block.resize(std::min<size_t>(block.size(), 64));
  reply.insert(reply.end(), block.begin(), block.end());
  replies.Send(0x40, std::move(reply));
}

// 00 01 00 03 00 on type 0xD1: three lines (software version, date, model), each
// ended by a line feed, from byte 6 of a type 0xD2 reply.
void HandleVersionLines(const Request &, PhoneState &state, Replies &replies) {
  std::vector<uint8_t> reply = {0x01, 0x00, 0x00, 0x03, 0x00, 0x00};
  for (const char *key : kVersionLines) {
    const std::string line = state.Text(key, "").substr(0, 40);
    reply.insert(reply.end(), line.begin(), line.end());
    reply.push_back(0x0A);
  }
  replies.Send(0xD2, std::move(reply));
}

}  // namespace

void RegisterVersionHandlers(HandlerTable &table) {
  table.AddDefaults({{"identity",
                      {{"date", "17-02-99"},
                       {"ppm", ""},
                       {"product_code", ""},
                       {"mcu_checksum", ""},
                       {"dsp_rom", ""},
                       {"original_imei", ""},
                       {"made", ""},
                       {"msid", ""}}}});
  table.On(0x40, 0x66, HandleImei);
  for (const uint8_t command : {uint8_t{0xC8}, uint8_t{0xCC}, uint8_t{0xCA}}) table.On(0x40, command, HandleInfoText);
  table.On(0x40, 0xB4, HandleMemoryBlock);
  table.On(0xD1, 0x03, HandleVersionLines);
}

}  // namespace phonesim
