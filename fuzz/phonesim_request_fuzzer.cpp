// The simulator's side of the wire fed arbitrary bytes: the frame reader, the link
// layer that acknowledges and joins the computer's frames, and the dispatch of every
// complete request to its family's handler, which answers from a fresh phone state.
// This is the path of Simulator::receive without the pseudo-terminal. The bytes arrive
// in pieces of changing size, so frames are also torn across reads. The message store
// holds one message of each kind and coding, so that reads answer with real messages.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <iterator>
#include <span>
#include <vector>

#include "dispatch.h"
#include "frame_codec.h"
#include "fuzz_support.h"
#include "link_layer.h"
#include "phone_state.h"

namespace {

const phonesim::HandlerTable &Handlers() {
  static const phonesim::HandlerTable table = phonesim::MakeHandlerTable();
  return table;
}

const nlohmann::json &StoredMessages() {
  static const nlohmann::json state = nlohmann::json::parse(R"({"sms": {"messages": [
    {"location": 1, "kind": "received", "read": false, "centre": "+1234567", "sender": "0612345678",
     "time": [24, 5, 6, 17, 23, 45], "text": "hello"},
    {"location": 2, "kind": "received", "sender": "INDOSAT", "coding": "8bit", "class": 1, "data": "00ff1080"},
    {"location": 3, "kind": "received", "sender": "+4412345", "coding": "ucs2", "text": "Gr\u00fc\u00dfe",
     "header": "050003010201"},
    {"location": 4, "kind": "report", "recipient": "0612345678", "status": 32, "reference": 7},
    {"location": 5, "kind": "sent", "read": false, "recipient": "0612345678", "text": "bye"},
    {"location": 6, "kind": "other", "sender": "123", "text": "cut short", "udl": 200, "truncate": 3}
  ]}, "ringtone": {"stored": [{"location": 1, "name": "Ab", "tone": "02 FC 09 07 0B"}]}})");
  return state;
}

constexpr size_t kPieceSizes[] = {1, 3, 17, 64, 250, 2, 120, 7};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const phonesim::HandlerTable &table = Handlers();
  phonesim::PhoneState state(table.Defaults());
  state.Load(StoredMessages());
  phonesim::FrameReader reader;
  phonesim::LinkLayer link;

  size_t offset = 0;
  for (size_t piece = 0; offset < size; ++piece) {
    const size_t length = std::min(kPieceSizes[piece % std::size(kPieceSizes)], size - offset);
    for (const phonesim::Frame &frame : reader.Feed(std::span<const uint8_t>(data + offset, length))) {
      FUZZ_CHECK(frame.payload.size() <= 255);
      const phonesim::LinkEvent event = link.OnFrame(frame);
      if (event.needsAck) {
        const std::vector<uint8_t> ack = phonesim::LinkLayer::AckFrame(frame.start, event.ackType, event.ackSequence);
        FUZZ_CHECK(ack.size() == 10);
      }
      if (!event.message) continue;
      const phonesim::Message &message = *event.message;
      const phonesim::Handler *handler = table.Find(message.type, message.bytes);
      if (handler == nullptr) continue;
      phonesim::Replies replies;
      try {
        (*handler)(phonesim::Request{message.start, message.type, message.bytes}, state, replies);
      } catch (const std::exception &) {
        continue;  // the simulator reports such a failure and carries on
      }
      for (const phonesim::OutgoingMessage &reply : replies.Messages()) {
        const auto frames = link.FramesFor(message.start, reply.type, reply.bytes);
        FUZZ_CHECK(!frames.empty() || reply.bytes.size() > phonesim::kMaxFramesPerMessage * phonesim::kMaxBlock);
        for (const auto &out : frames) FUZZ_CHECK(out.size() <= phonesim::kMaxFrameSize);
      }
    }
    offset += length;
  }
  FUZZ_CHECK(reader.Pending() <= size);
  return 0;
}
