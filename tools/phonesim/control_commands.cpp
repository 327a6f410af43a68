// The line commands of the control channel, shared by the socket, stdin and tests:
// the simulator's own, one row each in kCommands, and after them the families'.
#include <cstdio>
#include <sstream>

#include "simulator.h"

namespace phonesim {

namespace {

bool ParseSwitch(const std::string &word, bool &value) {
  if (word == "on" || word == "1" || word == "true") {
    value = true;
    return true;
  }
  if (word == "off" || word == "0" || word == "false") {
    value = false;
    return true;
  }
  return false;
}

std::string SwitchCommand(const std::string &name, std::istringstream &words, const std::function<void(bool)> &set) {
  std::string word;
  words >> word;
  bool on = false;
  if (!ParseSwitch(word, on)) return "error: " + name + " needs on or off";
  set(on);
  return "ok";
}

std::string SilentCommand(Simulator &sim, std::istringstream &words) {
  return SwitchCommand("silent", words, [&](bool on) { sim.SetSilent(on); });
}

std::string AckCommand(Simulator &sim, std::istringstream &words) {
  return SwitchCommand("ack", words, [&](bool on) { sim.SetAcknowledging(on); });
}

std::string PaceCommand(Simulator &sim, std::istringstream &words) {
  return SwitchCommand("pace", words, [&](bool on) { sim.SetPaced(on); });
}

std::string NoiseCommand(Simulator &sim, std::istringstream &words) {
  long long count = -1;
  if (!(words >> count) || count < 0) return "error: noise needs a byte count";
  sim.InjectNoise(static_cast<size_t>(count));
  return "ok";
}

std::string CorruptCommand(Simulator &sim, std::istringstream &) {
  sim.InjectCorruptFrame();
  return "ok";
}

std::string LoseFrameCommand(Simulator &sim, std::istringstream &words) {
  long long index = -1;
  if (!(words >> index))
    return "pending " + std::to_string(sim.FrameLossPending()) + " lost " + std::to_string(sim.FramesLost());
  if (index < 0) return "error: lose-frame needs a frame number (1 the first) or 0";
  sim.LoseFrame(static_cast<size_t>(index));
  return "ok";
}

std::string SendCommand(Simulator &sim, std::istringstream &words) {
  std::vector<uint8_t> bytes;
  if (!ParseHex(RestOf(words), bytes) || bytes.empty()) return "error: send needs TYPE and hex bytes";
  const uint8_t type = bytes.front();
  bytes.erase(bytes.begin());
  return sim.SendMessage(type, bytes) ? "ok" : "error: not sent";
}

std::string DumpCommand(Simulator &sim, std::istringstream &) { return sim.State().dump(); }

std::string SetCommand(Simulator &sim, std::istringstream &words) {
  std::string pointer;
  words >> pointer;
  const nlohmann::json value = nlohmann::json::parse(RestOf(words), nullptr, false);
  if (value.is_discarded()) return "error: set needs a JSON pointer and a JSON value";
  try {
    nlohmann::json changed = sim.State();
    changed[nlohmann::json::json_pointer(pointer)] = value;
    sim.LoadState(changed);
  } catch (const nlohmann::json::exception &failure) {
    return std::string("error: ") + failure.what();
  }
  return "ok";
}

std::string LoadCommand(Simulator &sim, std::istringstream &words) {
  const nlohmann::json value = nlohmann::json::parse(RestOf(words), nullptr, false);
  if (value.is_discarded() || !value.is_object()) return "error: load needs a JSON object";
  sim.LoadState(value);
  return "ok";
}

std::string WireCommand(Simulator &sim, std::istringstream &words) {
  std::string word;
  words >> word;
  if (word == "clear") {
    sim.ClearWire();
    return "ok";
  }
  return ToHex(sim.Wire());
}

std::string FramesCommand(Simulator &sim, std::istringstream &) {
  const auto received = sim.Frames();
  std::string reply = "frames " + std::to_string(received.size());
  for (const auto &frame : received) {
    char head[32];
    std::snprintf(head, sizeof head, "\n%02X %02X%s ", frame.start, frame.type, frame.isAck ? " ack" : "");
    reply += head + ToHex(frame.payload);
  }
  return reply;
}

std::string MessagesCommand(Simulator &sim, std::istringstream &) {
  const auto received = sim.Messages();
  std::string reply = "messages " + std::to_string(received.size());
  for (const auto &message : received) {
    char head[16];
    std::snprintf(head, sizeof head, "\n%02X %02X ", message.start, message.type);
    reply += head + ToHex(message.bytes);
  }
  return reply;
}

std::string ClearCommand(Simulator &sim, std::istringstream &) {
  sim.ClearRecords();
  return "ok";
}

std::string AcksCommand(Simulator &sim, std::istringstream &) { return std::to_string(sim.AcksReceived()); }

std::string InfoCommand(Simulator &sim, std::istringstream &) { return sim.Info(); }

std::string QuitCommand(Simulator &sim, std::istringstream &) {
  sim.RequestQuit();
  return "bye";
}

struct SimulatorCommand {
  const char *name;
  const char *usage;  // as the help shows it
  std::string (*run)(Simulator &, std::istringstream &words);
};

const SimulatorCommand kCommands[] = {
    {"silent", "silent on|off      pull the cable: send nothing, keep recording the wire", SilentCommand},
    {"ack", "ack on|off         acknowledge the computer's frames or not", AckCommand},
    {"pace", "pace on|off        read and write at 115200 baud 8N1 (86.8 us a byte)", PaceCommand},
    {"noise", "noise N            write N random bytes", NoiseCommand},
    {"corrupt", "corrupt            write one frame with a bad checksum", CorruptCommand},
    {"lose-frame",
     "lose-frame [K]     lose frame K (1 the first, 0 none) of our next message of\n"
     "                     several frames; alone: the loss still pending, frames lost",
     LoseFrameCommand},
    {"send", "send TYPE HEX...   send a message of our own, e.g. send 04 01 08 00 02", SendCommand},
    {"dump", "dump               the state as JSON", DumpCommand},
    {"set", "set POINTER JSON   change one value, e.g. set /status/signal 4", SetCommand},
    {"load", "load JSON          replace the state (laid over the defaults)", LoadCommand},
    {"wire", "wire [clear]       hex of the bytes received since the last clear", WireCommand},
    {"frames", "frames             frames received: a count line, then one per line", FramesCommand},
    {"messages", "messages           complete messages received: a count line, then one per line", MessagesCommand},
    {"clear", "clear              forget wire, frames and messages", ClearCommand},
    {"acks", "acks               acknowledgements received", AcksCommand},
    {"info", "info               device, modes and counters", InfoCommand},
    {"quit", "quit               end the simulator", QuitCommand},
};

}  // namespace

void Simulator::AddControls() {
  for (const SimulatorCommand &command : kCommands)
    controls_.Add(command.name, command.usage,
                  [this, run = command.run](std::istringstream &words) { return run(*this, words); });
  controls_.Add("help", "", [this](std::istringstream &) { return controls_.Help(); });
  for (const auto &entry : handlers_.Controls()) {
    const ControlCommand &family = entry.second;
    controls_.Add(entry.first, family.usage,
                  [this, &family](std::istringstream &words) { return RunFamilyControl(family, RestOf(words)); });
  }
}

std::string Simulator::Control(const std::string &line) {
  std::istringstream words(line);
  std::string command;
  words >> command;
  if (command.empty()) return "";
  if (const ControlTable::Run *run = controls_.Find(command)) return (*run)(words);
  return "error: unknown command " + command + " (try help)";
}

}  // namespace phonesim
