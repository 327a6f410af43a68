// Sending, listing, reading and deleting short messages; message centres and counts.
#include <pelkor16.h>

#include "commands.h"
#include "progress.h"

namespace pelkor_tool {
namespace {

struct SmsOptions {
  std::string number, text, file, kind = "inbox";
  int messageClass = -1, centre = 1, location = 1, index = 1;
  bool statusReport = false;
} sms;

int32_t KindCode(const std::string &kind) {
  if (kind == "sent") return 11;
  if (kind == "reports") return 12;
  return 13;
}

// Bits 0-15 carry the class (0-3; any other value: no class), bit 16 a status report.
int32_t SendOptions() {
  int32_t options = sms.messageClass >= 0 && sms.messageClass <= 3 ? sms.messageClass : 0xFFFF;
  if (sms.statusReport) options |= 0x10000;
  return options;
}

std::string Field(int32_t kind, int32_t n, int32_t field) {
  char buffer[1024];
  getsmsmsgdata(kind, n, field, buffer, sizeof buffer);
  return buffer;
}

int List(Report &r) {
  int32_t scan;
  {
    Progress progress("reading the message store");
    scan = updatesmslist();
  }
  if (scan != PELKOR_OK && scan != PELKOR_ERR_SMS_READ)
    return r.Fail(scan, "reading the message store", "6 s per message");
  nlohmann::json list = nlohmann::json::array();
  const int32_t kind = KindCode(sms.kind);
  const int32_t count = getsmsmsgcount(kind);
  for (int32_t n = 1; n <= count; ++n) {
    int32_t y, mo, d, h, mi, s;
    getsmsmsgdatetime(kind, n, &y, &mo, &d, &h, &mi, &s);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, s);
    const nlohmann::json entry = {{"n", n},
                                  {"from", Field(kind, n, 2)},
                                  {"time", stamp},
                                  {"read_or_sent", getsmssentread(kind, n) == 1},
                                  {"text", Field(kind, n, 1)}};
    list.push_back(entry);
    r.Line(std::to_string(n) + ". " + entry["time"].get<std::string>() + "  " +
           entry["from"].get<std::string>() + (entry["read_or_sent"].get<bool>() ? "" : "  (new)") +
           "\n   " + entry["text"].get<std::string>());
  }
  r.Json()["kind"] = sms.kind;
  r.Json()["messages"] = list;
  if (count == 0) r.Line("no " + sms.kind + " messages");
  return r.Finish();
}

}  // namespace

void AddSmsCommands(CLI::App &app, GlobalOptions &options) {
  auto *group = app.add_subcommand("sms", "Short messages: send, list, read, delete, counts, centres");
  group->require_subcommand(1);

  auto *send = group->add_subcommand("send", "Send a text (long texts go as several parts)");
  send->add_option("number", sms.number, "destination, e.g. +4912345678")->required();
  send->add_option("text", sms.text, "the message text")->required();
  send->add_option("--class", sms.messageClass, "message class 0-3");
  send->add_flag("--report", sms.statusReport, "ask for a status report");
  send->add_option("--centre", sms.centre, "message centre index")->capture_default_str();
  send->footer("Example: pelkor sms send +4912345678 \"Hello from pelkor\"");
  send->callback([&] {
    WithPhone(options, [](Report &r) {
      const int32_t result = sendsms(sms.number.c_str(), sms.text.c_str(), sms.centre, SendOptions());
      if (result != PELKOR_OK) return r.Fail(result, "sending to " + sms.number, "7 s");
      r.Field("sent_to", sms.number, "sent to");
      return r.Finish();
    });
  });

  auto *ucs2 = group->add_subcommand("send-ucs2", "Send a UCS-2 text file (big-endian, BOM first)");
  ucs2->add_option("number", sms.number, "destination")->required();
  ucs2->add_option("file", sms.file, "the UCS-2 file")->required();
  ucs2->add_option("--centre", sms.centre, "message centre index")->capture_default_str();
  ucs2->footer("Example: pelkor sms send-ucs2 +4912345678 greeting.ucs2");
  ucs2->callback([&] {
    WithPhone(options, [](Report &r) {
      const int32_t result = senducs2(sms.number.c_str(), sms.file.c_str(), sms.centre, SendOptions());
      if (result != PELKOR_OK) return r.Fail(result, "sending " + sms.file, "7 s");
      r.Field("sent_to", sms.number, "sent to");
      return r.Finish();
    });
  });

  auto *list = group->add_subcommand("list", "Read the message store and list one kind");
  list->add_option("--kind", sms.kind, "inbox, sent or reports")
      ->check(CLI::IsMember({"inbox", "sent", "reports"}))
      ->capture_default_str();
  list->footer("Example: pelkor sms list --kind sent");
  list->callback([&] { WithPhone(options, List); });

  auto *read = group->add_subcommand("read", "Read the message at one location");
  read->add_option("location", sms.location, "memory location, 1 and up")->required();
  read->footer("Example: pelkor sms read 3");
  read->callback([&] {
    WithPhone(options, [](Report &r) {
      char number[64], text[1024];
      const int32_t kind = getsms(sms.location, number, sizeof number, text, sizeof text);
      if (kind == 3) return r.FailWith(PELKOR_ERR_SMS_READ, "no such location (code 3)");
      if (kind == 4) return r.FailWith(PELKOR_ERR_SMS_READ, "the location is empty (code 4)");
      if (kind == 5) return r.FailWith(PELKOR_ERR_TIMEOUT, "the phone did not answer (code 5)");
      r.Field("kind", kind == 11 ? "sent" : kind == 12 ? "report" : "received");
      r.Field("number", number);
      r.Field("text", text);
      return r.Finish();
    });
  });

  auto *del = group->add_subcommand("delete", "Delete the n-th message of a kind");
  del->add_option("n", sms.index, "1 for the first")->required();
  del->add_option("--kind", sms.kind, "inbox, sent or reports")
      ->check(CLI::IsMember({"inbox", "sent", "reports"}))
      ->capture_default_str();
  del->footer("Example: pelkor sms delete 2 --kind inbox");
  del->callback([&] {
    WithPhone(options, [](Report &r) {
      updatesmslist();
      const int32_t result = deletesmsmsg(KindCode(sms.kind), sms.index);
      if (result != PELKOR_OK) return r.Fail(result, "deleting message " + std::to_string(sms.index), "5 s");
      r.Field("deleted", sms.index);
      return r.Finish();
    });
  });

  auto *counts = group->add_subcommand("counts", "Unread and total messages on the phone");
  counts->footer("Example: pelkor sms counts");
  counts->callback([&] {
    WithPhone(options, [](Report &r) {
      r.Field("unread", getsmsmsgunread());
      r.Field("total", getsmsmsgtotal());
      return r.Finish();
    });
  });

  auto *centre = group->add_subcommand("centre", "The message centre number");
  centre->require_subcommand(1);
  auto *centreGet = centre->add_subcommand("get", "Show the message centre in use");
  centreGet->footer("Example: pelkor sms centre get");
  centreGet->callback([&] {
    WithPhone(options, [](Report &r) {
      char number[64];
      const int32_t index = getsmsmessagecenter(number, sizeof number);
      r.Field("index", index);
      r.Field("number", number);
      return r.Finish();
    });
  });
  auto *centreSet = centre->add_subcommand("set", "Choose the message centre by index (and number)");
  centreSet->add_option("index", sms.centre, "1 and up")->required();
  centreSet->add_option("number", sms.number, "the centre's number (empty: ask the phone)");
  centreSet->footer("Example: pelkor sms centre set 1 +491710760000");
  centreSet->callback([&] {
    WithPhone(options, [](Report &r) {
      setsmsmessagecenter(sms.centre, sms.number.c_str());
      r.Field("index", sms.centre);
      return r.Finish();
    });
  });
}

}  // namespace pelkor_tool
