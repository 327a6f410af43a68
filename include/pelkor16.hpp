/*
 * pelkor16.hpp — a thin C++ wrapper over the C API of pelkor16.h (C++17).
 *
 * Everything lives in namespace pelkor16, so code that says `using namespace std;`
 * never has to spell the C session functions: a pelkor16::session opens the link in its
 * constructor and closes it in its destructor. Methods return their results and throw
 * pelkor16::error, which carries the library's result code and its text, when the
 * library reports a failure. Functions that need no phone (logo, ringtone, WAV writer)
 * have their own small classes.
 *
 * The library keeps one session per process: create one session at a time.
 */
#ifndef PELKOR16_HPP
#define PELKOR16_HPP

#include <pelkor16.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace pelkor16 {

/** A failure reported by the library: its result code and what was being done. */
class error : public std::runtime_error {
 public:
  /// The failure `code` of `operation` (the function or the step that failed).
  error(int32_t code, const std::string &operation)
      : std::runtime_error(operation + ": " + ::pelkor_strerror(code) + " (code " + std::to_string(code) + ")"),
        code_(code) {}
  /** The library's result code. */
  int32_t code() const noexcept { return code_; }

 private:
  int32_t code_;
};

/** The English text of a result code. */
inline std::string describe(int32_t code) { return ::pelkor_strerror(code); }

/** The library's version string. */
inline std::string version() { return ::pelkor_version(); }

namespace detail {

inline void check(int32_t code, const std::string &operation) {
  if (code != PELKOR_OK) throw error(code, operation);
}

// Calls fill(buffer, size) on a zeroed buffer of `size` bytes and returns the text.
template <typename Fill>
std::string text(int32_t size, Fill fill) {
  std::vector<char> buffer(static_cast<size_t>(size), '\0');
  fill(buffer.data(), size);
  buffer.back() = '\0';
  return std::string(buffer.data());
}

}  // namespace detail

enum class connection : int32_t { cable = PELKOR_CONNECTION_CABLE, infrared = PELKOR_CONNECTION_INFRARED };

enum class sms_kind : int32_t {
  outgoing = PELKOR_SMS_OUTGOING,
  status_report = PELKOR_SMS_STATUS_REPORT,
  received = PELKOR_SMS_RECEIVED,
};

enum class logo_kind : int32_t {
  none = PELKOR_LOGO_NONE,
  startup = PELKOR_LOGO_STARTUP,
  op = PELKOR_LOGO_OPERATOR,
  caller = PELKOR_LOGO_CALLER,
};

/** A date and time of the phone: four-digit year (two for SMS time stamps), month
 *  1-12, day 1-31, hour 0-23, minute and second 0-59. */
struct date_time {
  int32_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;  ///< see above
};

/** The alarm: whether it is on, and its time. */
struct alarm_setting {
  bool enabled = false;          ///< the alarm is on
  int32_t hour = 0, minute = 0;  ///< its time
};

/** The network: "ccc nn" country and network code, area code and cell id in hex. */
struct network_info {
  std::string network_code, area_code, cell_id;  ///< see above
};

/** A phonebook entry: name and number (at most 40 characters each) and caller group. */
struct phonebook_entry {
  std::string name, number;  ///< 8-bit texts
  int32_t group = 0;         ///< caller group
};

/** A speed dial: the memory and location it points to. */
struct speed_dial {
  int32_t memory = 0;    ///< 0 the phone's memory, 1 any other
  int32_t location = 0;  ///< location in that memory
};

/** One message of the library's SMS list (see session::messages()). */
struct sms_message {
  sms_kind kind = sms_kind::received;  ///< received, outgoing or status report
  int32_t index = 0;                   ///< ordinal number within its kind, from 1
  std::string sender, text;            ///< Latin-1 texts
  date_time time;                      ///< the year in two digits, as the network gives it
  bool read_or_sent = false;           ///< read (received) or sent (outgoing)
};

/** The session with the phone: init() in the constructor, terminate() in the destructor. */
class session {
 public:
  /** Opens the link; throws error when the port cannot be opened or the phone is silent. */
  explicit session(const std::string &port, connection type = connection::cable) {
    const int32_t code = ::init(port.c_str(), static_cast<int32_t>(type));
    if (code != PELKOR_OK) {
      ::terminate();  // an unanswered init leaves the port open
      throw error(code, "init " + port);
    }
  }
  ~session() { ::terminate(); }
  session(const session &) = delete;
  session &operator=(const session &) = delete;

  /** Whether the link is believed up. */
  bool alive() const { return ::isalive() == 1; }

  /// The IMEI (15 digits).
  std::string imei() const { return identity(::getimei, "getimei"); }
  /// The model code, such as "NSE-3".
  std::string model() const { return identity(::getmodel, "getmodel"); }
  /// "SW<version>, HW<hardware>".
  std::string revision() const { return identity(::getrevision, "getrevision"); }
  /// The software date as the phone gives it.
  std::string software_date() const { return identity(::getswdate, "getswdate"); }

  /** Signal level (the phone's value times 100). */
  int32_t signal_level() const {
    int32_t level = -1;
    detail::check(::getrflevel(&level), "getrflevel");
    return level;
  }
  /** Battery level (the phone's value times 100). */
  int32_t battery_level() const {
    int32_t level = -1;
    detail::check(::getbatterylevel(&level), "getbatterylevel");
    return level;
  }
  /** True on external power; false on battery or without an answer. */
  bool external_power() const { return ::uses_acdc_power() == 1; }
  /** The eight display indicators, indicator 1 first. */
  std::vector<bool> display_indicators() const {
    int32_t code = PELKOR_OK;
    const std::string flags = detail::text(9, [&](char *b, int32_t n) { code = ::getdisplaystatus(b, n); });
    detail::check(code, "getdisplaystatus");
    std::vector<bool> on;
    for (char c : flags) on.push_back(c == '1');
    return on;
  }

  /// The phone's clock.
  date_time clock() const {
    date_time t;
    detail::check(::getdatetime(&t.year, &t.month, &t.day, &t.hour, &t.minute, &t.second), "getdatetime");
    return t;
  }
  /// Sets the phone's clock (seconds are not sent).
  void set_clock(const date_time &t) {
    detail::check(::setdatetime(t.year, t.month, t.day, t.hour, t.minute, t.second), "setdatetime");
  }
  /// The alarm.
  alarm_setting alarm() const {
    alarm_setting a;
    int32_t enabled = 0;
    detail::check(::getalarm(&enabled, &a.hour, &a.minute), "getalarm");
    a.enabled = enabled != 0;
    return a;
  }
  /// Sets and enables the alarm.
  void set_alarm(int32_t hour, int32_t minute) { detail::check(::setalarm(hour, minute), "setalarm"); }

  /// Dials a voice call.
  void dial(const std::string &number) { detail::check(::dialvoice(number.c_str()), "dialvoice"); }
  /// Hangs up.
  void hang_up() { detail::check(::hangup(), "hangup"); }
  /// Sends DTMF tones during a call.
  void dtmf(const std::string &digits) { detail::check(::send_dtmf(digits.c_str()), "send_dtmf"); }
  /// Starts or stops the phone's beep.
  void beep(bool on) { ::gsmbeep(on ? 1 : 0); }
  /// Plays a tone (volume 0-255, frequency in Hz) and waits for its duration.
  void tone(int32_t volume, int32_t frequency_hz, int32_t duration_ms) {
    ::play_tone(volume, frequency_hz, duration_ms);
  }
  /// Soft or hard reset of the phone.
  void restart(bool hard = false) { detail::check(::reset(hard ? "hard" : "soft"), "reset"); }
  /** The number of the last incoming call, or an empty text when none is known. */
  std::string incoming_call() const {
    int32_t code = PELKOR_OK;
    const std::string number = detail::text(64, [&](char *b, int32_t n) { code = ::incoming(b, n); });
    if (code == PELKOR_ERR_NO_CALL) return {};
    detail::check(code, "incoming");
    return number;
  }
  /** True once after each incoming-call announcement. */
  bool call_announced() { return ::incomingevent() == 1; }

  /// The network the phone is registered in.
  network_info network() const {
    char network[16] = {}, area[16] = {}, cell[16] = {};
    detail::check(::getnetworkinfo(network, sizeof network, area, sizeof area, cell, sizeof cell), "getnetworkinfo");
    return {network, area, cell};
  }
  /** The text of a network-monitor screen ("field", "next", a number, ...). */
  std::string net_monitor(const std::string &screen) const {
    return detail::text(64, [&](char *b, int32_t n) { ::netmonitor(screen.c_str(), b, n); });
  }

  /** Sends a text (Latin-1; long texts as concatenated parts). */
  void send_sms(const std::string &number, const std::string &text, int32_t centre_index = 1, int32_t options = 0) {
    detail::check(::sendsms(number.c_str(), text.c_str(), centre_index, options), "sendsms");
  }
  /** Sends a UCS-2 file (big-endian, byte-order mark first). */
  void send_ucs2(const std::string &number, const std::string &file, int32_t centre_index = 1, int32_t options = 0) {
    detail::check(::senducs2(number.c_str(), file.c_str(), centre_index, options), "senducs2");
  }
  /** The message centre's number in use. */
  std::string message_centre() const {
    return detail::text(48, [](char *b, int32_t n) { ::getsmsmessagecenter(b, n); });
  }
  /// Message centre set `centre_index` of the phone, or 0 and the centre's number.
  void set_message_centre(int32_t centre_index, const std::string &number = "") {
    detail::check(::setsmsmessagecenter(centre_index, number.c_str()), "setsmsmessagecenter");
  }

  /** Reads the phone's messages into the library's list and returns them all. */
  std::vector<sms_message> messages() {
    const int32_t code = ::updatesmslist();
    if (code != PELKOR_OK && code != PELKOR_ERR_SMS_READ) throw error(code, "updatesmslist");
    std::vector<sms_message> all;
    for (sms_kind kind : {sms_kind::received, sms_kind::outgoing, sms_kind::status_report}) {
      const int32_t k = static_cast<int32_t>(kind);
      const int32_t count = ::getsmsmsgcount(k);
      for (int32_t n = 1; n <= count; ++n) {
        sms_message m;
        m.kind = kind;
        m.index = n;
        m.text = detail::text(512, [&](char *b, int32_t s) { ::getsmsmsgdata(k, n, PELKOR_SMS_FIELD_TEXT, b, s); });
        m.sender = detail::text(48, [&](char *b, int32_t s) { ::getsmsmsgdata(k, n, PELKOR_SMS_FIELD_SENDER, b, s); });
        date_time &t = m.time;
        ::getsmsmsgdatetime(k, n, &t.year, &t.month, &t.day, &t.hour, &t.minute, &t.second);
        m.read_or_sent = ::getsmssentread(k, n) == 1;
        all.push_back(m);
      }
    }
    return all;
  }
  /** Deletes the n-th message of a kind of the list, on the phone too. */
  void delete_message(sms_kind kind, int32_t n) {
    detail::check(::deletesmsmsg(static_cast<int32_t>(kind), n), "deletesmsmsg");
  }
  /// The phone's count of unread messages (0 without an answer).
  int32_t unread_messages() const { return ::getsmsmsgunread(); }
  /// The phone's count of stored messages (0 without an answer).
  int32_t stored_messages() const { return ::getsmsmsgtotal(); }

  /// One phonebook entry (location from 1).
  phonebook_entry entry(int32_t location, int32_t memory_type = PELKOR_MEMORY_PHONE) const {
    char name[48] = {}, number[48] = {};
    phonebook_entry e;
    detail::check(::getphonebookentry(location, memory_type, name, sizeof name, number, sizeof number, &e.group),
                  "getphonebookentry");
    e.name = name;
    e.number = number;
    return e;
  }
  /// Writes one phonebook entry.
  void set_entry(int32_t location, const phonebook_entry &e, int32_t memory_type = PELKOR_MEMORY_PHONE) {
    detail::check(::setphonebookentry(location, memory_type, e.name.c_str(), e.number.c_str(), e.group),
                  "setphonebookentry");
  }
  /// The speed dial of key 1-9.
  speed_dial speed_dial_of(int32_t key) const {
    speed_dial d;
    detail::check(::getspeeddial(key, &d.memory, &d.location), "getspeeddial");
    return d;
  }
  /// Sets the speed dial of key 1-9.
  void set_speed_dial(int32_t key, int32_t memory_type, int32_t location) {
    detail::check(::setspeeddial(key, memory_type, location), "setspeeddial");
  }

  /** Uploads the library's logo (see class logo) or sets the start-up text. */
  void upload_logo() { detail::check(::logo_upload(), "logo_upload"); }
  /// Replaces the library's logo with the phone's logo of a kind.
  void download_logo(logo_kind kind) { detail::check(::logo_download(static_cast<int32_t>(kind)), "logo_download"); }
  /// Sets the phone's start-up text.
  void set_startup_text(const std::string &text) { detail::check(::setlogo(0, text.c_str(), 0), "setlogo"); }
  /// Sends the library's operator or caller-group logo by SMS.
  void send_logo(const std::string &number) { detail::check(::sendoplogoviasms(number.c_str()), "sendoplogoviasms"); }
  /** Uploads the library's ringtone (see class ringtone); nothing is awaited. */
  void upload_ringtone(int32_t variant = 0) { detail::check(::ringtone_upload(variant), "ringtone_upload"); }
  /// Sends the library's ringtone by SMS.
  void send_ringtone(const std::string &number) {
    detail::check(::ringtone_sendsms(number.c_str()), "ringtone_sendsms");
  }

 private:
  static std::string identity(int32_t(PELKOR_CALL *query)(char *, int32_t), const char *operation) {
    int32_t code = PELKOR_OK;
    std::string value = detail::text(32, [&](char *b, int32_t n) { code = query(b, n); });
    detail::check(code, operation);
    return value;
  }
};

/** The library's one logo in memory. */
class logo {
 public:
  /// Loads a NOL, NGG, NLM or start-up logo file.
  static void load(const std::string &path) { detail::check(::logo_readfile(path.c_str()), "logo_readfile " + path); }
  /// Writes the logo as NOL, NGG or start-up file by its kind.
  static void save(const std::string &path) { detail::check(::logo_writefile(path.c_str()), "logo_writefile " + path); }
  /// Sets the kind (kind none clears the logo) and the network code.
  static void reset(logo_kind kind, const std::string &network_code = "") {
    ::logo_setdata(static_cast<int32_t>(kind), network_code.empty() ? nullptr : network_code.c_str());
  }
  /// The logo's kind.
  static logo_kind kind() { return static_cast<logo_kind>(data().kind); }
  /// Width in pixels.
  static int32_t width() { return data().width; }
  /// Height in pixels.
  static int32_t height() { return data().height; }
  /// The operator logo's network code.
  static std::string network_code() { return data().network_code; }
  /** True for a black pixel. */
  static bool pixel(int32_t x, int32_t y) { return ::logo_getpixel(x, y) == 0; }
  /// Blackens or whitens one pixel.
  static void set_pixel(int32_t x, int32_t y, bool black) { ::logo_setpixel(x, y, black ? 0 : 1); }

 private:
  struct fields {
    int32_t kind = 0, width = 0, height = 0;
    std::string network_code;
  };
  static fields data() {
    fields f;
    char code[8] = {};
    ::logo_getdata(&f.kind, &f.width, &f.height, code, sizeof code);
    f.network_code = code;
    return f;
  }
};

/** The library's one ringtone in memory. */
class ringtone {
 public:
  /// Loads an RTTTL file.
  static void load(const std::string &path) {
    detail::check(::ringtone_readfile(path.c_str()), "ringtone_readfile " + path);
  }
  /// Writes the tone as an RTTTL file.
  static void save(const std::string &path) {
    detail::check(::ringtone_writefile(path.c_str()), "ringtone_writefile " + path);
  }
  /// The tone's name.
  static std::string name() {
    return detail::text(64, [](char *b, int32_t n) { ::ringtone_getname(b, n); });
  }
  /// Sets the tone's name.
  static void set_name(const std::string &name) { ::ringtone_setname(name.c_str()); }
  /// Tempo in beats per minute.
  static int32_t tempo() { return ::ringtone_gettempo(); }
  /// Sets the tempo in beats per minute.
  static void set_tempo(int32_t bpm) { ::ringtone_settempo(bpm); }
  /** The notes in RTTTL form. */
  static std::vector<std::string> notes() {
    std::vector<std::string> all;
    const int32_t count = ::ringtone_getnotes();
    for (int32_t i = 0; i < count; ++i)
      all.push_back(detail::text(64, [i](char *b, int32_t n) { ::ringtone_getnote(i, b, n); }));
    return all;
  }
  /// Replaces the notes (at most 256, RTTTL form).
  static void set_notes(const std::vector<std::string> &notes) {
    detail::check(::ringtone_setnotes(static_cast<int32_t>(notes.size())), "ringtone_setnotes");
    for (size_t i = 0; i < notes.size(); ++i) ::ringtone_setnote(static_cast<int32_t>(i), notes[i].c_str());
  }
};

/** A WAV file of tones; closed (its header completed) by the destructor. */
class wave_file {
 public:
  /// Creates the file; throws error when it cannot be created.
  explicit wave_file(const std::string &path) : writer_(::mfbwave_create(path.c_str())) {
    if (writer_ == nullptr) throw error(PELKOR_NOT_FOUND, "mfbwave_create " + path);
  }
  ~wave_file() { ::mfbwave_close(writer_); }
  wave_file(const wave_file &) = delete;
  wave_file &operator=(const wave_file &) = delete;
  /** Appends a tone; a frequency of 0 is silence. */
  void add_tone(int32_t frequency_hz, int32_t duration_ms) { ::mfbwave_add_tone(writer_, frequency_hz, duration_ms); }

 private:
  mfbwave_writer *writer_;
};

}  // namespace pelkor16

#endif /* PELKOR16_HPP */
