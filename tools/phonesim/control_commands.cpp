// The line commands of the control channel, shared by the socket, stdin and tests:
// the simulator's own, one row each in kCommands, and after them the families'.
#include <cstdio>
#include <sstream>

#include "simulator.h"

namespace phonesim {

namespace {

bool parse_switch(const std::string &word, bool &value) {
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

std::string switch_command(const std::string &name, std::istringstream &words, const std::function<void(bool)> &set) {
  std::string word;
  words >> word;
  bool on = false;
  if (!parse_switch(word, on)) return "error: " + name + " needs on or off";
  set(on);
  return "ok";
}

std::string silent_command(Simulator &sim, std::istringstream &words) {
  return switch_command("silent", words, [&](bool on) { sim.set_silent(on); });
}

std::string ack_command(Simulator &sim, std::istringstream &words) {
  return switch_command("ack", words, [&](bool on) { sim.set_acknowledging(on); });
}

std::string pace_command(Simulator &sim, std::istringstream &words) {
  return switch_command("pace", words, [&](bool on) { sim.set_paced(on); });
}

std::string noise_command(Simulator &sim, std::istringstream &words) {
  long long count = -1;
  if (!(words >> count) || count < 0) return "error: noise needs a byte count";
  sim.inject_noise(static_cast<size_t>(count));
  return "ok";
}

std::string corrupt_command(Simulator &sim, std::istringstream &) {
  sim.inject_corrupt_frame();
  return "ok";
}

std::string lose_frame_command(Simulator &sim, std::istringstream &words) {
  long long index = -1;
  if (!(words >> index))
    return "pending " + std::to_string(sim.frame_loss_pending()) + " lost " + std::to_string(sim.frames_lost());
  if (index < 0) return "error: lose-frame needs a frame number (1 the first) or 0";
  sim.lose_frame(static_cast<size_t>(index));
  return "ok";
}

std::string send_command(Simulator &sim, std::istringstream &words) {
  std::vector<uint8_t> bytes;
  if (!parse_hex(rest_of(words), bytes) || bytes.empty()) return "error: send needs TYPE and hex bytes";
  const uint8_t type = bytes.front();
  bytes.erase(bytes.begin());
  return sim.send_message(type, bytes) ? "ok" : "error: not sent";
}

std::string dump_command(Simulator &sim, std::istringstream &) { return sim.state().dump(); }

std::string set_command(Simulator &sim, std::istringstream &words) {
  std::string pointer;
  words >> pointer;
  const nlohmann::json value = nlohmann::json::parse(rest_of(words), nullptr, false);
  if (value.is_discarded()) return "error: set needs a JSON pointer and a JSON value";
  try {
    nlohmann::json changed = sim.state();
    changed[nlohmann::json::json_pointer(pointer)] = value;
    sim.load_state(changed);
  } catch (const nlohmann::json::exception &failure) {
    return std::string("error: ") + failure.what();
  }
  return "ok";
}

std::string load_command(Simulator &sim, std::istringstream &words) {
  const nlohmann::json value = nlohmann::json::parse(rest_of(words), nullptr, false);
  if (value.is_discarded() || !value.is_object()) return "error: load needs a JSON object";
  sim.load_state(value);
  return "ok";
}

std::string wire_command(Simulator &sim, std::istringstream &words) {
  std::string word;
  words >> word;
  if (word == "clear") {
    sim.clear_wire();
    return "ok";
  }
  return to_hex(sim.wire());
}

std::string frames_command(Simulator &sim, std::istringstream &) {
  const auto received = sim.frames();
  std::string reply = "frames " + std::to_string(received.size());
  for (const auto &frame : received) {
    char head[32];
    std::snprintf(head, sizeof head, "\n%02X %02X%s ", frame.start, frame.type, frame.is_ack ? " ack" : "");
    reply += head + to_hex(frame.payload);
  }
  return reply;
}

std::string messages_command(Simulator &sim, std::istringstream &) {
  const auto received = sim.messages();
  std::string reply = "messages " + std::to_string(received.size());
  for (const auto &message : received) {
    char head[16];
    std::snprintf(head, sizeof head, "\n%02X %02X ", message.start, message.type);
    reply += head + to_hex(message.bytes);
  }
  return reply;
}

std::string clear_command(Simulator &sim, std::istringstream &) {
  sim.clear_records();
  return "ok";
}

std::string acks_command(Simulator &sim, std::istringstream &) { return std::to_string(sim.acks_received()); }

std::string info_command(Simulator &sim, std::istringstream &) { return sim.info(); }

std::string quit_command(Simulator &sim, std::istringstream &) {
  sim.request_quit();
  return "bye";
}

struct SimulatorCommand {
  const char *name;
  const char *usage;  // as the help shows it
  std::string (*run)(Simulator &, std::istringstream &words);
};

const SimulatorCommand kCommands[] = {
    {"silent", "silent on|off      pull the cable: send nothing, keep recording the wire", silent_command},
    {"ack", "ack on|off         acknowledge the computer's frames or not", ack_command},
    {"pace", "pace on|off        read and write at 115200 baud 8N1 (86.8 us a byte)", pace_command},
    {"noise", "noise N            write N random bytes", noise_command},
    {"corrupt", "corrupt            write one frame with a bad checksum", corrupt_command},
    {"lose-frame",
     "lose-frame [K]     lose frame K (1 the first, 0 none) of our next message of\n"
     "                     several frames; alone: the loss still pending, frames lost",
     lose_frame_command},
    {"send", "send TYPE HEX...   send a message of our own, e.g. send 04 01 08 00 02", send_command},
    {"dump", "dump               the state as JSON", dump_command},
    {"set", "set POINTER JSON   change one value, e.g. set /status/signal 4", set_command},
    {"load", "load JSON          replace the state (laid over the defaults)", load_command},
    {"wire", "wire [clear]       hex of the bytes received since the last clear", wire_command},
    {"frames", "frames             frames received: a count line, then one per line", frames_command},
    {"messages", "messages           complete messages received: a count line, then one per line", messages_command},
    {"clear", "clear              forget wire, frames and messages", clear_command},
    {"acks", "acks               acknowledgements received", acks_command},
    {"info", "info               device, modes and counters", info_command},
    {"quit", "quit               end the simulator", quit_command},
};

}  // namespace

void Simulator::add_controls() {
  for (const SimulatorCommand &command : kCommands)
    controls_.add(command.name, command.usage,
                  [this, run = command.run](std::istringstream &words) { return run(*this, words); });
  controls_.add("help", "", [this](std::istringstream &) { return controls_.help(); });
  for (const auto &entry : handlers_.controls()) {
    const ControlCommand &family = entry.second;
    controls_.add(entry.first, family.usage,
                  [this, &family](std::istringstream &words) { return run_family_control(family, rest_of(words)); });
  }
}

std::string Simulator::control(const std::string &line) {
  std::istringstream words(line);
  std::string command;
  words >> command;
  if (command.empty()) return "";
  if (const ControlTable::Run *run = controls_.find(command)) return (*run)(words);
  return "error: unknown command " + command + " (try help)";
}

}  // namespace phonesim
