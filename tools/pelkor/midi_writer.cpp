#include "midi_writer.h"

#include <algorithm>

namespace pelkor_tool {
namespace {

// Delta times and lengths are variable-length quantities: seven bits a byte, most
// significant group first, every byte but the last with its top bit set.
void PutVariable(std::vector<uint8_t> &out, uint32_t value) {
  uint8_t groups[5];
  int n = 0;
  do {
    groups[n++] = value & 0x7F;
    value >>= 7;
  } while (value != 0);
  while (n > 1) out.push_back(static_cast<uint8_t>(groups[--n] | 0x80));
  out.push_back(groups[0]);
}

void PutBig(std::vector<uint8_t> &out, uint32_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace

std::vector<uint8_t> StandardMidiFile(const std::vector<MidiNote> &notes, int bpm, const std::string &name,
                                      int program) {
  std::vector<uint8_t> track;
  // Track name, tempo (microseconds a quarter note) and the instrument, all at time 0.
  const std::string title = name.substr(0, 127);
  track.insert(track.end(), {0x00, 0xFF, 0x03});
  PutVariable(track, static_cast<uint32_t>(title.size()));
  track.insert(track.end(), title.begin(), title.end());
  const uint32_t perQuarter = 60000000u / static_cast<uint32_t>(std::clamp(bpm, 4, 1000));
  track.insert(track.end(), {0x00, 0xFF, 0x51, 0x03});
  PutBig(track, perQuarter, 3);
  track.insert(track.end(), {0x00, 0xC0, static_cast<uint8_t>(std::clamp(program, 0, 127))});

  uint32_t pending = 0;  // rests add to the delta time of the next event
  for (const MidiNote &note : notes) {
    if (note.key < 0 || note.key > 127 || note.ticks == 0) {
      pending += note.ticks;
      continue;
    }
    PutVariable(track, pending);
    track.insert(track.end(), {0x90, static_cast<uint8_t>(note.key), 100});
    PutVariable(track, note.ticks);
    track.insert(track.end(), {0x80, static_cast<uint8_t>(note.key), 0});
    pending = 0;
  }
  PutVariable(track, pending);  // a closing rest still takes its time
  track.insert(track.end(), {0xFF, 0x2F, 0x00});

  std::vector<uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1};
  PutBig(file, kMidiTicksPerQuarter, 2);
  file.insert(file.end(), {'M', 'T', 'r', 'k'});
  PutBig(file, static_cast<uint32_t>(track.size()), 4);
  file.insert(file.end(), track.begin(), track.end());
  return file;
}

}  // namespace pelkor_tool
