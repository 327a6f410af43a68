// The line commands of the control channel, shared by the socket, stdin and tests.
#include <unistd.h>

#include <cstdio>
#include <sstream>

#include "simulator.hpp"

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

std::string rest_of(std::istringstream &words) {
  std::string rest;
  std::getline(words, rest);
  const size_t first = rest.find_first_not_of(" \t");
  return first == std::string::npos ? std::string() : rest.substr(first);
}

}  // namespace

std::string Simulator::family_help() const {
  std::string lines;
  for (const auto &[name, command] : handlers_.controls()) lines += "\n  " + command.usage;
  return lines;
}

std::string Simulator::help() const {
  return "commands:\n"
         "  silent on|off      pull the cable: send nothing, keep recording the wire\n"
         "  ack on|off         acknowledge the computer's frames or not\n"
         "  pace on|off        read and write at 115200 baud 8N1 (86.8 us a byte)\n"
         "  noise N            write N random bytes\n"
         "  corrupt            write one frame with a bad checksum\n"
         "  lose-frame [K]     lose frame K (1 the first, 0 none) of our next message of\n"
         "                     several frames; alone: the loss still pending, frames lost\n"
         "  send TYPE HEX...   send a message of our own, e.g. send 04 01 08 00 02\n"
         "  dump               the state as JSON\n"
         "  set POINTER JSON   change one value, e.g. set /status/signal 4\n"
         "  load JSON          replace the state (laid over the defaults)\n"
         "  wire [clear]       hex of the bytes received since the last clear\n"
         "  frames             frames received: a count line, then one per line\n"
         "  messages           complete messages received: a count line, then one per line\n"
         "  clear              forget wire, frames and messages\n"
         "  acks               acknowledgements received\n"
         "  info               device, modes and counters\n"
         "  quit               end the simulator" +
         family_help();
}

std::string Simulator::control(const std::string &line) {
  std::istringstream words(line);
  std::string command;
  words >> command;
  if (command.empty()) return "";

  if (command == "silent" || command == "ack" || command == "pace") {
    std::string word;
    words >> word;
    bool on = false;
    if (!parse_switch(word, on)) return "error: " + command + " needs on or off";
    if (command == "silent") set_silent(on);
    if (command == "ack") set_acknowledging(on);
    if (command == "pace") set_paced(on);
    return "ok";
  }
  if (command == "noise") {
    long long count = -1;
    if (!(words >> count) || count < 0) return "error: noise needs a byte count";
    inject_noise(static_cast<size_t>(count));
    return "ok";
  }
  if (command == "corrupt") {
    inject_corrupt_frame();
    return "ok";
  }
  if (command == "lose-frame") {
    long long index = -1;
    if (!(words >> index))
      return "pending " + std::to_string(frame_loss_pending()) + " lost " + std::to_string(frames_lost());
    if (index < 0) return "error: lose-frame needs a frame number (1 the first) or 0";
    lose_frame(static_cast<size_t>(index));
    return "ok";
  }
  if (command == "send") {
    std::vector<uint8_t> bytes;
    if (!parse_hex(rest_of(words), bytes) || bytes.empty()) return "error: send needs TYPE and hex bytes";
    const uint8_t type = bytes.front();
    bytes.erase(bytes.begin());
    return send_message(type, bytes) ? "ok" : "error: not sent";
  }
  if (command == "dump") return state().dump();
  if (command == "set") {
    std::string pointer;
    words >> pointer;
    const nlohmann::json value = nlohmann::json::parse(rest_of(words), nullptr, false);
    if (value.is_discarded()) return "error: set needs a JSON pointer and a JSON value";
    try {
      nlohmann::json changed = state();
      changed[nlohmann::json::json_pointer(pointer)] = value;
      load_state(changed);
    } catch (const nlohmann::json::exception &failure) {
      return std::string("error: ") + failure.what();
    }
    return "ok";
  }
  if (command == "load") {
    const nlohmann::json value = nlohmann::json::parse(rest_of(words), nullptr, false);
    if (value.is_discarded() || !value.is_object()) return "error: load needs a JSON object";
    load_state(value);
    return "ok";
  }
  if (command == "wire") {
    std::string word;
    words >> word;
    if (word == "clear") {
      clear_wire();
      return "ok";
    }
    return to_hex(wire());
  }
  if (command == "frames") {
    const auto received = frames();
    std::string reply = "frames " + std::to_string(received.size());
    for (const auto &frame : received) {
      char head[32];
      std::snprintf(head, sizeof head, "\n%02X %02X%s ", frame.start, frame.type, frame.is_ack ? " ack" : "");
      reply += head + to_hex(frame.payload);
    }
    return reply;
  }
  if (command == "messages") {
    const auto received = messages();
    std::string reply = "messages " + std::to_string(received.size());
    for (const auto &message : received) {
      char head[16];
      std::snprintf(head, sizeof head, "\n%02X %02X ", message.start, message.type);
      reply += head + to_hex(message.bytes);
    }
    return reply;
  }
  if (command == "clear") {
    clear_records();
    return "ok";
  }
  if (command == "acks") return std::to_string(acks_received());
  if (command == "info") {
    std::lock_guard lock(mutex_);
    std::ostringstream info;
    info << "device " << device_path_ << " silent " << (silent_ ? "on" : "off") << " ack "
         << (acknowledging_ ? "on" : "off") << " pace " << (paced_ ? "on" : "off") << " frames " << frames_.size()
         << " messages " << messages_.size() << " acks " << acks_;
    return info.str();
  }
  if (command == "help") return help();
  if (command == "quit") {
    quit_.store(true);
    const uint64_t one = 1;
    const ssize_t result = ::write(quit_fd_, &one, sizeof one);
    (void)result;
    return "bye";
  }
  if (const ControlCommand *family = handlers_.find_control(command))
    return run_family_control(*family, rest_of(words));
  return "error: unknown command " + command + " (try help)";
}

}  // namespace phonesim
