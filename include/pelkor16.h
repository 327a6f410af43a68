/*
 * pelkor16 — control a phone of the Nokia 6110 family over FBUS.
 *
 * Flat C API. On Windows every export uses __stdcall and is exported under its
 * plain name (see src/api/pelkor16.def); elsewhere the calling convention is the
 * platform default. Integers are 32-bit; texts are zero-terminated 8-bit strings;
 * output buffers come as (pointer, size in bytes) and are always zero-terminated.
 * Null pointers are accepted wherever an output is optional.
 */
#ifndef PELKOR16_H
#define PELKOR16_H

#include <stdint.h>

#if defined(_WIN32)
#  define PELKOR_CALL __stdcall
#  define PELKOR_API
#else
#  define PELKOR_CALL
#  define PELKOR_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Result codes ------------------------------------------------------- */

#define PELKOR_OK                   0  /* done */
#define PELKOR_NOT_FOUND          (-1) /* no session, no such entry, file not opened */
#define PELKOR_HANDED_TO_SEND       1  /* tone functions: request written */
#define PELKOR_ERR_TIMEOUT          4  /* no reply within the time limit */
#define PELKOR_ERR_IDENTITY_UNKNOWN 5  /* identity text still unknown */
#define PELKOR_ERR_MEMORY_STATUS    6  /* phonebook memory-status error 0x8D */
#define PELKOR_ERR_SMS_READ         8  /* SMS read error (invalid location) */
#define PELKOR_ERR_PHONEBOOK_READ  10  /* phonebook entry read refused */
#define PELKOR_ERR_SPEED_DIAL      11  /* speed-dial error */
#define PELKOR_ERR_SETTING_REFUSED 13  /* date/time or alarm setting refused */
#define PELKOR_ERR_SMS_READ_OTHER  14  /* SMS read error (other) */
#define PELKOR_ERR_PHONEBOOK_WRITE 15  /* phonebook entry write refused */
#define PELKOR_ERR_SMS_SEND        19  /* SMS send failed */
#define PELKOR_ERR_TEXT_TOO_LONG   21  /* SMS text longer than 160 characters */
#define PELKOR_ERR_REFUSED         22  /* error reply, bad argument, port error */
#define PELKOR_ERR_NO_CALL         23  /* incoming(): no call known */
#define PELKOR_ERR_LOGO            24  /* logo error reply */

/* Connection types for init(). Anything other than infrared is the cable. */
#define PELKOR_CONNECTION_CABLE     0
#define PELKOR_CONNECTION_INFRARED  1

/* Logo kinds. */
#define PELKOR_LOGO_NONE     0
#define PELKOR_LOGO_STARTUP  1
#define PELKOR_LOGO_OPERATOR 2
#define PELKOR_LOGO_CALLER   3

/* ---- Session ------------------------------------------------------------- */

PELKOR_API int32_t PELKOR_CALL init(const char *port, int32_t type);
PELKOR_API int32_t PELKOR_CALL terminate(void);
PELKOR_API int32_t PELKOR_CALL isalive(void);

/* ---- Identity and status ------------------------------------------------- */

PELKOR_API int32_t PELKOR_CALL getimei(char *buffer, int32_t size);
PELKOR_API int32_t PELKOR_CALL getrevision(char *buffer, int32_t size);
PELKOR_API int32_t PELKOR_CALL getmodel(char *buffer, int32_t size);
PELKOR_API int32_t PELKOR_CALL getswdate(char *buffer, int32_t size);
PELKOR_API int32_t PELKOR_CALL getrflevel(int32_t *level);
PELKOR_API int32_t PELKOR_CALL getbatterylevel(int32_t *level);
PELKOR_API int32_t PELKOR_CALL uses_acdc_power(void);
PELKOR_API int32_t PELKOR_CALL getdisplaystatus(char *buffer, int32_t size);

/* ---- Clock and alarm ------------------------------------------------------ */

PELKOR_API int32_t PELKOR_CALL getdatetime(int32_t *year, int32_t *month, int32_t *day,
                                           int32_t *hour, int32_t *minute, int32_t *second);
PELKOR_API int32_t PELKOR_CALL setdatetime(int32_t year, int32_t month, int32_t day,
                                           int32_t hour, int32_t minute, int32_t second);
PELKOR_API int32_t PELKOR_CALL getalarm(int32_t *enabled, int32_t *hour, int32_t *minute);
PELKOR_API int32_t PELKOR_CALL setalarm(int32_t hour, int32_t minute);

/* ---- Calls and tones -------------------------------------------------------- */

PELKOR_API int32_t PELKOR_CALL dialvoice(const char *number);
PELKOR_API int32_t PELKOR_CALL hangup(void);
PELKOR_API int32_t PELKOR_CALL send_dtmf(const char *digits);
PELKOR_API int32_t PELKOR_CALL gsmbeep(int32_t on);
PELKOR_API int32_t PELKOR_CALL play_tone(int32_t volume, int32_t frequency, int32_t duration_ms);
PELKOR_API int32_t PELKOR_CALL reset(const char *kind);
PELKOR_API int32_t PELKOR_CALL incoming(char *buffer, int32_t size);
PELKOR_API int32_t PELKOR_CALL incomingevent(void);

/* ---- Network ---------------------------------------------------------------- */

PELKOR_API int32_t PELKOR_CALL getnetworkinfo(char *network_code, int32_t network_code_size,
                                              char *area_code, int32_t area_code_size,
                                              char *cell_id, int32_t cell_id_size);
PELKOR_API int32_t PELKOR_CALL netmonitor(const char *screen, char *buffer, int32_t size);

/* ---- SMS sending and message centres --------------------------------------- */

/* options: bits 0-15 message class, bit 16 (0x10000) asks for a status report */
PELKOR_API int32_t PELKOR_CALL sendsms(const char *destination, const char *text,
                                       int32_t centre_index, int32_t options);
PELKOR_API int32_t PELKOR_CALL senducs2(const char *destination, const char *file_name,
                                        int32_t centre_index, int32_t options);
PELKOR_API int32_t PELKOR_CALL setsmsmessagecenter(int32_t centre_index, const char *number);
PELKOR_API int32_t PELKOR_CALL getsmsmessagecenter(char *buffer, int32_t size);

/* ---- SMS store and list ------------------------------------------------------ */

PELKOR_API int32_t PELKOR_CALL updatesmslist(void);
PELKOR_API int32_t PELKOR_CALL getsmsmsgcount(int32_t kind_code);
PELKOR_API int32_t PELKOR_CALL getsmsmsgunread(void);
PELKOR_API int32_t PELKOR_CALL getsmsmsgtotal(void);
PELKOR_API int32_t PELKOR_CALL getsmssentread(int32_t kind_code, int32_t n);
PELKOR_API int32_t PELKOR_CALL getsmsmsgdata(int32_t kind_code, int32_t n, int32_t field,
                                             char *buffer, int32_t size);
PELKOR_API int32_t PELKOR_CALL getsmsmsgdatetime(int32_t kind_code, int32_t n,
                                                 int32_t *year, int32_t *month, int32_t *day,
                                                 int32_t *hour, int32_t *minute, int32_t *second);
PELKOR_API int32_t PELKOR_CALL deletesmsmsg(int32_t kind_code, int32_t n);
PELKOR_API int32_t PELKOR_CALL smsreceivedcount(void);
PELKOR_API int32_t PELKOR_CALL getsms(int32_t location, char *number, int32_t number_size,
                                      char *text, int32_t text_size);

/* ---- Ringtone ------------------------------------------------------------------ */

PELKOR_API int32_t PELKOR_CALL ringtone_readfile(const char *file_name);
PELKOR_API int32_t PELKOR_CALL ringtone_writefile(const char *file_name);
PELKOR_API int32_t PELKOR_CALL ringtone_setnote(int32_t index, const char *note);
PELKOR_API int32_t PELKOR_CALL ringtone_getnote(int32_t index, char *buffer, int32_t size);
PELKOR_API int32_t PELKOR_CALL ringtone_setnotes(int32_t count);
PELKOR_API int32_t PELKOR_CALL ringtone_getnotes(void);
PELKOR_API int32_t PELKOR_CALL ringtone_settempo(int32_t bpm);
PELKOR_API int32_t PELKOR_CALL ringtone_gettempo(void);
PELKOR_API int32_t PELKOR_CALL ringtone_setname(const char *name);
PELKOR_API int32_t PELKOR_CALL ringtone_getname(char *buffer, int32_t size);
PELKOR_API int32_t PELKOR_CALL ringtone_upload(int32_t variant);
PELKOR_API int32_t PELKOR_CALL ringtone_sendsms(const char *destination);

/* ---- Logo -------------------------------------------------------------------- */

PELKOR_API int32_t PELKOR_CALL logo_setdata(int32_t kind, const char *network_code);
PELKOR_API int32_t PELKOR_CALL logo_getdata(int32_t *kind, int32_t *width, int32_t *height,
                                            char *network_code, int32_t length);
PELKOR_API int32_t PELKOR_CALL logo_setpixel(int32_t x, int32_t y, int32_t value);
PELKOR_API int32_t PELKOR_CALL logo_getpixel(int32_t x, int32_t y);
PELKOR_API void    PELKOR_CALL logo_setgroupnumber(int32_t number);
PELKOR_API int32_t PELKOR_CALL logo_getgroupnumber(void);
PELKOR_API void    PELKOR_CALL logo_setgroupname(const char *name);
PELKOR_API void    PELKOR_CALL logo_getgroupname(char *buffer, int32_t length);
PELKOR_API int32_t PELKOR_CALL logo_readfile(const char *path);
PELKOR_API int32_t PELKOR_CALL logo_writefile(const char *path);
PELKOR_API int32_t PELKOR_CALL setlogo(int32_t first, const char *text, int32_t third);
PELKOR_API int32_t PELKOR_CALL logo_upload(void);
PELKOR_API int32_t PELKOR_CALL logo_download(int32_t kind);
PELKOR_API int32_t PELKOR_CALL sendoplogoviasms(const char *destination);

/* ---- Phonebook and speed dials -------------------------------------------------- */

PELKOR_API int32_t PELKOR_CALL getphonebookentry(int32_t location, int32_t memory_type,
                                                 char *name, int32_t name_length,
                                                 char *number, int32_t number_length,
                                                 int32_t *group);
PELKOR_API int32_t PELKOR_CALL setphonebookentry(int32_t location, int32_t memory_type,
                                                 const char *name, const char *number,
                                                 int32_t group);
PELKOR_API int32_t PELKOR_CALL getspeeddial(int32_t key, int32_t *memory, int32_t *location);
PELKOR_API int32_t PELKOR_CALL setspeeddial(int32_t key, int32_t memory_type, int32_t location);

/* ---- WAV tone writer ---------------------------------------------------------------- */

typedef struct mfbwave_writer mfbwave_writer;

PELKOR_API mfbwave_writer *PELKOR_CALL mfbwave_create(const char *file_name);
PELKOR_API void PELKOR_CALL mfbwave_add_tone(mfbwave_writer *writer, int32_t frequency_hz,
                                             int32_t duration_ms);
PELKOR_API void PELKOR_CALL mfbwave_close(mfbwave_writer *writer);

/* ---- Wire trace --------------------------------------------------------------------- */

/* Records every frame in both directions, time-stamped, as hex lines appended to the
 * file at path; a null or empty path turns the trace off. 0, or -1 when the file cannot
 * be opened. The library writes nothing unless asked. */
PELKOR_API int32_t PELKOR_CALL pelkor_settrace(const char *path);

/* ---- UTF-8 extensions ------------------------------------------------------------
 * Beside the 8-bit functions above, which keep their behaviour. Texts here are UTF-8;
 * output buffers are cut between characters, never inside one. Text that is not
 * well-formed UTF-8 is refused with PELKOR_ERR_REFUSED (22). */

/* Sends text in the GSM 7-bit alphabet with its extension table when every character
 * allows, else in UCS-2; a text too long for one message goes as concatenated parts
 * (153 septets or 67 UCS-2 characters each), one second apart. options as for
 * sendsms. *parts_sent (may be null) receives the parts the phone confirmed, also
 * when a later part failed. 0, or the result of the first part that failed. */
PELKOR_API int32_t PELKOR_CALL pelkor_sendsms_utf8(const char *destination, const char *text,
                                                   int32_t centre_index, int32_t options,
                                                   int32_t *parts_sent);
/* How pelkor_sendsms_utf8 would send text: *parts (1 and up) and *ucs2 (1 for UCS-2,
 * 0 for the GSM alphabet); either may be null. 0, or 22 (not UTF-8, over 255 parts). */
PELKOR_API int32_t PELKOR_CALL pelkor_smsparts_utf8(const char *text, int32_t *parts,
                                                    int32_t *ucs2);
/* Sends only part `part` (1 and up) of text as pelkor_sendsms_utf8 splits it, with the
 * concatenation reference number `reference` (0-255) when there are several parts:
 * for callers that show progress per part or send a failed part again. */
PELKOR_API int32_t PELKOR_CALL pelkor_sendsmspart_utf8(const char *destination, const char *text,
                                                       int32_t centre_index, int32_t options,
                                                       int32_t reference, int32_t part);
/* The text and the sender of the n-th list entry of a kind, as getsmsmsgdata fields 1
 * and 2 but in UTF-8 whatever the coding (GSM 7-bit with its extension table, 8-bit
 * as Latin-1, UCS-2); an alphanumeric sender as its name. 0, or -1 for no such entry. */
PELKOR_API int32_t PELKOR_CALL pelkor_getsmsmsgtext_utf8(int32_t kind_code, int32_t n,
                                                         char *buffer, int32_t size);
PELKOR_API int32_t PELKOR_CALL pelkor_getsmsmsgsender_utf8(int32_t kind_code, int32_t n,
                                                           char *buffer, int32_t size);
/* The phone's memory location of the n-th list entry of a kind, or -1. */
PELKOR_API int32_t PELKOR_CALL pelkor_getsmsmsglocation(int32_t kind_code, int32_t n);
/* getsms with the number and the text in UTF-8; the same result codes. */
PELKOR_API int32_t PELKOR_CALL pelkor_getsms_utf8(int32_t location, char *number,
                                                  int32_t number_size, char *text,
                                                  int32_t text_size);
/* Stores a message at a location of the phone's message store, replacing what is
 * there: kind_code 13 received (read: 1 read, 0 unread) or 11 stored outgoing (read: 1
 * sent, 0 not sent); number the sender or recipient, digits or a name of up to 11
 * characters; text as much as one message holds (in the GSM alphabet, else UCS-2);
 * time (may be null) points to year, month, day, hour, minute, second of a received
 * message. 0; 21 for a text that needs more than one message; 22 for a bad argument or
 * a refusal; 4. The library's message list is not changed. */
PELKOR_API int32_t PELKOR_CALL pelkor_savesms_utf8(int32_t location, int32_t kind_code, int32_t read,
                                                   const char *number, const char *text,
                                                   const int32_t *time);
/* Phonebook entries with UTF-8 names. The phone stores names in Latin-1: a name with a
 * character beyond it is refused with 22 and nothing is sent. Otherwise the results of
 * getphonebookentry and setphonebookentry. */
PELKOR_API int32_t PELKOR_CALL pelkor_getphonebookentry_utf8(int32_t location, int32_t memory_type,
                                                             char *name, int32_t name_length,
                                                             char *number, int32_t number_length,
                                                             int32_t *group);
PELKOR_API int32_t PELKOR_CALL pelkor_setphonebookentry_utf8(int32_t location, int32_t memory_type,
                                                             const char *name, const char *number,
                                                             int32_t group);
/* ---- end of UTF-8 extensions ---------------------------------------------------- */

#ifdef __cplusplus
}
#endif

#endif /* PELKOR16_H */
