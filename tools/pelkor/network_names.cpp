#include "network_names.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace pelkor_tool {
namespace {

const char kDefaultDatabase[] = "/usr/share/mobile-broadband-provider-info/serviceproviders.xml";

std::string Unescape(const std::string &text) {
  static const struct {
    const char *entity, *character;
  } entities[] = {{"&amp;", "&"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}};
  std::string out;
  for (size_t i = 0; i < text.size();) {
    bool replaced = false;
    for (const auto &e : entities) {
      const std::string entity = e.entity;
      if (text.compare(i, entity.size(), entity) == 0) {
        out += e.character;
        i += entity.size();
        replaced = true;
        break;
      }
    }
    if (!replaced) out += text[i++];
  }
  return out;
}

// The value of attribute `name` in the tag text `tag` ("<network-id mcc=\"262\" mnc=\"01\"/>").
std::string Attribute(const std::string &tag, const std::string &name) {
  const std::string key = " " + name + "=\"";
  const size_t at = tag.find(key);
  if (at == std::string::npos) return "";
  const size_t start = at + key.size(), end = tag.find('"', start);
  return end == std::string::npos ? "" : tag.substr(start, end - start);
}

bool SameNumber(const std::string &a, const std::string &b) {
  if (a.empty() || b.empty()) return false;
  char *endA = nullptr, *endB = nullptr;
  const long x = std::strtol(a.c_str(), &endA, 10), y = std::strtol(b.c_str(), &endB, 10);
  return *endA == '\0' && *endB == '\0' && x == y;
}

}  // namespace

std::string NetworkName(const std::string &networkCode) {
  std::istringstream code(networkCode);
  std::string mcc, mnc;
  if (!(code >> mcc >> mnc)) return "";
  const char *override = std::getenv("PELKOR_PROVIDERS_XML");
  std::ifstream file(override != nullptr && override[0] != '\0' ? override : kDefaultDatabase);
  if (!file) return "";
  const std::string xml((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());

  // Walks the providers: each has its name first, then its <gsm> block with network ids.
  // The first provider that claims the code wins, unless a later one is marked primary.
  std::string found;
  for (size_t at = xml.find("<provider"); at != std::string::npos; at = xml.find("<provider", at + 1)) {
    const size_t end = xml.find("</provider>", at);
    if (end == std::string::npos) break;
    const std::string block = xml.substr(at, end - at);
    const std::string head = block.substr(0, block.find('>') + 1);
    bool claims = false;
    for (size_t id = block.find("<network-id"); id != std::string::npos && !claims;
         id = block.find("<network-id", id + 1)) {
      const std::string tag = block.substr(id, block.find('>', id) - id);
      claims = SameNumber(Attribute(tag, "mcc"), mcc) && SameNumber(Attribute(tag, "mnc"), mnc);
    }
    if (!claims) continue;
    const size_t nameTag = block.find("<name");
    if (nameTag == std::string::npos) continue;
    const size_t open = block.find('>', nameTag);
    if (open == std::string::npos) continue;
    const size_t start = open + 1, stop = block.find("</name>", start);
    if (stop == std::string::npos) continue;
    const std::string name = Unescape(block.substr(start, stop - start));
    if (Attribute(head, "primary") == "true") return name;
    if (found.empty()) found = name;
  }
  return found;
}

}  // namespace pelkor_tool
