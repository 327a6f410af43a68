/*
 * Stack discipline of the 32-bit DLL, as a Visual Basic 6 or Delphi host meets it.
 *
 *   stack_check_test PELKOR16.dll PORT
 *
 * Such hosts know an export only by its name and its argument count (a `Declare`, an
 * `external` clause): they push the arguments, call, and expect the callee to pop them
 * (stdcall) and to leave ESP, EBX, ESI, EDI and EBP as they were. An export built with
 * the wrong calling convention still "works" from C through the header, but corrupts
 * such a host's stack. This program includes no header of the library: each export is
 * called through a small assembly thunk from the argument count that export_arities.py
 * read off pelkor16.h, and after each call the thunk's record says whether the stack
 * pointer and the callee-saved registers came back unchanged.
 *
 * First every export that works without the phone (the tone, logo and wave models, the
 * message list, texts) is called with zero for every argument and no session: each must
 * refuse or do nothing, as null pointers and sizes of 0 are tolerated. Then a session on
 * PORT (phonesim) calls every export that talks to the phone, with real arguments, and
 * the last check is that every export was called. Output is the
 * check-line format of the other host programs, ending in
 * "stack_check_test: N checks, M failed".
 */
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "checks.h"
#include "dynamic_library.h"
#include "export_arities.h"

/* ---- The thunk --------------------------------------------------------------------- */

/* What the thunk saw: ESP before the arguments were pushed and after the call, and the
 * callee-saved registers after the call (they hold the sentinels below before it). */
struct call_record {
  uint32_t esp_before;
  uint32_t esp_after;
  uint32_t ebx;
  uint32_t esi;
  uint32_t edi;
  uint32_t ebp;
  uint32_t saved_ebp;
};

#define SENTINEL_EBX 0xB0B1B2B3u
#define SENTINEL_ESI 0x51525354u
#define SENTINEL_EDI 0xD1D2D3D4u
#define SENTINEL_EBP 0xEB0EB0EBu

struct call_record stack_call_record __asm__("pelkor_stack_call_record");

/* uint32_t checked_call(function, arguments, count): a cdecl function of its own that
 * pushes count 32-bit arguments (the last one first), loads the sentinels, calls, and
 * records ESP and the registers before putting its own back from the record. ESP is
 * aligned to 16 bytes at the call, as compilers of hosts leave it. */
uint32_t checked_call(dynamic_function function, const uint32_t *arguments,
                      uint32_t count) __asm__("pelkor_checked_call");

__asm__(
    ".text\n"
    ".globl pelkor_checked_call\n"
    "pelkor_checked_call:\n"
    "  pushl %ebp\n"
    "  movl %esp, %ebp\n"
    "  pushl %ebx\n"
    "  pushl %esi\n"
    "  pushl %edi\n"
    "  movl %ebp, pelkor_stack_call_record+24\n"
    "  movl 12(%ebp), %edx\n" /* arguments */
    "  movl 16(%ebp), %ecx\n" /* count */
    "  movl %esp, %eax\n"     /* align: (ESP - 4 * count) % 16 == 0 */
    "  leal 0(,%ecx,4), %ebx\n"
    "  subl %ebx, %eax\n"
    "  andl $-16, %eax\n"
    "  addl %ebx, %eax\n"
    "  movl %eax, %esp\n"
    "  movl %esp, pelkor_stack_call_record+0\n"
    "  testl %ecx, %ecx\n"
    "  jz 2f\n"
    "1:\n"
    "  pushl -4(%edx,%ecx,4)\n"
    "  decl %ecx\n"
    "  jnz 1b\n"
    "2:\n"
    "  movl 8(%ebp), %eax\n" /* function */
    "  movl $0xB0B1B2B3, %ebx\n"
    "  movl $0x51525354, %esi\n"
    "  movl $0xD1D2D3D4, %edi\n"
    "  movl $0xEB0EB0EB, %ebp\n"
    "  call *%eax\n"
    "  movl %esp, pelkor_stack_call_record+4\n"
    "  movl %ebx, pelkor_stack_call_record+8\n"
    "  movl %esi, pelkor_stack_call_record+12\n"
    "  movl %edi, pelkor_stack_call_record+16\n"
    "  movl %ebp, pelkor_stack_call_record+20\n"
    "  movl pelkor_stack_call_record+24, %ebp\n"
    "  leal -12(%ebp), %esp\n"
    "  popl %edi\n"
    "  popl %esi\n"
    "  popl %ebx\n"
    "  popl %ebp\n"
    "  ret\n");

/* ---- Calls ------------------------------------------------------------------------- */

static dynamic_library *library;

enum { EXPORT_COUNT = sizeof export_arities / sizeof export_arities[0] };
static int called[EXPORT_COUNT];

/* The exports that send a request to the phone: called in the session only (without
 * one they wait out their time limits). */
static const char *const phone_exports[] = {"init",
                                            "getimei",
                                            "getrevision",
                                            "getmodel",
                                            "getswdate",
                                            "getrflevel",
                                            "getbatterylevel",
                                            "uses_acdc_power",
                                            "getdisplaystatus",
                                            "getdatetime",
                                            "setdatetime",
                                            "getalarm",
                                            "setalarm",
                                            "dialvoice",
                                            "hangup",
                                            "send_dtmf",
                                            "gsmbeep",
                                            "play_tone",
                                            "getnetworkinfo",
                                            "netmonitor",
                                            "sendsms",
                                            "senducs2",
                                            "getsmsmessagecenter",
                                            "updatesmslist",
                                            "deletesmsmsg",
                                            "getsms",
                                            "ringtone_upload",
                                            "ringtone_sendsms",
                                            "setlogo",
                                            "logo_upload",
                                            "logo_download",
                                            "sendoplogoviasms",
                                            "getphonebookentry",
                                            "setphonebookentry",
                                            "getspeeddial",
                                            "setspeeddial",
                                            "pelkor_sendsms_utf8",
                                            "pelkor_sendsmspart_utf8",
                                            "pelkor_getsms_utf8",
                                            "pelkor_savesms_utf8",
                                            "pelkor_getphonebookentry_utf8",
                                            "pelkor_setphonebookentry_utf8",
                                            "reset"};

static int talks_to_phone(const char *name) {
  for (size_t i = 0; i < sizeof phone_exports / sizeof phone_exports[0]; ++i)
    if (strcmp(phone_exports[i], name) == 0) return 1;
  return 0;
}

static unsigned arity_of(const char *name) {
  for (size_t i = 0; i < sizeof export_arities / sizeof export_arities[0]; ++i)
    if (strcmp(export_arities[i].name, name) == 0) return export_arities[i].count;
  return ~0u;
}

/* Calls one export with `count` arguments and checks the record; returns EAX. */
static uint32_t call_export(const char *name, const uint32_t *arguments, unsigned count, const char *phase) {
  char what[160];
  snprintf(what, sizeof what, "%s: %s(%u arguments) keeps the stack and EBX, ESI, EDI, EBP", phase, name, count);
  for (size_t i = 0; i < EXPORT_COUNT; ++i)
    if (strcmp(export_arities[i].name, name) == 0) called[i] = 1;
  dynamic_function function = dynamic_library_symbol(library, name);
  if (function == NULL) {
    check(0, what, "no export of that name");
    return 0;
  }
  memset(&stack_call_record, 0, sizeof stack_call_record);
  uint32_t result = checked_call(function, arguments, count);
  const struct call_record *r = &stack_call_record;
  int32_t popped = (int32_t)(r->esp_after - (r->esp_before - 4u * count));
  check(r->esp_after == r->esp_before && r->ebx == SENTINEL_EBX && r->esi == SENTINEL_ESI && r->edi == SENTINEL_EDI &&
            r->ebp == SENTINEL_EBP,
        what, "the callee popped %d of %u argument bytes; EBX %08x ESI %08x EDI %08x EBP %08x", popped, 4u * count,
        r->ebx, r->esi, r->edi, r->ebp);
  return result;
}

#define WORD(value) ((uint32_t)(uintptr_t)(value))
#define CALL(phase, name, ...)                                                                               \
  do {                                                                                                       \
    const uint32_t arguments_[] = {__VA_ARGS__};                                                             \
    unsigned count_ = (unsigned)(sizeof arguments_ / sizeof arguments_[0]);                                  \
    if (arity_of(name) != count_)                                                                            \
      check(0, phase ": " name " has the argument count of the header", "%u here, %u in the header", count_, \
            arity_of(name));                                                                                 \
    else                                                                                                     \
      call_export(name, arguments_, count_, phase);                                                          \
  } while (0)
#define CALL0(phase, name) call_export(name, NULL, 0, phase)

/* Without a session every export that needs no phone, each argument zero: they refuse
 * or do nothing. */
static void without_session(void) {
  static const uint32_t zeros[16];
  for (size_t i = 0; i < EXPORT_COUNT; ++i)
    if (!talks_to_phone(export_arities[i].name))
      call_export(export_arities[i].name, zeros, export_arities[i].count, "no session");
}

static char text[4096];
static char text2[256];
static char text3[256];
static int32_t words[8];

/* A session's worth of calls with real arguments against the simulated phone. */
static void in_session(const char *port) {
  const char *phase = "session";
  uint32_t opened = call_export("init", (const uint32_t[]){WORD(port), 0}, 2, phase);
  if (!check(opened == 0, "session: init opened the port", "init returned %d", (int32_t)opened)) return;
  CALL("session", "getimei", WORD(text), sizeof text);
  check(strlen(text) >= 14, "session: getimei gave an IMEI through the thunk", "got '%s'", text);
  CALL("session", "getmodel", WORD(text), sizeof text);
  CALL("session", "getrevision", WORD(text), sizeof text);
  CALL("session", "getrflevel", WORD(&words[0]));
  CALL("session", "getbatterylevel", WORD(&words[0]));
  CALL0(phase, "uses_acdc_power");
  CALL0(phase, "isalive");
  CALL("session", "getdatetime", WORD(&words[0]), WORD(&words[1]), WORD(&words[2]), WORD(&words[3]), WORD(&words[4]),
       WORD(&words[5]));
  CALL("session", "setdatetime", 2001, 3, 15, 12, 30, 45);
  CALL("session", "getalarm", WORD(&words[0]), WORD(&words[1]), WORD(&words[2]));
  CALL("session", "setalarm", 7, 30);
  CALL("session", "getdisplaystatus", WORD(text), sizeof text);
  CALL("session", "getnetworkinfo", WORD(text), 16, WORD(text2), 16, WORD(text3), 16);
  CALL("session", "netmonitor", WORD("01"), WORD(text), sizeof text);
  CALL("session", "getsmsmessagecenter", WORD(text), sizeof text);
  CALL0(phase, "updatesmslist");
  CALL("session", "getsmsmsgcount", 13);
  CALL0(phase, "getsmsmsgtotal");
  CALL0(phase, "getsmsmsgunread");
  CALL("session", "getsmsmsgdata", 13, 1, 1, WORD(text), sizeof text);
  CALL("session", "getsmsmsgdatetime", 13, 1, WORD(&words[0]), WORD(&words[1]), WORD(&words[2]), WORD(&words[3]),
       WORD(&words[4]), WORD(&words[5]));
  CALL("session", "getsms", 1, WORD(text2), sizeof text2, WORD(text), sizeof text);
  CALL("session", "pelkor_getsmsmsgdetails", 13, 1, WORD(&words[0]), WORD(&words[1]), WORD(&words[2]), WORD(&words[3]),
       WORD(&words[4]));
  CALL("session", "pelkor_getsmsmsgtext_utf8", 13, 1, WORD(text), sizeof text);
  CALL("session", "sendsms", WORD("+4917012345678"), WORD("stack check"), 1, 0);
  CALL("session", "pelkor_smsparts_utf8", WORD("stack check"), WORD(&words[0]), WORD(&words[1]));
  CALL("session", "getphonebookentry", 1, 1, WORD(text), 64, WORD(text2), 64, WORD(&words[0]));
  CALL("session", "getspeeddial", 2, WORD(&words[0]), WORD(&words[1]));
  CALL0(phase, "smsreceivedcount");
  CALL0(phase, "incomingevent");
  CALL("session", "ringtone_setnotes", 0);
  CALL("session", "ringtone_settempo", 125);
  CALL("session", "ringtone_getname", WORD(text), sizeof text);
  CALL("session", "logo_getpixel", 0, 0);
  CALL("session", "logo_setgroupnumber", 1);
  CALL("session", "getswdate", WORD(text), sizeof text);
  CALL("session", "dialvoice", WORD("+4930123456"));
  CALL("session", "send_dtmf", WORD("12#"));
  CALL0(phase, "hangup");
  CALL("session", "gsmbeep", 1);
  CALL("session", "gsmbeep", 0);
  CALL("session", "play_tone", 5, 1000, 50);
  CALL("session", "senducs2", WORD("+4917012345678"), WORD("no-such-file.txt"), 1, 0);
  CALL("session", "pelkor_sendsms_utf8", WORD("+4917012345678"), WORD("stack check"), 1, 0, WORD(&words[0]));
  CALL("session", "pelkor_sendsmspart_utf8", WORD("+4917012345678"), WORD("stack check"), 1, 0, 7, 1);
  CALL("session", "pelkor_getsms_utf8", 1, WORD(text2), sizeof text2, WORD(text), sizeof text);
  CALL("session", "pelkor_savesms_utf8", 0, 11, 1, WORD("+4917012345678"), WORD("kept"), 0);
  CALL0(phase, "updatesmslist");
  CALL("session", "deletesmsmsg", 11, 1);
  CALL("session", "setphonebookentry", 5, 1, WORD("Stack"), WORD("+4930111"), 0);
  CALL("session", "pelkor_setphonebookentry_utf8", 6, 1, WORD("Check"), WORD("+4930222"), 0);
  CALL("session", "pelkor_getphonebookentry_utf8", 6, 1, WORD(text), 64, WORD(text2), 64, WORD(&words[0]));
  CALL("session", "setspeeddial", 3, 1, 5);
  CALL("session", "ringtone_setnotes", 1);
  CALL("session", "ringtone_setnote", 0, WORD("8c2"));
  CALL("session", "ringtone_upload", 0);
  CALL("session", "ringtone_sendsms", WORD("+4917012345678"));
  CALL("session", "logo_download", 1);
  CALL0(phase, "logo_upload");
  CALL("session", "setlogo", 0, WORD(""), 0);
  CALL("session", "sendoplogoviasms", WORD("+4917012345678"));
  CALL("session", "reset", WORD("soft"));
  CALL("session", "pelkor_strerror", 22);
  CALL0(phase, "pelkor_version");
  CALL0(phase, "terminate");
}

static void every_export_called(void) {
  char missed[512] = "";
  for (size_t i = 0; i < EXPORT_COUNT; ++i)
    if (!called[i] && strlen(missed) + strlen(export_arities[i].name) + 2 < sizeof missed) {
      strcat(missed, " ");
      strcat(missed, export_arities[i].name);
    }
  check(missed[0] == 0, "every export of the header was called through the thunk", "not called:%s", missed);
}

int main(int argc, char **argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: stack_check_test PELKOR16.dll PORT\n");
    return 2;
  }
  library = dynamic_library_open(argv[1]);
  if (!check(library != NULL, "the DLL loads", "%s", dynamic_library_error())) return finish_checks("stack_check_test");
  without_session();
  in_session(argv[2]);
  every_export_called();
  dynamic_library_close(library);
  return finish_checks("stack_check_test");
}
