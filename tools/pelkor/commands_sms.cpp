// Sending, listing, reading, deleting and backing up short messages, all text in UTF-8;
// message centres and counts.
#include <pelkor16.h>

#include <array>
#include <chrono>
#include <random>
#include <thread>

#include "atomic_file.h"
#include "command_table.h"
#include "commands.h"
#include "exit_status.h"
#include "input_file.h"
#include "progress.h"
#include "report_wait.h"
#include "send_confirm.h"
#include "sms_centre.h"
#include "sms_messages.h"
#include "validate.h"

namespace pelkor_tool {
namespace {

// What the sms commands are given; each command has its own.
struct SmsOptions {
  std::string number, text, file, kind = "all";
  int messageClass = -1, location = 1, maxParts = 0;
  bool statusReport = false, yes = false;
  CentreChoice centre;  // --centre
};

constexpr int kPauseBetweenPartsMs = 1000;

// Bits 0-15 carry the class (0-3; any other value: no class), bit 16 a status report.
int32_t SendOptions(const SmsOptions &sms) {
  int32_t options = sms.messageClass >= 0 && sms.messageClass <= 3 ? sms.messageClass : 0xFFFF;
  if (sms.statusReport) options |= 0x10000;
  return options;
}

std::string PartsText(int32_t parts) { return std::to_string(parts) + (parts == 1 ? " part" : " parts"); }

// Sends a UTF-8 text part by part, saying first how it will go.
int Send(Report &r, SmsOptions &sms) {
  int32_t parts = 0, ucs2 = 0;
  if (pelkor_smsparts_utf8(sms.text.c_str(), &parts, &ucs2) != PELKOR_OK) {
    return FailAs(r, kExitUsage,
                  IsUtf8(sms.text) ? "the text needs more than 255 parts; nothing was sent"
                                   : "the text is not UTF-8; nothing was sent");
  }
  const std::string coding = ucs2 ? "UCS-2" : "the GSM alphabet";
  if (sms.maxParts > 0 && parts > sms.maxParts)
    return FailAs(r, kExitUsage,
                  "the text needs " + PartsText(parts) + " as " + coding + ", more than --max-parts " +
                      std::to_string(sms.maxParts) + "; nothing was sent");
  if (!sms.yes && sms.maxParts == 0) {
    if (const std::string declined = ConfirmManyParts(parts, coding); !declined.empty())
      return FailAs(r, kExitUsage, declined);
  }
  r.Line("sending as " + coding + " in " + PartsText(parts));
  r.Json()["coding"] = ucs2 ? "ucs2" : "gsm";
  r.Json()["parts"] = parts;
  // One reference number for the parts of this message, drawn afresh for each message
  // so that the parts of two long messages to one phone are never joined.
  const int32_t reference = static_cast<int32_t>(std::random_device{}() % 255) + 1;
  // The message reference the phone gave each part, which its status report will carry.
  nlohmann::json references = nlohmann::json::array();
  r.Json()["references"] = references;
  for (int32_t part = 1; part <= parts; ++part) {
    if (part > 1) std::this_thread::sleep_for(std::chrono::milliseconds(kPauseBetweenPartsMs));
    int32_t result;
    {
      Progress progress("sending part " + std::to_string(part) + " of " + std::to_string(parts));
      result = pelkor_sendsmspart_utf8(sms.number.c_str(), sms.text.c_str(), UseCentre(sms.centre), SendOptions(sms),
                                       reference, part);
    }
    if (result != PELKOR_OK) {
      r.Json()["parts_sent"] = part - 1;
      const std::string what = parts == 1 ? "sending to " + sms.number
                                          : "sending part " + std::to_string(part) + " of " + std::to_string(parts) +
                                                " to " + sms.number + " (" + std::to_string(part - 1) + " sent)";
      return r.Fail(result, what, "7 s");
    }
    int32_t given = -1;
    if (pelkor_getsendreferences(&given, 1) < 1) given = -1;
    references.push_back(given >= 0 ? nlohmann::json(given) : nlohmann::json());
    r.Json()["references"] = references;
    const std::string named = given >= 0 ? " (reference " + std::to_string(given) + ")" : "";
    if (parts > 1)
      r.Line("part " + std::to_string(part) + " of " + std::to_string(parts) + " sent" + named);
    else if (given >= 0)
      r.Line("reference " + std::to_string(given));
  }
  r.Json()["parts_sent"] = parts;
  r.Field("to", sms.number, "sent to");
  r.Line("sent as " + coding + " in " + PartsText(parts));
  return r.Finish();
}

std::vector<int32_t> KindFilter(const SmsOptions &sms) {
  if (sms.kind == "all") return {};
  return {KindCodeOf(sms.kind)};
}

// Reads the whole store into the library's list; false (with the failure reported)
// when the phone did not let it.
bool ReadStore(Report &r, int &status) {
  int32_t scan;
  {
    Progress progress("reading the message store");
    scan = updatesmslist();
  }
  if (scan == PELKOR_OK || scan == PELKOR_ERR_SMS_READ) return true;
  status = r.Fail(scan, "reading the message store", "6 s per message");
  return false;
}

// "reference 17: delivered (status 0x00), submitted ..., discharged ...".
std::string ReportLine(const StoredMessage &m) {
  char code[8];
  std::snprintf(code, sizeof code, "0x%02X", static_cast<unsigned>(m.report.status & 0xFF));
  std::string line = "reference " + std::to_string(m.report.reference) + ": " + ReportStatusWord(m.report.status) +
                     " (status " + code + ")";
  if (!m.report.submitted.empty()) line += ", submitted " + m.report.submitted;
  if (!m.report.discharged.empty()) line += ", discharged " + m.report.discharged;
  return line;
}

void ShowMessage(Report &r, const StoredMessage &m) {
  std::string head = std::to_string(m.location) + "  " + KindName(m.kindCode);
  if (!m.time.empty()) head += "  " + m.time;
  if (!m.from.empty()) head += "  " + m.from;
  if (!m.to.empty()) head += "  to " + m.to;
  if (!m.read) head += m.kindCode == 11 ? "  (not sent)" : "  (new)";
  r.Line(head);
  if (m.kindCode == 12) {
    r.Line("   " + ReportLine(m));
    return;
  }
  r.Line("   " + m.text);
}

int List(Report &r, SmsOptions &sms) {
  int status = 0;
  if (!ReadStore(r, status)) return status;
  nlohmann::json list = nlohmann::json::array();
  const std::vector<StoredMessage> messages = ListedMessages(KindFilter(sms));
  for (const StoredMessage &m : messages) {
    list.push_back(m.ToJson());
    ShowMessage(r, m);
  }
  r.Json()["kind"] = sms.kind;
  r.Json()["messages"] = list;
  if (messages.empty()) r.Line(sms.kind == "all" ? "no messages" : "no " + sms.kind + " messages");
  return r.Finish();
}

int Read(Report &r, SmsOptions &sms) {
  char number[128], text[1024];
  const int32_t kind = pelkor_getsms_utf8(sms.location, number, sizeof number, text, sizeof text);
  const std::string where = "location " + std::to_string(sms.location);
  if (kind == 3) return FailAs(r, kExitNotFound, "no such location: " + where);
  if (kind == 4) return FailAs(r, kExitNotFound, where + " is empty");
  if (kind == 5) return FailAs(r, kExitNoAnswer, "the phone did not answer for " + where);
  // The time, the state and the recipient of an outgoing message (the library reads none
  // for those) come from the store's list, which keeps each message's bytes.
  StoredMessage m;
  m.location = sms.location;
  m.kindCode = kind;
  m.from = number;
  m.text = text;
  int status = 0;
  if (!ReadStore(r, status)) return status;
  const std::vector<StoredMessage> messages = ListedMessages({kind});
  if (const StoredMessage *listed = AtLocation(messages, sms.location); listed != nullptr) m = *listed;
  r.Json()["message"] = m.ToJson();
  r.Show("location", m.location);
  r.Show("kind", KindName(kind));
  if (kind == 11)
    r.Show("to", m.to);
  else
    r.Show("from", m.from);
  if (!m.time.empty()) r.Show("time", m.time);
  r.Show("state", StateName(m.kindCode, m.read));
  r.Show("text", m.text);
  return r.Finish();
}

int Delete(Report &r, SmsOptions &sms) {
  int status = 0;
  if (!ReadStore(r, status)) return status;
  const std::vector<StoredMessage> messages = ListedMessages();
  const StoredMessage *m = AtLocation(messages, sms.location);
  if (m == nullptr) return FailAs(r, kExitNotFound, "no message at location " + std::to_string(sms.location));
  const int32_t result = deletesmsmsg(m->kindCode, m->n);
  if (result != PELKOR_OK)
    return r.Fail(result, "deleting the message at location " + std::to_string(sms.location), "5 s");
  r.Json()["deleted"] = m->ToJson();
  r.Show("deleted location", sms.location);
  return r.Finish();
}

int Backup(Report &r, SmsOptions &sms) {
  int status = 0;
  if (!ReadStore(r, status)) return status;
  nlohmann::json list = nlohmann::json::array();
  for (const StoredMessage &m : ListedMessages()) list.push_back(m.ToJson());
  // Version 2 gives each message its state as a word; version 1 had "read" or "sent".
  const nlohmann::json backup = {{"format", "pelkor sms backup"}, {"version", 2}, {"messages", list}};
  std::string error;
  if (!WriteFileAtomically(sms.file, JsonText(backup, 2) + "\n", error))
    return FailAs(r, kExitCannotWrite, "cannot write " + sms.file + ": " + error + "; any earlier file is as it was");
  r.Field("file", sms.file, "written");
  r.Field("count", list.size(), "messages");
  return r.Finish();
}

// Six numbers of "YYYY-MM-DD hh:mm:ss"; false for any other text.
bool ParseStamp(const std::string &text, int32_t out[6]) {
  char end = 0;
  return std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &out[0], &out[1], &out[2], &out[3], &out[4], &out[5],
                     &end) == 6;
}

// A member of a backup's message that must be text when it is there.
std::string StringMember(const nlohmann::json &m, const char *key, const std::string &absent) {
  return m.contains(key) && m[key].is_string() ? m[key].get<std::string>() : absent;
}

// The backup file, read and parsed; a status other than 0 when it is not one.
int ReadBackup(Report &r, const std::string &file, nlohmann::json &backup) {
  std::string content, problem;
  if (!ReadInputFile(file, content, problem)) return FailAs(r, kExitBadInput, "cannot read " + file + ": " + problem);
  backup = nlohmann::json::parse(content, nullptr, false);
  if (backup.is_discarded() || !backup.is_object() || !backup.contains("messages") || !backup["messages"].is_array())
    return FailAs(r, kExitBadInput, file + " is not an SMS backup (JSON with \"messages\")");
  return kExitOk;
}

// The messages of a backup, checked, and the status reports left out of them.
struct RestorePlan {
  std::vector<StoredMessage> items;
  std::vector<std::array<int32_t, 6>> times;
  nlohmann::json leftOut = nlohmann::json::array();
  std::string leftOutAt;  // their locations, for the message
};

// Whether the message was read: its state word, or for a version 1 backup its "read"
// flag ("sent" for outgoing messages). An error in words for a state of another kind.
std::string ReadState(const nlohmann::json &m, StoredMessage &item) {
  if (const std::string state = StringMember(m, "state", ""); !state.empty()) {
    if (state != StateName(item.kindCode, true) && state != StateName(item.kindCode, false))
      return "the state \"" + state + "\" is not one of its kind's";
    item.read = state == StateName(item.kindCode, true);
    return "";
  }
  const char *flag = item.kindCode == 11 ? "sent" : "read";
  item.read = !m.contains(flag) || !m[flag].is_boolean() || m[flag].get<bool>();
  return "";
}

// Checks one message of a backup and adds it to the plan.
int PlanMessage(Report &r, const nlohmann::json &m, RestorePlan &plan) {
  const std::string where = "message " + std::to_string(plan.items.size() + plan.leftOut.size() + 1);
  if (!m.is_object() || !m.contains("location") || !m["location"].is_number_integer())
    return FailAs(r, kExitBadInput, where + " has no location; nothing was stored");
  StoredMessage item;
  item.location = m["location"].get<int32_t>();
  item.kindCode = KindCodeOf(StringMember(m, "kind", "inbox"));
  if (item.kindCode == 12) {  // status reports come from the network; the store takes none
    plan.leftOut.push_back(m);
    plan.leftOutAt += (plan.leftOutAt.empty() ? "" : ", ") + std::to_string(item.location);
    return kExitOk;
  }
  if (item.kindCode < 0 || item.location < 1 || item.location > 255)
    return FailAs(r, kExitBadInput, where + ": no kind or location a phone stores; nothing was stored");
  if (const std::string problem = ReadState(m, item); !problem.empty())
    return FailAs(r, kExitBadInput, where + ": " + problem);
  // The recipient of an outgoing message is "to" (backups before it kept none, in "from").
  if (item.kindCode == 11)
    item.to = StringMember(m, m.contains("to") ? "to" : "from", "");
  else
    item.from = StringMember(m, "from", "");
  item.text = StringMember(m, "text", "");
  std::array<int32_t, 6> time{};
  item.time = StringMember(m, "time", "");
  if (!item.time.empty() && !ParseStamp(item.time, time.data()))
    return FailAs(r, kExitBadInput, where + ": the time is not YYYY-MM-DD hh:mm:ss");
  int32_t parts = 0;
  if (pelkor_smsparts_utf8(item.text.c_str(), &parts, nullptr) != PELKOR_OK || parts != 1)
    return FailAs(r, kExitBadInput,
                  where + " at location " + std::to_string(item.location) +
                      ": the text does not fit one message; nothing was stored");
  plan.items.push_back(item);
  plan.times.push_back(time);
  return kExitOk;
}

// Stores the planned messages in order, stopping at the first the phone refuses.
int StoreMessages(Report &r, const RestorePlan &plan) {
  nlohmann::json stored = nlohmann::json::array();
  r.Json()["left_out"] = plan.leftOut;
  for (size_t i = 0; i < plan.items.size(); ++i) {
    const StoredMessage &item = plan.items[i];
    const std::string &party = item.kindCode == 11 ? item.to : item.from;
    const int32_t result = pelkor_savesms_utf8(item.location, item.kindCode, item.read ? 1 : 0, party.c_str(),
                                               item.text.c_str(), plan.times[i].data());
    if (result != PELKOR_OK) {
      r.Json()["stored"] = stored;
      return r.Fail(result,
                    "storing the message at location " + std::to_string(item.location) + " (" +
                        std::to_string(stored.size()) + " stored before)",
                    "5 s");
    }
    stored.push_back(item.ToJson());
    r.Line("stored location " + std::to_string(item.location));
  }
  r.Json()["stored"] = stored;
  const nlohmann::json &leftOut = plan.leftOut;
  if (!leftOut.empty())
    r.Line("left out " + std::to_string(leftOut.size()) + (leftOut.size() == 1 ? " status report" : " status reports") +
           " (location " + plan.leftOutAt +
           "): status reports come from the network, and a phone cannot be given one to store");
  return r.Finish();
}

int Restore(Report &r, SmsOptions &sms) {
  nlohmann::json backup;
  if (const int status = ReadBackup(r, sms.file, backup); status != kExitOk) return status;
  // Every message is checked before the first is stored.
  RestorePlan plan;
  for (const nlohmann::json &m : backup["messages"])
    if (const int status = PlanMessage(r, m, plan); status != kExitOk) return status;
  return StoreMessages(r, plan);
}

int CheckSendNumber(Report &r, SmsOptions &sms) {
  const std::string problem = CheckSmsNumber(sms.number);
  return problem.empty() ? kExitOk : FailAs(r, kExitUsage, problem + "; nothing was sent");
}

int CheckSendUcs2(Report &r, SmsOptions &sms) {
  if (const int status = CheckSendNumber(r, sms); status != kExitOk) return status;
  const std::string problem = InputFileProblem(sms.file);
  return problem.empty() ? kExitOk : FailAs(r, kExitBadInput, sms.file + ": " + problem + "; nothing was sent");
}

int SendUcs2(Report &r, SmsOptions &sms) {
  const int32_t result = senducs2(sms.number.c_str(), sms.file.c_str(), UseCentre(sms.centre), SendOptions(sms));
  if (result != PELKOR_OK) return r.Fail(result, "sending " + sms.file, "7 s");
  r.Json()["input"] = sms.file;
  r.Json()["coding"] = "ucs2";
  r.Field("to", sms.number, "sent to");
  int32_t given[255];
  const int32_t count = pelkor_getsendreferences(given, 255);
  nlohmann::json references = nlohmann::json::array();
  for (int32_t i = 0; i < count && i < 255; ++i) references.push_back(given[i]);
  r.Field("references", references);
  return r.Finish();
}

int CheckBackupFile(Report &r, SmsOptions &sms) {
  const std::string problem = InputFileProblem(sms.file);
  return problem.empty() ? kExitOk : FailAs(r, kExitBadInput, "cannot read " + sms.file + ": " + problem);
}

int WaitReport(Report &r, ReportWait &wait) {
  wait.to = NormaliseNumber(wait.to);
  return WaitForReports(r, wait);
}

int Counts(Report &r) {
  r.Field("unread", getsmsmsgunread());
  r.Field("total", getsmsmsgtotal());
  return r.Finish();
}

void DeclareLocation(CLI::App &c, SmsOptions &sms) {
  c.add_option("location", sms.location, "memory location as sms list shows it")->required();
}

void AddSendCommands(CLI::App &group, const GlobalOptions &options) {
  AddCommands(group, options,
              Command<SmsOptions>{
                  .name = "send",
                  .help = "Send a UTF-8 text (long texts go as several parts)",
                  .footer = "The text goes in the GSM alphabet when every character allows (its extension\n"
                            "table holds € [ ] { } ^ ~ \\ |), else as UCS-2; 160 GSM characters or 70 UCS-2\n"
                            "characters fit one message, longer texts go in parts of 153 or 67.\n"
                            "Example: pelkor sms send +4912345678 \"Grüße aus Köln, 10 €\" --max-parts 3",
                  .declare =
                      [](CLI::App &c, SmsOptions &sms) {
                        c.add_option("number", sms.number, "destination, e.g. +4912345678")->required();
                        c.add_option("text", sms.text, "the message text, UTF-8")->required();
                        c.add_option("--class", sms.messageClass, "message class 0-3")->check(CLI::Range(0, 3));
                        c.add_flag("--report", sms.statusReport, "ask for a status report");
                        AddCentreOption(c, sms.centre);
                        c.add_option("--max-parts", sms.maxParts, "refuse a text that needs more parts than this")
                            ->check(CLI::PositiveNumber);
                        c.add_flag("--yes", sms.yes, "send a text of more than 4 parts without asking on the terminal");
                      },
                  .check = CheckSendNumber,
                  .run = Send},
              Command<SmsOptions>{.name = "send-ucs2",
                                  .help = "Send a UCS-2 text file (big-endian, BOM first)",
                                  .footer = "Example: pelkor sms send-ucs2 +4912345678 greeting.ucs2",
                                  .declare =
                                      [](CLI::App &c, SmsOptions &sms) {
                                        c.add_option("number", sms.number, "destination")->required();
                                        c.add_option("file", sms.file, "the UCS-2 file")->required();
                                        AddCentreOption(c, sms.centre);
                                      },
                                  .check = CheckSendUcs2,
                                  .run = SendUcs2});
}

// list, read, delete, backup and restore.
void AddStoreCommands(CLI::App &group, const GlobalOptions &options) {
  AddCommands(
      group, options,
      Command<SmsOptions>{.name = "list",
                          .help = "Read the message store and list it by location",
                          .footer = "Example: pelkor sms list --kind inbox",
                          .declare =
                              [](CLI::App &c, SmsOptions &sms) {
                                c.add_option("--kind", sms.kind, "all, inbox, sent or report")
                                    ->check(CLI::IsMember({"all", "inbox", "sent", "report", "reports"}))
                                    ->capture_default_str();
                              },
                          .run = List},
      Command<SmsOptions>{.name = "read",
                          .help = "Read the message at one location",
                          .footer = "Example: pelkor sms read 3",
                          .declare = DeclareLocation,
                          .run = Read},
      Command<SmsOptions>{.name = "delete",
                          .help = "Delete the message at one location",
                          .footer = "Example: pelkor sms delete 3",
                          .declare = DeclareLocation,
                          .run = Delete},
      Command<SmsOptions>{
          .name = "backup",
          .help = "Save every stored message to a JSON file",
          .footer = "Example: pelkor sms backup messages.json",
          .declare = [](CLI::App &c,
                        SmsOptions &sms) { c.add_option("file", sms.file, "the JSON file to write")->required(); },
          .run = Backup},
      Command<SmsOptions>{.name = "restore",
                          .help = "Store the messages of a backup at their locations",
                          .footer = "Each message replaces what its location holds; status reports are left out.\n"
                                    "Example: pelkor sms restore messages.json",
                          .declare =
                              [](CLI::App &c, SmsOptions &sms) {
                                c.add_option("file", sms.file, "a file written by sms backup")->required();
                              },
                          .check = CheckBackupFile,
                          .run = Restore});
}

}  // namespace

void AddSmsCommands(CLI::App &app, GlobalOptions &options) {
  CLI::App &group = AddGroup(app, "sms", "Short messages: send, list, read, delete, counts, centres");
  AddSendCommands(group, options);
  AddStoreCommands(group, options);
  AddCommands(
      group, options,
      Command<ReportWait>{
          .name = "wait-report",
          .help = "Wait for the status reports of sent messages",
          .footer =
              "Exit status 0 when every message was delivered, 3 when one failed, 2 when the time ran out.\n"
              "Example: pelkor sms send --report +4912345678 \"Hello\" && pelkor sms wait-report 17 --timeout 300",
          .declare =
              [](CLI::App &c, ReportWait &wait) {
                c.add_option("references", wait.references,
                             "message references, 0-255, as sms send --report printed them")
                    ->required()
                    ->check(CLI::Range(0, 255));
                c.add_option("--to", wait.to, "only reports on messages to this number");
                c.add_option("--timeout", wait.timeoutSeconds, "give up after this many seconds")
                    ->check(CLI::Range(1, 7 * 24 * 3600))
                    ->capture_default_str();
              },
          .run = WaitReport},
      Command<>{.name = "counts",
                .help = "Unread and total messages on the phone",
                .footer = "Example: pelkor sms counts",
                .run = Counts});
  AddCentreCommand(group, options);
}

}  // namespace pelkor_tool
