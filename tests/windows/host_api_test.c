/*
 * A host application of the library in plain C: it loads the library at run time,
 * finds every export of pelkor16.h by its plain name and drives each family once
 * against the simulated phone (phonesim with examples/phone-state.json).
 *
 *   host_api_test LIBRARY PORT MISSING_PORT EXAMPLES_DIR
 *   host_api_test --list-exports
 *
 * LIBRARY is the shared library (PELKOR16.dll, libpelkor16.so), PORT the port the phone
 * hangs on (COM5 under Wine, a /dev/pts path on Linux), MISSING_PORT a port name that
 * does not exist. Every check prints one line, "ok - ..." or "FAIL - ...", and the last
 * line is the summary "host_api_test: N checks, M failed"; the exit status is 1 when a
 * check failed.
 *
 * Line protocol with the driver: for an action on the phone's side (pulling the cable,
 * a call coming in) the program prints "@control LINE" and reads one line from stdin,
 * the simulator's answer to that control line. What only the phone can tell (the texts
 * it received, the tone it decoded) the driver checks in the simulator's state after
 * the program has ended.
 */
#include <pelkor16.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "checks.h"
#include "dynamic_library.h"
#include "host_support.h"

/* ---- The exports: return type, name, parameter list, as pelkor16.h declares them ---- */

#define PELKOR_EXPORTS(X)                                                                                             \
  X(int32_t, init, (const char *port, int32_t type))                                                                  \
  X(int32_t, terminate, (void))                                                                                       \
  X(int32_t, isalive, (void))                                                                                         \
  X(int32_t, getimei, (char *buffer, int32_t size))                                                                   \
  X(int32_t, getrevision, (char *buffer, int32_t size))                                                               \
  X(int32_t, getmodel, (char *buffer, int32_t size))                                                                  \
  X(int32_t, getswdate, (char *buffer, int32_t size))                                                                 \
  X(int32_t, getrflevel, (int32_t * level))                                                                           \
  X(int32_t, getbatterylevel, (int32_t * level))                                                                      \
  X(int32_t, uses_acdc_power, (void))                                                                                 \
  X(int32_t, getdisplaystatus, (char *buffer, int32_t size))                                                          \
  X(int32_t, getdatetime, (int32_t *, int32_t *, int32_t *, int32_t *, int32_t *, int32_t *))                         \
  X(int32_t, setdatetime, (int32_t, int32_t, int32_t, int32_t, int32_t, int32_t))                                     \
  X(int32_t, getalarm, (int32_t * enabled, int32_t * hour, int32_t * minute))                                         \
  X(int32_t, setalarm, (int32_t hour, int32_t minute))                                                                \
  X(int32_t, dialvoice, (const char *number))                                                                         \
  X(int32_t, hangup, (void))                                                                                          \
  X(int32_t, send_dtmf, (const char *digits))                                                                         \
  X(int32_t, gsmbeep, (int32_t on))                                                                                   \
  X(int32_t, play_tone, (int32_t volume, int32_t frequency, int32_t duration_ms))                                     \
  X(int32_t, reset, (const char *kind))                                                                               \
  X(int32_t, incoming, (char *buffer, int32_t size))                                                                  \
  X(int32_t, incomingevent, (void))                                                                                   \
  X(int32_t, getnetworkinfo, (char *, int32_t, char *, int32_t, char *, int32_t))                                     \
  X(int32_t, netmonitor, (const char *screen, char *buffer, int32_t size))                                            \
  X(int32_t, sendsms, (const char *, const char *, int32_t, int32_t))                                                 \
  X(int32_t, senducs2, (const char *, const char *, int32_t, int32_t))                                                \
  X(int32_t, setsmsmessagecenter, (int32_t centre_index, const char *number))                                         \
  X(int32_t, getsmsmessagecenter, (char *buffer, int32_t size))                                                       \
  X(int32_t, updatesmslist, (void))                                                                                   \
  X(int32_t, getsmsmsgcount, (int32_t kind_code))                                                                     \
  X(int32_t, getsmsmsgunread, (void))                                                                                 \
  X(int32_t, getsmsmsgtotal, (void))                                                                                  \
  X(int32_t, getsmssentread, (int32_t kind_code, int32_t n))                                                          \
  X(int32_t, getsmsmsgdata, (int32_t, int32_t, int32_t, char *, int32_t))                                             \
  X(int32_t, getsmsmsgdatetime, (int32_t, int32_t, int32_t *, int32_t *, int32_t *, int32_t *, int32_t *, int32_t *)) \
  X(int32_t, deletesmsmsg, (int32_t kind_code, int32_t n))                                                            \
  X(int32_t, smsreceivedcount, (void))                                                                                \
  X(int32_t, getsms, (int32_t, char *, int32_t, char *, int32_t))                                                     \
  X(int32_t, ringtone_readfile, (const char *file_name))                                                              \
  X(int32_t, ringtone_writefile, (const char *file_name))                                                             \
  X(int32_t, ringtone_setnote, (int32_t index, const char *note))                                                     \
  X(int32_t, ringtone_getnote, (int32_t index, char *buffer, int32_t size))                                           \
  X(int32_t, ringtone_setnotes, (int32_t count))                                                                      \
  X(int32_t, ringtone_getnotes, (void))                                                                               \
  X(int32_t, ringtone_settempo, (int32_t bpm))                                                                        \
  X(int32_t, ringtone_gettempo, (void))                                                                               \
  X(int32_t, ringtone_setname, (const char *name))                                                                    \
  X(int32_t, ringtone_getname, (char *buffer, int32_t size))                                                          \
  X(int32_t, ringtone_upload, (int32_t variant))                                                                      \
  X(int32_t, ringtone_sendsms, (const char *destination))                                                             \
  X(int32_t, logo_setdata, (int32_t kind, const char *network_code))                                                  \
  X(int32_t, logo_getdata, (int32_t *, int32_t *, int32_t *, char *, int32_t))                                        \
  X(int32_t, logo_setpixel, (int32_t x, int32_t y, int32_t value))                                                    \
  X(int32_t, logo_getpixel, (int32_t x, int32_t y))                                                                   \
  X(void, logo_setgroupnumber, (int32_t number))                                                                      \
  X(int32_t, logo_getgroupnumber, (void))                                                                             \
  X(void, logo_setgroupname, (const char *name))                                                                      \
  X(void, logo_getgroupname, (char *buffer, int32_t length))                                                          \
  X(int32_t, logo_readfile, (const char *path))                                                                       \
  X(int32_t, logo_writefile, (const char *path))                                                                      \
  X(int32_t, setlogo, (int32_t first, const char *text, int32_t third))                                               \
  X(int32_t, logo_upload, (void))                                                                                     \
  X(int32_t, logo_download, (int32_t kind))                                                                           \
  X(int32_t, sendoplogoviasms, (const char *destination))                                                             \
  X(int32_t, getphonebookentry, (int32_t, int32_t, char *, int32_t, char *, int32_t, int32_t *))                      \
  X(int32_t, setphonebookentry, (int32_t, int32_t, const char *, const char *, int32_t))                              \
  X(int32_t, getspeeddial, (int32_t key, int32_t * memory, int32_t * location))                                       \
  X(int32_t, setspeeddial, (int32_t key, int32_t memory_type, int32_t location))                                      \
  X(mfbwave_writer *, mfbwave_create, (const char *file_name))                                                        \
  X(void, mfbwave_add_tone, (mfbwave_writer *, int32_t frequency_hz, int32_t duration_ms))                            \
  X(void, mfbwave_close, (mfbwave_writer * writer))                                                                   \
  X(int32_t, pelkor_settrace, (const char *path))                                                                     \
  X(const char *, pelkor_strerror, (int32_t code))                                                                    \
  X(const char *, pelkor_version, (void))                                                                             \
  X(int32_t, pelkor_sendsms_utf8, (const char *, const char *, int32_t, int32_t, int32_t *))                          \
  X(int32_t, pelkor_smsparts_utf8, (const char *text, int32_t *parts, int32_t *ucs2))                                 \
  X(int32_t, pelkor_sendsmspart_utf8, (const char *, const char *, int32_t, int32_t, int32_t, int32_t))               \
  X(int32_t, pelkor_getsmsmsgtext_utf8, (int32_t, int32_t, char *, int32_t))                                          \
  X(int32_t, pelkor_getsmsmsgsender_utf8, (int32_t, int32_t, char *, int32_t))                                        \
  X(int32_t, pelkor_getsmsmsglocation, (int32_t kind_code, int32_t n))                                                \
  X(int32_t, pelkor_getsmsmsgdetails,                                                                                 \
    (int32_t kind_code, int32_t n, int32_t * coding_scheme, int32_t * message_class, int32_t * concat_reference,      \
     int32_t * concat_part, int32_t * concat_total))                                                                  \
  X(int32_t, pelkor_getsmsmsgpdu, (int32_t kind_code, int32_t n, uint8_t * buffer, int32_t size))                     \
  X(int32_t, pelkor_getsendreferences, (int32_t * references, int32_t size))                                          \
  X(int32_t, pelkor_getsmsreportdetails, (int32_t, int32_t *, char *, int32_t, int32_t *, int32_t *, int32_t *))      \
  X(int32_t, pelkor_getsms_utf8, (int32_t, char *, int32_t, char *, int32_t))                                         \
  X(int32_t, pelkor_savesms_utf8, (int32_t, int32_t, int32_t, const char *, const char *, const int32_t *))           \
  X(int32_t, pelkor_getphonebookentry_utf8, (int32_t, int32_t, char *, int32_t, char *, int32_t, int32_t *))          \
  X(int32_t, pelkor_setphonebookentry_utf8, (int32_t, int32_t, const char *, const char *, int32_t))

/* One pointer type per export, with the header's calling convention (__stdcall on
 * Windows): a pointer of the wrong convention would corrupt the stack on i686. */
#define DECLARE_POINTER_TYPE(result, name, parameters) typedef result(PELKOR_CALL *name##_function) parameters;
PELKOR_EXPORTS(DECLARE_POINTER_TYPE)

/* Each pointer type must be the type of the header's declaration, calling convention
 * included; the operand of _Generic is not evaluated, so nothing is linked. */
#define CHECK_POINTER_TYPE(result, name, parameters)                \
  _Static_assert(_Generic(&name, name##_function : 1, default : 0), \
                 "the pointer type of " #name " differs from pelkor16.h");
PELKOR_EXPORTS(CHECK_POINTER_TYPE)

#define DECLARE_MEMBER(result, name, parameters) name##_function name;
static struct { PELKOR_EXPORTS(DECLARE_MEMBER) } api;

#define COUNT_EXPORT(result, name, parameters) +1
enum { export_count = 0 PELKOR_EXPORTS(COUNT_EXPORT) };

/* ---- Checks ------------------------------------------------------------------------ */

static int check_int(const char *what, long got, long expected) {
  return check(got == expected, what, "got %ld, expected %ld", got, expected);
}

static int check_text(const char *what, const char *got, const char *expected) {
  return check(strcmp(got, expected) == 0, what, "got \"%s\", expected \"%s\"", got, expected);
}

/* A result code and the text it came with, in one line. */
static int check_result_text(const char *what, long result, long expected_result, const char *got,
                             const char *expected) {
  return check(result == expected_result && strcmp(got, expected) == 0, what, "got %ld \"%s\", expected %ld \"%s\"",
               result, got, expected_result, expected);
}

/* Sends a control line to the simulator through the driver; the answer lands in reply. */
static int control(const char *line, char *reply, size_t size) {
  size_t length;
  emit("@control %s", line);
  if (fgets(reply, (int)size, stdin) == NULL) {
    snprintf(reply, size, "(no answer from the driver)");
    return -1;
  }
  length = strlen(reply);
  while (length > 0 && (reply[length - 1] == '\n' || reply[length - 1] == '\r')) reply[--length] = '\0';
  return 0;
}

static int check_control(const char *line, const char *expected_answer) {
  char reply[512];
  char what[160];
  snprintf(what, sizeof what, "phone control \"%s\"", line);
  control(line, reply, sizeof reply);
  return check(strcmp(reply, expected_answer) == 0, what, "answered \"%s\", expected \"%s\"", reply, expected_answer);
}

/* Calls probe until it returns non-zero or timeout_ms have passed; its last value. */
static int wait_for(int (*probe)(void *context), void *context, int timeout_ms) {
  const int64_t deadline = host_clock_ms() + timeout_ms;
  for (;;) {
    const int value = probe(context);
    if (value != 0 || host_clock_ms() >= deadline) return value;
    host_sleep_ms(20);
  }
}

/* ---- Arguments and shared state ---------------------------------------------------- */

static const char *port_name;
static const char *missing_port_name;
static const char *examples_dir;

static char *path_in_examples(char *out, size_t size, const char *name) {
  snprintf(out, size, "%s/%s", examples_dir, name);
  return out;
}

/* ---- Loading --------------------------------------------------------------------- */

static void print_export_names(void) {
#define PRINT_NAME(result, name, parameters) emit("%s", #name);
  PELKOR_EXPORTS(PRINT_NAME)
#undef PRINT_NAME
}

static int resolve_exports(dynamic_library *library) {
  char missing[1024] = "";
  int found = 0;
#define RESOLVE(result, name, parameters)                             \
  api.name = (name##_function)dynamic_library_symbol(library, #name); \
  if (api.name != NULL) {                                             \
    ++found;                                                          \
  } else if (strlen(missing) + sizeof #name + 2 < sizeof missing) {   \
    strcat(missing, " " #name);                                       \
  }
  PELKOR_EXPORTS(RESOLVE)
#undef RESOLVE
  check(found == export_count, "every export of pelkor16.h resolves by its plain name", "%d of %d found; missing:%s",
        found, (int)export_count, missing);
  return found == export_count;
}

/* ---- Session ------------------------------------------------------------------------- */

static int session_is_alive(void *context) {
  (void)context;
  return api.isalive() == 1;
}

static void check_session(void) {
  char text[32] = "untouched";
  char quick[64];

  check_int("getimei before any init returns -1", api.getimei(text, sizeof text), PELKOR_NOT_FOUND);
  check_text("getimei without a session leaves the buffer as it was", text, "untouched");
  check_int("isalive before any init is 0", api.isalive(), 0);

  check_int("init on the phone's port returns 0", api.init(port_name, PELKOR_CONNECTION_CABLE), PELKOR_OK);
  check_int("isalive right after init is 1", api.isalive(), 1);
  check_int("terminate returns 0", api.terminate(), PELKOR_OK);
  check_int("isalive after terminate is 0", api.isalive(), 0);
  check_int("terminate a second time returns 0", api.terminate(), PELKOR_OK);

  check_int("a second init returns 0", api.init(port_name, PELKOR_CONNECTION_CABLE), PELKOR_OK);
  check_int("init again without terminate closes the first and returns 0", api.init(port_name, PELKOR_CONNECTION_CABLE),
            PELKOR_OK);
  check_int("isalive on the reopened session is 1", api.isalive(), 1);

  check_int("init on a port that does not exist returns 22", api.init(missing_port_name, PELKOR_CONNECTION_CABLE),
            PELKOR_ERR_REFUSED);
  check_int("isalive after the refused init is 0", api.isalive(), 0);
  check_int("getmodel after the refused init returns -1", api.getmodel(text, sizeof text), PELKOR_NOT_FOUND);

  snprintf(quick, sizeof quick, "%sF", port_name);
  check_int("init with the quick-start suffix F returns 0", api.init(quick, PELKOR_CONNECTION_CABLE), PELKOR_OK);
  check_int("isalive after the quick start is 1", api.isalive(), 1);
}

/* ---- Identity and status -------------------------------------------------------------- */

static void check_identity_and_status(void) {
  char text[64];
  int32_t level = 0;

  check_result_text("getimei", api.getimei(text, sizeof text), PELKOR_OK, text, "490154203237518");
  check_result_text("getmodel", api.getmodel(text, sizeof text), PELKOR_OK, text, "NSE-3");
  check_result_text("getmodel cut to a 4-byte buffer", api.getmodel(text, 4), PELKOR_OK, text, "NSE");
  check_result_text("getrevision", api.getrevision(text, sizeof text), PELKOR_OK, text, "SWV 5.24, HW0520");
  check_result_text("getswdate", api.getswdate(text, sizeof text), PELKOR_OK, text, "17-02-99");

  check_int("getrflevel returns 0", api.getrflevel(&level), PELKOR_OK);
  check_int("getrflevel reports signal 3 as 300", level, 300);
  check_int("getbatterylevel returns 0", api.getbatterylevel(&level), PELKOR_OK);
  check_int("getbatterylevel reports battery 4 as 400", level, 400);
  check_int("uses_acdc_power is 1 on the charger", api.uses_acdc_power(), 1);
  check_result_text("getdisplaystatus shows indicators 1 and 4", api.getdisplaystatus(text, sizeof text), PELKOR_OK,
                    text, "10010000");
}

/* ---- Clock and alarm ---------------------------------------------------------------- */

static void check_clock(void) {
  int32_t year = -1, month = -1, day = -1, hour = -1, minute = -1, second = -1;
  int32_t enabled = -1;

  check_int("getalarm returns 0", api.getalarm(&enabled, &hour, &minute), PELKOR_OK);
  check(enabled == 0 && hour == 7 && minute == 0, "getalarm reports the switched-off alarm at 07:00",
        "got enabled %d at %02d:%02d", (int)enabled, (int)hour, (int)minute);

  check_int("setdatetime 2001-03-15 12:30:45 returns 0", api.setdatetime(2001, 3, 15, 12, 30, 45), PELKOR_OK);
  check_int("getdatetime returns 0", api.getdatetime(&year, &month, &day, &hour, &minute, &second), PELKOR_OK);
  /* The phone takes the minute and starts its seconds at 0. */
  check(year == 2001 && month == 3 && day == 15 && hour == 12 && minute == 30 && second >= 0 && second <= 5,
        "getdatetime reads back the clock that was set", "got %04d-%02d-%02d %02d:%02d:%02d", (int)year, (int)month,
        (int)day, (int)hour, (int)minute, (int)second);

  check_int("setalarm 06:45 returns 0", api.setalarm(6, 45), PELKOR_OK);
  enabled = hour = minute = -1;
  check_int("getalarm after setalarm returns 0", api.getalarm(&enabled, &hour, &minute), PELKOR_OK);
  check(enabled == 1 && hour == 6 && minute == 45, "getalarm reads back the switched-on alarm at 06:45",
        "got enabled %d at %02d:%02d", (int)enabled, (int)hour, (int)minute);
}

/* ---- Calls and tones ------------------------------------------------------------------ */

struct call_probe {
  const char *expected;
  int32_t result;
  char text[32];
};

/* Non-zero once incoming() gives the expected text (result 0) or, with no text
 * expected, reports no call (23). */
static int call_text_is(void *context) {
  struct call_probe *probe = (struct call_probe *)context;
  probe->result = api.incoming(probe->text, sizeof probe->text);
  if (probe->expected == NULL) return probe->result == PELKOR_ERR_NO_CALL;
  return probe->result == PELKOR_OK && strcmp(probe->text, probe->expected) == 0;
}

static void check_call_text(const char *what, const char *expected) {
  struct call_probe probe;
  probe.expected = expected;
  wait_for(call_text_is, &probe, 2000);
  if (expected == NULL)
    check(probe.result == PELKOR_ERR_NO_CALL, what, "got %d \"%s\", expected 23", (int)probe.result, probe.text);
  else
    check_result_text(what, probe.result, PELKOR_OK, probe.text, expected);
}

static int incoming_event_raised(void *context) {
  (void)context;
  return api.incomingevent() == 1;
}

static void check_calls_and_tones(void) {
  char text[32];
  int64_t started;

  check_int("incoming before any call returns 23", api.incoming(text, sizeof text), PELKOR_ERR_NO_CALL);
  check_int("dialvoice 12345 returns 0", api.dialvoice("12345"), PELKOR_OK);
  check_call_text("the dialled call shows as established (D)", "D");
  check_int("send_dtmf 12#* returns 0", api.send_dtmf("12#*"), PELKOR_OK);
  check_int("hangup returns 0", api.hangup(), PELKOR_OK);
  check_call_text("after hangup no call is known", NULL);

  check_int("gsmbeep on returns 1", api.gsmbeep(1), PELKOR_HANDED_TO_SEND);
  check_int("gsmbeep off returns 1", api.gsmbeep(0), PELKOR_HANDED_TO_SEND);
  started = host_clock_ms();
  check_int("play_tone 1000 Hz for 200 ms returns 1", api.play_tone(4, 1000, 200), PELKOR_HANDED_TO_SEND);
  check(host_clock_ms() - started >= 180, "play_tone holds the tone for its duration", "returned after %ld ms",
        (long)(host_clock_ms() - started));
  check_int("reset with a null kind (soft) returns 0", api.reset(NULL), PELKOR_OK);

  check_control("call incoming 0612345678", "ok");
  check_int("incomingevent reports the announced call", wait_for(incoming_event_raised, NULL, 2000), 1);
  check_int("incomingevent reports it only once", api.incomingevent(), 0);
  check_result_text("incoming gives the caller's number", api.incoming(text, sizeof text), PELKOR_OK, text,
                    "0612345678");
  check_control("call establish 7", "ok");
  check_call_text("the answered call shows as D612345678", "D612345678");
  check_int("hangup of the incoming call returns 0", api.hangup(), PELKOR_OK);
  check_call_text("after hanging up the incoming call no call is known", NULL);
}

/* ---- Network ------------------------------------------------------------------------- */

static void check_network(void) {
  char code[7], area[8], cell[8], screen[64];
  const int32_t result = api.getnetworkinfo(code, sizeof code, area, sizeof area, cell, sizeof cell);
  check(result == PELKOR_OK && strcmp(code, "262 01") == 0 && strcmp(area, "5678") == 0 && strcmp(cell, "1234") == 0,
        "getnetworkinfo gives network 262 01, area 5678, cell 1234", "got %d \"%s\" \"%s\" \"%s\"", (int)result, code,
        area, cell);
  check_result_text("netmonitor field screen", api.netmonitor("field", screen, sizeof screen), PELKOR_OK, screen,
                    "CH 62 RxL -67 C1 38 TA 1 ");
  check_result_text("netmonitor screen 2", api.netmonitor("2", screen, sizeof screen), PELKOR_OK, screen,
                    "CELL 1234 LAC 5678 NCC 3 BCC 2");
}

/* ---- SMS sending and the message store ------------------------------------------------- */

/* The long text the driver expects back in two concatenated parts. */
static void long_text(char *out, int length) {
  int i;
  for (i = 0; i < length; ++i) out[i] = (char)('a' + i % 26);
  out[length] = '\0';
}

static void check_sms_send(void) {
  char centre[48];
  char text[200];

  check_int("setsmsmessagecenter by number returns 0", api.setsmsmessagecenter(0, "+4477001122"), PELKOR_OK);
  check_result_text("getsmsmessagecenter gives set 0 and the number", api.getsmsmessagecenter(centre, sizeof centre), 0,
                    centre, "+4477001122");
  check_int("sendsms of a short class-1 text returns 0", api.sendsms("+1234567", "Hello world", 0, 1), PELKOR_OK);
  long_text(text, 161);
  check_int("sendsms of 161 characters (two parts) returns 0", api.sendsms("+1234567", text, 0, 1), PELKOR_OK);
  check_int("sendsms to a number with letters is refused with 22", api.sendsms("12ab", "hi", 0, 0), PELKOR_ERR_REFUSED);
}

static int arrival_counted(void *context) {
  (void)context;
  return api.smsreceivedcount() >= 1;
}

static void check_sms_store(void) {
  enum { received = 13, outgoing = 11, report = 12 };
  char number[48], text[300];
  int32_t year = -1, month = -1, day = -1, hour = -1, minute = -1, second = -1;
  int32_t result;

  /* Locations 1-4 hold messages, 5-10 are empty, 11 is past the end of the store. */
  check_int("updatesmslist ends at the first invalid location with 8", api.updatesmslist(), PELKOR_ERR_SMS_READ);
  check_int("the list holds two received messages", api.getsmsmsgcount(received), 2);
  check_int("the list holds one stored outgoing message", api.getsmsmsgcount(outgoing), 1);
  check_int("the list holds one status report", api.getsmsmsgcount(report), 1);
  check_result_text("text of received message 1", api.getsmsmsgdata(received, 1, 1, text, sizeof text), PELKOR_OK, text,
                    "Meet you at the station at 6?");
  check_result_text("sender of received message 1", api.getsmsmsgdata(received, 1, 2, text, sizeof text), PELKOR_OK,
                    text, "+4917011112222");
  check_result_text("alphanumeric sender of received message 2", api.getsmsmsgdata(received, 2, 2, text, sizeof text),
                    PELKOR_OK, text, "DHL");
  check_result_text("text of the stored outgoing message", api.getsmsmsgdata(outgoing, 1, 1, text, sizeof text),
                    PELKOR_OK, text, "On my way!");
  check_result_text("the status report reads Delivered", api.getsmsmsgdata(report, 1, 1, text, sizeof text), PELKOR_OK,
                    text, "Delivered");
  result = api.getsmsmsgdatetime(received, 1, &year, &month, &day, &hour, &minute, &second);
  check(result == PELKOR_OK && year == 26 && month == 12 && day == 8 && hour == 17 && minute == 42 && second == 5,
        "time stamp of received message 1 is 26-12-08 17:42:05", "got %d: %02d-%02d-%02d %02d:%02d:%02d", (int)result,
        (int)year, (int)month, (int)day, (int)hour, (int)minute, (int)second);
  check_int("received message 1 is read", api.getsmssentread(received, 1), 1);
  check_int("received message 2 is unread", api.getsmssentread(received, 2), 0);
  check_int("getsmsmsgunread counts one unread message", api.getsmsmsgunread(), 1);
  check_int("getsmsmsgtotal counts four messages", api.getsmsmsgtotal(), 4);

  result = api.getsms(1, number, sizeof number, text, sizeof text);
  check(result == 13 && strcmp(number, "+4917011112222") == 0 && strcmp(text, "Meet you at the station at 6?") == 0,
        "getsms 1 reads the received message with its sender", "got %d \"%s\" \"%s\"", (int)result, number, text);
  result = api.getsms(3, number, sizeof number, text, sizeof text);
  check(result == 11 && number[0] == '\0' && strcmp(text, "On my way!") == 0,
        "getsms 3 reads the stored outgoing message without a number", "got %d \"%s\" \"%s\"", (int)result, number,
        text);
  check_int("getsms of an empty location returns 4", api.getsms(5, number, sizeof number, text, sizeof text), 4);
  check_int("getsms past the end of the store returns 3", api.getsms(11, number, sizeof number, text, sizeof text), 3);

  check_int("deletesmsmsg of received message 2 returns 0", api.deletesmsmsg(received, 2), PELKOR_OK);
  check_int("the list holds one received message after the delete", api.getsmsmsgcount(received), 1);
  check_int("there is no second received message any more", api.getsmsmsgdata(received, 2, 1, text, sizeof text),
            PELKOR_NOT_FOUND);
  check_int("the deleted location is empty on the phone", api.getsms(2, number, sizeof number, text, sizeof text), 4);

  /* A new message arrives: stored at the first free location, announced to the library. */
  check_control("sms deliver +4915550001 Hello from the network", "ok 2");
  check_int("smsreceivedcount counts the arrival notice", wait_for(arrival_counted, NULL, 3000), 1);
  check_int("the arrived message was read into the list", api.getsmsmsgcount(received), 2);
  check_result_text("text of the arrived message", api.getsmsmsgdata(received, 2, 1, text, sizeof text), PELKOR_OK,
                    text, "Hello from the network");
  check_result_text("sender of the arrived message", api.getsmsmsgdata(received, 2, 2, text, sizeof text), PELKOR_OK,
                    text, "+4915550001");

  /* A UCS-2 message: its text is 00 48 00 69, so the 8-bit field reads empty, and the
   * library writes its dump files (c:\temp\ on Windows, TMPDIR elsewhere), which the
   * driver looks at. */
  check_control(
      "set /sms/messages/- {\"location\": 5, \"kind\": \"received\", \"coding\": \"ucs2\", "
      "\"text\": \"Hi\", \"sender\": \"+4930123\"}",
      "ok");
  check_int("updatesmslist with a UCS-2 message at 5 still ends with 8", api.updatesmslist(), PELKOR_ERR_SMS_READ);
  check_int("the list holds three received messages", api.getsmsmsgcount(received), 3);
  check_result_text("the UCS-2 text reads empty as 8-bit text", api.getsmsmsgdata(received, 3, 1, text, sizeof text),
                    PELKOR_OK, text, "");
  check_result_text("sender of the UCS-2 message", api.getsmsmsgdata(received, 3, 2, text, sizeof text), PELKOR_OK,
                    text, "+4930123");
}

/* ---- Phonebook --------------------------------------------------------------------------- */

static void check_phonebook(void) {
  char name[48], number[48];
  int32_t group = -7, memory = -7, location = -7;
  int32_t result;

  result = api.getphonebookentry(1, 0, name, sizeof name, number, sizeof number, &group);
  check(result == PELKOR_OK && strcmp(name, "Alice Archer") == 0 && strcmp(number, "+441632960001") == 0 && group == 0,
        "getphonebookentry 1 of the phone's memory", "got %d \"%s\" \"%s\" group %d", (int)result, name, number,
        (int)group);
  result = api.getphonebookentry(1, 1, name, sizeof name, number, sizeof number, &group);
  check(result == PELKOR_OK && strcmp(name, "Carol (SIM)") == 0 && group == 1, "getphonebookentry 1 of the SIM",
        "got %d \"%s\" group %d", (int)result, name, (int)group);

  check_int("setphonebookentry 7 returns 0", api.setphonebookentry(7, 0, "Dora Diaz", "+441632960007", 3), PELKOR_OK);
  group = -7;
  result = api.getphonebookentry(7, 0, name, sizeof name, number, sizeof number, &group);
  check(result == PELKOR_OK && strcmp(name, "Dora Diaz") == 0 && strcmp(number, "+441632960007") == 0 && group == 3,
        "getphonebookentry 7 reads back the written entry", "got %d \"%s\" \"%s\" group %d", (int)result, name, number,
        (int)group);

  check_int("setspeeddial 4 to entry 7 of the phone's memory returns 0", api.setspeeddial(4, 0, 7), PELKOR_OK);
  result = api.getspeeddial(4, &memory, &location);
  check(result == PELKOR_OK && memory == 0 && location == 7, "getspeeddial 4 reads back memory 0, location 7",
        "got %d memory %d location %d", (int)result, (int)memory, (int)location);
  result = api.getspeeddial(3, &memory, &location);
  check(result == PELKOR_OK && memory == 1 && location == 1, "getspeeddial 3 points at the SIM, location 1",
        "got %d memory %d location %d", (int)result, (int)memory, (int)location);
}

/* ---- Logo ----------------------------------------------------------------------------------- */

/* The operator logo drawn here; the driver draws the same one from the simulator's
 * record of the upload. */
static int drawn_pixel_is_on(int x, int y) { return x == 0 || y == 0 || x == 71 || y == 13 || (x + 2 * y) % 9 == 0; }

static void check_logo(void) {
  int32_t kind = -1, width = -1, height = -1;
  char code[16], name[64];
  int x, y, mismatches = 0;

  check_int("logo_setdata operator 244 05 returns 0", api.logo_setdata(PELKOR_LOGO_OPERATOR, "244 05"), PELKOR_OK);
  for (y = 0; y < 14; ++y)
    for (x = 0; x < 72; ++x) api.logo_setpixel(x, y, drawn_pixel_is_on(x, y) ? 0 : 1);
  for (y = 0; y < 14; ++y)
    for (x = 0; x < 72; ++x) mismatches += api.logo_getpixel(x, y) != (drawn_pixel_is_on(x, y) ? 0 : 1);
  check_int("logo_getpixel reads back every drawn pixel", mismatches, 0);
  check_int("logo_getpixel outside the logo is 0", api.logo_getpixel(72, 0), 0);
  api.logo_getdata(&kind, &width, &height, code, sizeof code);
  check(kind == PELKOR_LOGO_OPERATOR && width == 72 && height == 14 && strcmp(code, "244 05") == 0,
        "logo_getdata reports an operator logo of 72 x 14 for 244 05", "got kind %d, %d x %d, \"%s\"", (int)kind,
        (int)width, (int)height, code);
  check_int("logo_upload of the operator logo returns 0", api.logo_upload(), PELKOR_OK);
  check_int("sendoplogoviasms of the operator logo returns 0", api.sendoplogoviasms("+1234567"), PELKOR_OK);

  /* A caller-group logo comes back from the phone with its group's name. */
  api.logo_setgroupnumber(2);
  check_int("logo_download of caller group 2 returns 0", api.logo_download(PELKOR_LOGO_CALLER), PELKOR_OK);
  api.logo_getgroupname(name, sizeof name);
  check_text("the downloaded group is named Friends", name, "Friends");
  check_int("logo_getgroupnumber keeps group 2", api.logo_getgroupnumber(), 2);
  api.logo_getdata(&kind, &width, &height, NULL, 0);
  check(kind == PELKOR_LOGO_CALLER && width == 72 && height == 14, "the downloaded caller logo is 72 x 14",
        "got kind %d, %d x %d", (int)kind, (int)width, (int)height);
  check_int("the downloaded logo's corner pixel is on", api.logo_getpixel(0, 0), 0);
}

/* ---- Ringtone -------------------------------------------------------------------------------- */

static void check_ringtone(void) {
  char path[600], text[64];

  check_int("ringtone_readfile of ode_to_joy.rtttl returns 0",
            api.ringtone_readfile(path_in_examples(path, sizeof path, "ode_to_joy.rtttl")), PELKOR_OK);
  check_int("the tone has the file's 30 notes", api.ringtone_getnotes(), 30);
  check_int("the tone keeps the file's tempo of 120", api.ringtone_gettempo(), 120);
  check_result_text("the tone is named OdeToJoy", api.ringtone_getname(text, sizeof text), PELKOR_OK, text, "OdeToJoy");
  check_result_text("its first note reads 4e5", api.ringtone_getnote(0, text, sizeof text), PELKOR_OK, text, "4e5");
  check_result_text("its thirteenth note (e.) reads 4e.5", api.ringtone_getnote(12, text, sizeof text), PELKOR_OK, text,
                    "4e.5");
  check_int("ringtone_upload (type 0x12) returns 0", api.ringtone_upload(0), PELKOR_OK);

  /* A tone built note by note goes up in the other message form. */
  check_int("ringtone_setnotes 0 returns 0", api.ringtone_setnotes(0), PELKOR_OK);
  check_int("ringtone_setname returns 0", api.ringtone_setname("Built"), PELKOR_OK);
  check_int("ringtone_settempo returns 0", api.ringtone_settempo(160), PELKOR_OK);
  check_int("ringtone_setnote 0 returns 0", api.ringtone_setnote(0, "8c5"), PELKOR_OK);
  check_int("ringtone_setnote 1 returns 0", api.ringtone_setnote(1, "8p"), PELKOR_OK);
  check_int("ringtone_setnote 2 returns 0", api.ringtone_setnote(2, "4g#6."), PELKOR_OK);
  check_int("the built tone has three notes", api.ringtone_getnotes(), 3);
  check_result_text("the built tone's last note reads 4g#.6", api.ringtone_getnote(2, text, sizeof text), PELKOR_OK,
                    text, "4g#.6");
  check_int("ringtone_upload (type 0x05) returns 0", api.ringtone_upload(1), PELKOR_OK);
}

/* ---- Pulled cable --------------------------------------------------------------------------- */

static int session_is_down(void *context) {
  (void)context;
  return api.isalive() == 0;
}

static void check_pulled_cable(void) {
  int32_t level = 0;
  int64_t last_answer, dropped;

  check_int("getbatterylevel answers before the cable is pulled", api.getbatterylevel(&level), PELKOR_OK);
  last_answer = host_clock_ms();
  if (!check_control("silent on", "ok")) return;
  check_int("isalive is still 1 at once after the cable is pulled", api.isalive(), 1);
  level = 0;
  check_int("getrflevel without an answer times out with 4", api.getrflevel(&level), PELKOR_ERR_TIMEOUT);
  check_int("the timed-out getrflevel reports -1", level, -1);
  check_int("isalive drops to 0 with frames unacknowledged", wait_for(session_is_down, NULL, 6000), 1);
  dropped = host_clock_ms() - last_answer;
  check(dropped >= 1950, "isalive dropped only after 2 s without received data", "dropped after %ld ms", (long)dropped);

  check_control("silent off", "ok");
  check_int("getrflevel answers once the cable is back", api.getrflevel(&level), PELKOR_OK);
  check_int("isalive returns to 1", wait_for(session_is_alive, NULL, 3000), 1);
}

/* ---- The session ends with the thread that opened it ---------------------------------------- */

static void open_session_and_leave(void *result) { *(int32_t *)result = api.init(port_name, PELKOR_CONNECTION_CABLE); }

/* The "frames N" count of the simulator's info line, or -1. */
static long frames_seen_by_phone(void) {
  char reply[512];
  const char *field;
  if (control("info", reply, sizeof reply) != 0) return -1;
  field = strstr(reply, " frames ");
  return field != NULL ? strtol(field + 8, NULL, 10) : -1;
}

static void check_session_ends_with_its_thread(void) {
  int32_t thread_result = -99;
  char text[32];
  long before, after;

  check_int("a thread could be started", host_run_thread(open_session_and_leave, &thread_result), 0);
  check_int("init on the other thread returned 0", thread_result, PELKOR_OK);
  check_int("after that thread ended, isalive is 0", api.isalive(), 0);
  check_int("after that thread ended, getimei returns -1", api.getimei(text, sizeof text), PELKOR_NOT_FOUND);
  check_int("after that thread ended, getmodel returns -1", api.getmodel(text, sizeof text), PELKOR_NOT_FOUND);
  /* With the session open the keep-alive asks for the status every 4 s. */
  before = frames_seen_by_phone();
  host_sleep_ms(5000);
  after = frames_seen_by_phone();
  check(before >= 0 && after == before, "no frame reaches the phone once the session has ended",
        "the phone counted %ld frames, then %ld", before, after);
  check_int("a fresh init on the same port returns 0", api.init(port_name, PELKOR_CONNECTION_CABLE), PELKOR_OK);
  check_result_text("the fresh session answers getimei", api.getimei(text, sizeof text), PELKOR_OK, text,
                    "490154203237518");
  check_int("terminate of the fresh session returns 0", api.terminate(), PELKOR_OK);
}

/* ---- Main ---------------------------------------------------------------------------------- */

int main(int argc, char **argv) {
  dynamic_library *library;

  if (argc == 2 && strcmp(argv[1], "--list-exports") == 0) {
    print_export_names();
    return 0;
  }
  if (argc != 5) {
    fprintf(stderr, "usage: %s LIBRARY PORT MISSING_PORT EXAMPLES_DIR\n       %s --list-exports\n", argv[0], argv[0]);
    return 2;
  }
  port_name = argv[2];
  missing_port_name = argv[3];
  examples_dir = argv[4];

  library = dynamic_library_open(argv[1]);
  if (check(library != NULL, "the library loads", "%s", dynamic_library_error()) && resolve_exports(library)) {
    check_int("pelkor_settrace with no path (trace off) returns 0", api.pelkor_settrace(NULL), 0);
    check_text("pelkor_strerror(4) is the text of the time-out", api.pelkor_strerror(PELKOR_ERR_TIMEOUT),
               "no answer from the phone in time");
    check(api.pelkor_version() != NULL && strchr(api.pelkor_version(), '.') != NULL,
          "pelkor_version gives a dotted version", "got %s", api.pelkor_version() ? api.pelkor_version() : "(null)");
    {
      /* Pointer outputs through the calling convention, no phone needed. */
      int32_t parts = 0, ucs2 = -1;
      check_int("pelkor_smsparts_utf8 of 71 Cyrillic letters returns 0",
                api.pelkor_smsparts_utf8("\xD0\x96\xD0\x96\xD0\x96\xD0\x96\xD0\x96\xD0\x96\xD0\x96"
                                         "\xD0\x96\xD0\x96\xD0\x96\xD0\x96\xD0\x96\xD0\x96\xD0\x96"
                                         "\xD0\x96\xD0\x96\xD0\x96\xD0\x96\xD0\x96\xD0\x96\xD0\x96"
                                         "\xD0\x96\xD0\x96\xD0\x96\xD0\x96\xD0\x96\xD0\x96\xD0\x96"
                                         "\xD0\x96\xD0\x96\xD0\x96\xD0\x96\xD0\x96\xD0\x96\xD0\x96"
                                         "\xD0\x96\xD0\x96\xD0\x96\xD0\x96\xD0\x96\xD0\x96\xD0\x96"
                                         "\xD0\x96\xD0\x96\xD0\x96\xD0\x96\xD0\x96\xD0\x96\xD0\x96"
                                         "\xD0\x96\xD0\x96\xD0\x96\xD0\x96\xD0\x96\xD0\x96\xD0\x96"
                                         "\xD0\x96\xD0\x96\xD0\x96\xD0\x96\xD0\x96\xD0\x96\xD0\x96"
                                         "\xD0\x96\xD0\x96\xD0\x96\xD0\x96\xD0\x96\xD0\x96\xD0\x96"
                                         "\xD0\x96",
                                         &parts, &ucs2),
                0);
      check_int("... in two UCS-2 parts", parts * 10 + ucs2, 21);
    }
    check_session();
    check_identity_and_status();
    check_clock();
    check_calls_and_tones();
    check_network();
    check_sms_send();
    check_sms_store();
    check_phonebook();
    check_logo();
    check_ringtone();
    check_pulled_cable();
    check_session_ends_with_its_thread();
    api.terminate();
  }
  /* A host may unload the library once its session is closed; a crash or hang here
   * shows as a missing summary line. */
  dynamic_library_close(library);
  return finish_checks("host_api_test");
}
