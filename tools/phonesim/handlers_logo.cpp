// Logos: the start-up logo and text, the operator logo with its network, and the caller
// groups (name, ringtone, logo). The phone answers downloads from its state, keeps
// what it is sent, and reads operator and caller-group logos out of SMS to ports
// 0x1582 and 0x1583 (sms_ports.h).
//
// Requests:
//   type 0x05 cmd 0x16 / 0x18   start-up logo and text: get / set (blocks)
//   type 0x05 cmd 0x33 / 0x30   operator logo: get / set
//   type 0x03 cmd 0x10 / 0x13   caller group n: get / set
//
// State:
//   /logos/startup              {width, height, bitmap (hex), text, file}
//   /logos/operator             {network "MCC NN", width, height, bitmap, file}
//   /logos/caller_groups/N      {name, ringtone, width, height, bitmap, file}
//   /logos/uploads              every set request: kind, length, outcome
//   /logos/refuse_next          true: the next logo request gets its error reply (a
//                               start-up request, which has none, gets no answer)
// A non-empty "file" ties a logo to a file (FORM, NOL, NGG; NLM read too): a get
// request loads the file first, a set request writes it afterwards. Problems with
// the file are noted in "file_error".
//
// Control lines: "logo load startup|operator|caller N PATH" takes a logo from a file
// into the state at once; "logo dump startup|operator|caller N PATH" writes one out.
#include <sstream>
#include <string>

#include "dispatch.h"
#include "frame_codec.h"
#include "logo_files.h"
#include "sms_ports.h"

namespace phonesim {

namespace {

constexpr const char *kUploads = "/logos/uploads";

using nlohmann::json;

constexpr uint8_t kTypeLogo = 0x05;
constexpr uint8_t kTypeCallerGroup = 0x03;
constexpr uint16_t kOperatorLogoPort = 0x1582;
constexpr uint16_t kCallerLogoPort = 0x1583;

// ---- state access ------------------------------------------------------------------

json &Logos(PhoneState &state) {
  json &root = state.Json();
  if (!root.contains("logos") || !root["logos"].is_object()) root["logos"] = json::object();
  return root["logos"];
}

json &ObjectAt(json &parent, const std::string &key) {
  if (!parent.contains(key) || !parent[key].is_object()) parent[key] = json::object();
  return parent[key];
}

// The caller group's object, or nullptr when the phone has no such group.
json *CallerGroup(PhoneState &state, uint8_t number) {
  json &all = Logos(state);
  if (!all.contains("caller_groups") || !all["caller_groups"].is_array()) return nullptr;
  json &groups = all["caller_groups"];
  if (number >= groups.size()) return nullptr;
  if (!groups[number].is_object()) groups[number] = json::object();
  return &groups[number];
}

bool TakeRefusal(PhoneState &state) {
  json &all = Logos(state);
  if (!all.contains("refuse_next") || !all["refuse_next"].is_boolean() || !all["refuse_next"].get<bool>()) return false;
  all["refuse_next"] = false;
  return true;
}

std::string StringOf(const json &object, const char *key) {
  return object.contains(key) && object[key].is_string() ? object[key].get<std::string>() : std::string();
}

unsigned NumberOf(const json &object, const char *key, unsigned fallback, unsigned high) {
  if (!object.contains(key) || !object[key].is_number_unsigned()) return fallback;
  return std::min(object[key].get<unsigned>(), high);
}

// The logo a slot holds; its bitmap always has exactly width x height / 8 bytes.
logo::Image ImageOf(const json &slot, logo::Kind kind) {
  logo::Image image;
  image.kind = kind;
  const bool startup = kind == logo::Kind::kStartup;
  image.width = NumberOf(slot, "width", startup ? 84 : 72, 255);
  image.height = NumberOf(slot, "height", startup ? 48 : 14, 255);
  if (logo::BitmapBytes(image.width, image.height) > logo::kMaxBitmapBytes) {
    image.width = startup ? 84 : 72;
    image.height = startup ? 48 : 14;
  }
  if (!ParseHex(StringOf(slot, "bitmap"), image.bitmap)) image.bitmap.clear();
  image.bitmap.resize(logo::BitmapBytes(image.width, image.height), 0);
  image.network = StringOf(slot, "network");
  return image;
}

void StoreImage(json &slot, const logo::Image &image) {
  slot["width"] = image.width;
  slot["height"] = image.height;
  slot["bitmap"] = ToHex(image.bitmap);
}

// Loads a slot from its file, when it has one.
void LoadFromFile(json &slot, logo::Kind kind, const PhoneState &state) {
  const std::string named = StringOf(slot, "file");
  if (named.empty()) return;
  std::string refusal;
  const auto path = state.FilePath(named, refusal);
  if (!path) {
    slot["file_error"] = refusal;
    return;
  }
  const auto image = logo::ReadFile(*path);
  if (!image || image->kind != kind) {
    slot["file_error"] = image ? "not a logo of this kind: " + named : "cannot read a logo from " + named;
    return;
  }
  StoreImage(slot, *image);
  if (kind == logo::Kind::kOp && !image->network.empty()) slot["network"] = image->network;
  slot.erase("file_error");
}

void SaveToFile(json &slot, logo::Kind kind, const PhoneState &state) {
  const std::string named = StringOf(slot, "file");
  if (named.empty()) return;
  std::string refusal;
  const auto path = state.FilePath(named, refusal);
  if (!path)
    slot["file_error"] = refusal;
  else if (logo::WriteFile(*path, ImageOf(slot, kind)))
    slot.erase("file_error");
  else
    slot["file_error"] = "cannot write " + named;
}

void NoteUpload(PhoneState &state, const char *kind, size_t length, const char *outcome) {
  state.Append(kUploads, json{{"kind", kind}, {"length", length}, {"outcome", outcome}});
}

// ---- network codes -------------------------------------------------------------------

uint8_t Digit(const std::string &text, size_t index) {
  return index < text.size() && text[index] >= '0' && text[index] <= '9' ? static_cast<uint8_t>(text[index] - '0') : 0;
}

std::vector<uint8_t> PackNetwork(const std::string &code) {
  return {static_cast<uint8_t>(Digit(code, 1) << 4 | Digit(code, 0)), static_cast<uint8_t>(0xF0 | Digit(code, 2)),
          static_cast<uint8_t>(Digit(code, 5) << 4 | Digit(code, 4))};
}

std::string UnpackNetwork(uint8_t a, uint8_t b, uint8_t c) {
  char code[8];
  std::snprintf(code, sizeof code, "%x%x%x %x%x", a & 0x0F, a >> 4, b & 0x0F, c & 0x0F, c >> 4);
  return code;
}

// ---- the bitmap section of operator and caller-group messages -------------------------
// (size + 4) as 16 bits big-endian, 00, width, height, 01, then the bitmap.

void PutBitmapSection(std::vector<uint8_t> &out, const logo::Image &image) {
  const size_t withHeader = image.bitmap.size() + 4;
  for (uint8_t byte : {static_cast<uint8_t>(withHeader >> 8), static_cast<uint8_t>(withHeader & 0xFF), uint8_t{0},
                       static_cast<uint8_t>(image.width), static_cast<uint8_t>(image.height), uint8_t{1}})
    out.push_back(byte);
  out.insert(out.end(), image.bitmap.begin(), image.bitmap.end());
}

// Reads the section at `at` into `image`; false when it is inconsistent or cut short.
bool ReadBitmapSection(const Request &request, size_t at, logo::Image &image) {
  const size_t declared = size_t{request.At(at)} << 8 | request.At(at + 1);
  image.width = request.At(at + 3);
  image.height = request.At(at + 4);
  const size_t bytes = logo::BitmapBytes(image.width, image.height);
  if (declared != bytes + 4 || bytes > logo::kMaxBitmapBytes || request.bytes.size() < at + 6 + bytes) return false;
  const auto first = request.bytes.begin() + static_cast<long>(at + 6);
  image.bitmap.assign(first, first + static_cast<long>(bytes));
  return true;
}

// ---- start-up logo and text --------------------------------------------------------------

void HandleStartupGet(const Request &, PhoneState &state, Replies &replies) {
  if (TakeRefusal(state)) return;  // the phone has no error reply for this one
  json &slot = ObjectAt(Logos(state), "startup");
  LoadFromFile(slot, logo::Kind::kStartup, state);
  const logo::Image image = ImageOf(slot, logo::Kind::kStartup);
  const std::string text = StringOf(slot, "text").substr(0, 255);
  // Three blocks: the logo, the text, and a one-byte block the phone always adds.
  std::vector<uint8_t> reply = {
      0x01, 0x00, 0x00, 0x17, 0x03, 0x01, static_cast<uint8_t>(image.height), static_cast<uint8_t>(image.width)};
  reply.insert(reply.end(), image.bitmap.begin(), image.bitmap.end());
  reply.push_back(0x02);
  reply.push_back(static_cast<uint8_t>(text.size()));
  reply.insert(reply.end(), text.begin(), text.end());
  reply.push_back(0x03);
  reply.push_back(0x00);
  replies.Send(kTypeLogo, std::move(reply));
}

void HandleStartupSet(const Request &request, PhoneState &state, Replies &replies) {
  if (TakeRefusal(state)) {
    NoteUpload(state, "startup", request.bytes.size(), "refused");
    return;
  }
  json &slot = ObjectAt(Logos(state), "startup");
  json changed = slot;
  const char *kind = "startup";
  const unsigned blocks = request.At(4);
  size_t at = 5;
  bool good = blocks > 0;
  for (unsigned block = 0; good && block < blocks; ++block) {
    const uint8_t type = request.At(at++);
    if (type == 0x01) {
      logo::Image image{logo::Kind::kStartup, request.At(at + 1), request.At(at), {}, {}};
      const size_t bytes = logo::BitmapBytes(image.width, image.height);
      at += 2;
      good = bytes <= logo::kMaxBitmapBytes && request.bytes.size() >= at + bytes;
      if (!good) break;
      image.bitmap.assign(request.bytes.begin() + static_cast<long>(at),
                          request.bytes.begin() + static_cast<long>(at + bytes));
      StoreImage(changed, image);
      at += bytes;
    } else if (type == 0x02) {
      const size_t length = request.At(at++);
      good = request.bytes.size() >= at + length;
      if (!good) break;
      changed["text"] = std::string(request.bytes.begin() + static_cast<long>(at),
                                    request.bytes.begin() + static_cast<long>(at + length));
      at += length;
      kind = "startup_text";
    } else {
      good = false;
    }
  }
  if (!good) {
    NoteUpload(state, kind, request.bytes.size(), "malformed");
    return;  // nothing the phone could take: no answer
  }
  slot = changed;
  SaveToFile(slot, logo::Kind::kStartup, state);
  NoteUpload(state, kind, request.bytes.size(), "stored");
  replies.Send(kTypeLogo, {0x01, 0x00, 0x00, 0x19});
}

// ---- operator logo -----------------------------------------------------------------------

void HandleOperatorGet(const Request &request, PhoneState &state, Replies &replies) {
  if (TakeRefusal(state)) {
    replies.Send(kTypeLogo, {0x01, 0x00, 0x00, 0x35, 0x00});
    return;
  }
  json &slot = ObjectAt(Logos(state), "operator");
  LoadFromFile(slot, logo::Kind::kOp, state);
  const logo::Image image = ImageOf(slot, logo::Kind::kOp);
  // Location at byte 4, the network code at 5-7, the bitmap section from byte 8.
  std::vector<uint8_t> reply = {0x01, 0x00, 0x00, 0x34, request.At(4, 0x01)};
  for (uint8_t byte : PackNetwork(image.network)) reply.push_back(byte);
  PutBitmapSection(reply, image);
  replies.Send(kTypeLogo, std::move(reply));
}

void HandleOperatorSet(const Request &request, PhoneState &state, Replies &replies) {
  logo::Image image;
  image.kind = logo::Kind::kOp;
  if (TakeRefusal(state) || !ReadBitmapSection(request, 8, image)) {
    NoteUpload(state, "operator", request.bytes.size(), "refused");
    replies.Send(kTypeLogo, {0x01, 0x00, 0x00, 0x32, 0x00});
    return;
  }
  json &slot = ObjectAt(Logos(state), "operator");
  StoreImage(slot, image);
  slot["network"] = UnpackNetwork(request.At(5), request.At(6), request.At(7));
  SaveToFile(slot, logo::Kind::kOp, state);
  NoteUpload(state, "operator", request.bytes.size(), "stored");
  replies.Send(kTypeLogo, {0x01, 0x00, 0x00, 0x31});
}

// ---- caller groups -----------------------------------------------------------------------

void HandleCallerGet(const Request &request, PhoneState &state, Replies &replies) {
  const uint8_t number = request.At(4);
  json *group = CallerGroup(state, number);
  if (TakeRefusal(state) || group == nullptr) {
    replies.Send(kTypeCallerGroup, {0x01, 0x00, 0x00, 0x12, number});
    return;
  }
  LoadFromFile(*group, logo::Kind::kCaller, state);
  const logo::Image image = ImageOf(*group, logo::Kind::kCaller);
  const std::string name = StringOf(*group, "name").substr(0, 255);
  std::vector<uint8_t> reply = {0x01, 0x00, 0x00, 0x11, number, static_cast<uint8_t>(name.size())};
  reply.insert(reply.end(), name.begin(), name.end());
  reply.push_back(static_cast<uint8_t>(NumberOf(*group, "ringtone", 0, 255)));
  reply.push_back(0x01);  // a logo is set
  PutBitmapSection(reply, image);
  replies.Send(kTypeCallerGroup, std::move(reply));
}

void HandleCallerSet(const Request &request, PhoneState &state, Replies &replies) {
  const uint8_t number = request.At(4);
  const size_t nameLength = request.At(5);
  json *group = CallerGroup(state, number);
  logo::Image image;
  image.kind = logo::Kind::kCaller;
  if (TakeRefusal(state) || group == nullptr || !ReadBitmapSection(request, nameLength + 8, image)) {
    NoteUpload(state, "caller", request.bytes.size(), "refused");
    replies.Send(kTypeCallerGroup, {0x01, 0x00, 0x00, 0x15, number});
    return;
  }
  (*group)["name"] = std::string(request.bytes.begin() + 6, request.bytes.begin() + 6 + static_cast<long>(nameLength));
  (*group)["ringtone"] = request.At(nameLength + 6);
  StoreImage(*group, image);
  SaveToFile(*group, logo::Kind::kCaller, state);
  NoteUpload(state, "caller", request.bytes.size(), "stored");
  replies.Send(kTypeCallerGroup, {0x01, 0x00, 0x00, 0x14});
}

// ---- logos in SMS --------------------------------------------------------------------------

// 00 width height 01 then the bitmap, row-major.
json DecodeSmsBitmap(std::span<const uint8_t> payload, logo::Kind kind, json out) {
  if (payload.size() < 4) {
    out["error"] = "no bitmap header";
    return out;
  }
  logo::Image image{kind, payload[1], payload[2], {}, {}};
  const size_t bytes = logo::BitmapBytes(image.width, image.height);
  out["width"] = image.width;
  out["height"] = image.height;
  out["depth"] = payload[3];
  if (payload.size() < 4 + bytes) {
    out["error"] = "bitmap shorter than its geometry";
    return out;
  }
  if (payload.size() > 4 + bytes) out["extra_bytes"] = payload.size() - 4 - bytes;
  image.bitmap.assign(payload.begin() + 4, payload.begin() + 4 + static_cast<long>(bytes));
  out["bitmap"] = ToHex(image.bitmap);
  out["rows"] = logo::Rows(image);
  return out;
}

json DecodeOperatorSms(std::span<const uint8_t> payload) {
  json out = {{"logo", "operator"}};
  if (payload.size() < 3) {
    out["error"] = "no network code";
    return out;
  }
  out["network"] = UnpackNetwork(payload[0], payload[1], payload[2]);
  return DecodeSmsBitmap(payload.subspan(3), logo::Kind::kOp, std::move(out));
}

json DecodeCallerSms(std::span<const uint8_t> payload) {
  return DecodeSmsBitmap(payload, logo::Kind::kCaller, {{"logo", "caller"}});
}

// ---- control lines ---------------------------------------------------------------------------

constexpr const char *kLogoControlUsage = "logo load|dump startup|operator|caller N PATH";

std::string LogoControl(const std::string &arguments, PhoneState &state, Replies &) {
  std::istringstream words(arguments);
  std::string action, which;
  words >> action >> which;
  json *slot = nullptr;
  logo::Kind kind = logo::Kind::kStartup;
  if (which == "startup") {
    slot = &ObjectAt(Logos(state), "startup");
  } else if (which == "operator") {
    slot = &ObjectAt(Logos(state), "operator");
    kind = logo::Kind::kOp;
  } else if (which == "caller") {
    int number = -1;
    if (!(words >> number) || number < 0 || number > 255) return std::string("error: ") + kLogoControlUsage;
    slot = CallerGroup(state, static_cast<uint8_t>(number));
    kind = logo::Kind::kCaller;
    if (slot == nullptr) return "error: no caller group " + std::to_string(number);
  }
  std::string path;
  std::getline(words >> std::ws, path);
  if (slot == nullptr || path.empty() || (action != "load" && action != "dump"))
    return std::string("error: ") + kLogoControlUsage;
  std::string refusal;
  const auto confined = state.FilePath(path, refusal);
  if (!confined) return "error: " + refusal;
  if (action == "dump") return logo::WriteFile(*confined, ImageOf(*slot, kind)) ? "ok" : "error: cannot write " + path;
  const auto image = logo::ReadFile(*confined);
  if (!image) return "error: cannot read a logo from " + path;
  if (image->kind != kind) return "error: not a logo of this kind: " + path;
  StoreImage(*slot, *image);
  if (kind == logo::Kind::kOp && !image->network.empty()) (*slot)["network"] = image->network;
  return "ok";
}

// ---- defaults --------------------------------------------------------------------------------

json FramedLogo(logo::Kind kind, unsigned width, unsigned height) {
  logo::Image image{kind, width, height, std::vector<uint8_t>(logo::BitmapBytes(width, height), 0), {}};
  for (unsigned x = 0; x < width; ++x) {
    logo::SetPixel(image, x, 0, true);
    logo::SetPixel(image, x, height - 1, true);
  }
  for (unsigned y = 0; y < height; ++y) {
    logo::SetPixel(image, 0, y, true);
    logo::SetPixel(image, width - 1, y, true);
    logo::SetPixel(image, y * width / height, y, true);  // a diagonal, so that no two layouts look alike
  }
  json slot = json::object();
  StoreImage(slot, image);
  slot["file"] = "";
  return slot;
}

json DefaultLogos() {
  json startup = FramedLogo(logo::Kind::kStartup, 84, 48);
  startup["text"] = "Pelkor";
  json op = FramedLogo(logo::Kind::kOp, 72, 14);
  op["network"] = "262 01";
  json groups = json::array();
  const char *names[] = {"Family", "VIP", "Friends", "Colleagues", "Other"};
  for (unsigned i = 0; i < 5; ++i) {
    json group = FramedLogo(logo::Kind::kCaller, 72, 14);
    group["name"] = names[i];
    group["ringtone"] = 0x10 + i;
    groups.push_back(group);
  }
  return {{"startup", startup},
          {"operator", op},
          {"caller_groups", groups},
          {"uploads", json::array()},
          {"refuse_next", false}};
}

}  // namespace

void RegisterLogoHandlers(HandlerTable &table) {
  table.AddDefaults({{"logos", DefaultLogos()}});
  table.On(kTypeLogo, 0x16, HandleStartupGet);
  table.On(kTypeLogo, 0x18, HandleStartupSet);
  table.On(kTypeLogo, 0x33, HandleOperatorGet);
  table.On(kTypeLogo, 0x30, HandleOperatorSet);
  table.On(kTypeCallerGroup, 0x10, HandleCallerGet);
  table.On(kTypeCallerGroup, 0x13, HandleCallerSet);
  table.OnControl("logo", kLogoControlUsage, LogoControl);
  RegisterSmsPortDecoder(kOperatorLogoPort, DecodeOperatorSms);
  RegisterSmsPortDecoder(kCallerLogoPort, DecodeCallerSms);
}

}  // namespace phonesim
