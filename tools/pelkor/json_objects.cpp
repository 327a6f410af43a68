#include "json_objects.h"

#include <pelkor16.h>

#include "logo_image.h"
#include "ringtone_render.h"

namespace pelkor_tool {

nlohmann::json EntryJson(const std::string &memory, int location, const std::string &name, const std::string &number,
                         int group) {
  return {{"memory", memory},
          {"location", location},
          {"name", name},
          {"number", number},
          {"group", group == 255 ? 5 : group}};
}

namespace {
// The words `pelkor logo get` takes, so that a script can hand a kind back.
const char *LogoKindWord(int32_t kind) {
  switch (kind) {
    case PELKOR_LOGO_STARTUP:
      return "startup";
    case PELKOR_LOGO_OPERATOR:
      return "operator";
    case PELKOR_LOGO_CALLER:
      return "caller";
    default:
      return "none";
  }
}
}  // namespace

nlohmann::json LogoJson() {
  int32_t kind = 0, width = 0, height = 0;
  char code[8] = "";
  logo_getdata(&kind, &width, &height, code, sizeof code);
  nlohmann::json logo = {{"kind", LogoKindWord(kind)}, {"width", width}, {"height", height}, {"rows", LogoRows()}};
  if (kind == PELKOR_LOGO_OPERATOR) logo["network_code"] = code;
  if (kind == PELKOR_LOGO_CALLER) {
    char name[256] = "";
    logo_getgroupname(name, sizeof name);
    logo["group"] = logo_getgroupnumber();
    logo["group_name"] = name;
  }
  return logo;
}

nlohmann::json ToneJson() {
  char name[64] = "";
  ringtone_getname(name, sizeof name);
  nlohmann::json notes = nlohmann::json::array();
  for (int32_t i = 0; i < ringtone_getnotes(); ++i) {
    char note[64] = "";
    ringtone_getnote(i, note, sizeof note);
    notes.push_back(note);
  }
  int64_t ms = 0;
  for (const RenderedNote &note : RingtoneNotes()) ms += note.ms;
  return {{"name", name}, {"tempo", ringtone_gettempo()}, {"notes", notes}, {"milliseconds", ms}};
}

}  // namespace pelkor_tool
