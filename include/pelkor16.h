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
#define PELKOR_CALL __stdcall
#define PELKOR_API
#else
#define PELKOR_CALL
#define PELKOR_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/**
 * @defgroup results Result codes and constants
 * Every function that returns `int32_t` returns one of these codes unless its own
 * description says it returns a count, a value or a flag. `pelkor_strerror()` gives the
 * English text of each.
 * @{
 */

#define PELKOR_OK 0             /**< done */
#define PELKOR_NOT_FOUND (-1)   /**< no open session, no such entry, nothing to send, or a file that cannot be opened */
#define PELKOR_HANDED_TO_SEND 1 /**< tone functions: the request was written; nothing is awaited */
#define PELKOR_ERR_TIMEOUT 4    /**< no reply within the time limit (also the phone's memory-status error 0x6F) */
#define PELKOR_ERR_IDENTITY_UNKNOWN 5 /**< identity text still unknown after the phone was asked */
#define PELKOR_ERR_MEMORY_STATUS 6    /**< phonebook memory-status error 0x8D (no such memory) */
#define PELKOR_ERR_SMS_READ 8         /**< SMS read error: invalid location */
#define PELKOR_ERR_PHONEBOOK_READ 10  /**< phonebook entry read refused */
#define PELKOR_ERR_SPEED_DIAL 11      /**< speed-dial read or write refused */
#define PELKOR_ERR_SETTING_REFUSED 13 /**< date/time or alarm setting refused */
#define PELKOR_ERR_SMS_READ_OTHER 14  /**< SMS read error: other (an empty location among them) */
#define PELKOR_ERR_PHONEBOOK_WRITE 15 /**< phonebook entry write refused */
#define PELKOR_ERR_SMS_SEND 19        /**< the phone could not send the SMS */
#define PELKOR_ERR_TEXT_TOO_LONG 21   /**< SMS text longer than 160 characters */
#define PELKOR_ERR_REFUSED 22         /**< error reply, bad argument, location beyond the memory, port error */
#define PELKOR_ERR_NO_CALL 23         /**< incoming(): no call known */
#define PELKOR_ERR_LOGO 24            /**< logo error reply */

/** @name Connection types for init()
 *  Anything other than infrared is the cable (FBUS or DLR-3 cable alike). */
/** @{ */
#define PELKOR_CONNECTION_CABLE 0    /**< data cable (FBUS or DLR-3) */
#define PELKOR_CONNECTION_INFRARED 1 /**< infrared port */
/** @} */

/** @name Logo kinds (logo_setdata(), logo_getdata(), logo_download())
 *  Start-up logos are 84 x 48 pixels, operator and caller-group logos 72 x 14. */
/** @{ */
#define PELKOR_LOGO_NONE 0     /**< no logo; logo_setdata() with it clears the record */
#define PELKOR_LOGO_STARTUP 1  /**< start-up logo, 84 x 48 */
#define PELKOR_LOGO_OPERATOR 2 /**< operator logo, 72 x 14, with its network code */
#define PELKOR_LOGO_CALLER 3   /**< caller-group logo, 72 x 14, with group number and name */
/** @} */

/** @name SMS list kind codes (getsmsmsgcount() and the other list functions)
 *  Also the results of getsms() for a message that was read. Any code other than
 *  11 and 12 selects received messages. */
/** @{ */
#define PELKOR_SMS_OUTGOING 11      /**< stored outgoing message */
#define PELKOR_SMS_STATUS_REPORT 12 /**< status report */
#define PELKOR_SMS_RECEIVED 13      /**< received message */
/** @} */

/** @name Fields of getsmsmsgdata() */
/** @{ */
#define PELKOR_SMS_FIELD_TEXT 1        /**< the message text */
#define PELKOR_SMS_FIELD_SENDER 2      /**< the sender's number */
#define PELKOR_SMS_FIELD_DESTINATION 3 /**< the destination number (reading leaves it empty) */
/** @} */

/** @name Results of getsms() when nothing was read */
/** @{ */
#define PELKOR_GETSMS_INVALID_LOCATION 3 /**< no such location */
#define PELKOR_GETSMS_EMPTY 4            /**< empty location (or another read error) */
#define PELKOR_GETSMS_FAILED 5           /**< anything else, no answer in time among it */
/** @} */

/** Option bit of sendsms() and senducs2(): ask the network for a status report. Bits
 *  0-15 of the options are the message class. */
#define PELKOR_SMS_OPTION_STATUS_REPORT 0x10000

/** @name Memory types (phonebook and speed dials)
 *  0 is the phone's own memory (code 0x02), 1 the SIM (0x03); 2-7 reach the phone's
 *  memory codes 0x04-0x09 and 9 the code 0x01; any other value names no memory. */
/** @{ */
#define PELKOR_MEMORY_PHONE 0 /**< the phone's own memory */
#define PELKOR_MEMORY_SIM 1   /**< the SIM card */
/** @} */

/** @} */

/* ---- Session ------------------------------------------------------------- */

/**
 * @defgroup session Session
 * One process-wide session with one phone. Call the other functions from one thread
 * at a time: replies carry no transaction number, so two overlapping commands can end
 * each other's waits. Texts are 8-bit, zero-terminated; output buffers are
 * (pointer, size in bytes), are first zero-filled and always come back terminated;
 * null pointers and sizes of 0 are accepted wherever an output is optional.
 * @{
 */

/**
 * Opens the link to the phone: closes any earlier session, opens and programs the
 * port, starts the link threads, runs the start-up sequence and waits up to 10 s for
 * the phone (100 ms with the quick-start suffix), then beeps the phone once.
 *
 * @param port  Port name, or null/empty for "COM1". On Linux a name starting with `/`
 *              is a device path, `COMn` is `/dev/ttyS<n-1>`, any other name is looked up
 *              under `/dev/`; on Windows `COMn` or any device name. A trailing capital
 *              `F` asks for the quick start and is removed from the name.
 * @param type  #PELKOR_CONNECTION_INFRARED, or anything else for the cable.
 * @return #PELKOR_OK when the phone answered; #PELKOR_ERR_REFUSED when the port could
 *         not be opened or programmed; #PELKOR_NOT_FOUND when the phone did not answer
 *         in time (the port then stays open and the threads run until terminate()).
 */
PELKOR_API int32_t PELKOR_CALL init(const char *port, int32_t type);

/**
 * Closes the session: stops the link threads, drops DTR, purges and closes the port and
 * empties the SMS list. Safe without a session. Also happens when the thread that
 * called init() ends and when the library is unloaded.
 * @return #PELKOR_OK always.
 */
PELKOR_API int32_t PELKOR_CALL terminate(void);

/**
 * Whether the link is believed up. Returns at once, sends nothing.
 * @return 1 when the link is up and the phone either sent data within the last 2000 ms
 *         or has acknowledged every frame; 0 otherwise (a pulled cable reads 0 after
 *         about 2 s).
 */
PELKOR_API int32_t PELKOR_CALL isalive(void);

/** @} */

/* ---- Identity and status ------------------------------------------------- */

/**
 * @defgroup identity Identity and status
 * The identity texts are asked for once per session (on the cable most arrive with the
 * start-up) and kept; each query waits up to 1 s per missing text.
 * @{
 */

/** The IMEI (15 digits). @param buffer receives the text (20 bytes are enough).
 *  @param size its size in bytes.
 *  @return #PELKOR_OK, #PELKOR_ERR_IDENTITY_UNKNOWN, or #PELKOR_NOT_FOUND without a session. */
PELKOR_API int32_t PELKOR_CALL getimei(char *buffer, int32_t size);
/** Software and hardware revision as "SW<version>, HW<hardware>" (at most 19 characters).
 *  @param buffer receives the text. @param size its size in bytes.
 *  @return as getimei(). */
PELKOR_API int32_t PELKOR_CALL getrevision(char *buffer, int32_t size);
/** The model code, such as "NSE-3" (at most 7 characters).
 *  @param buffer receives the text. @param size its size in bytes.
 *  @return as getimei(). */
PELKOR_API int32_t PELKOR_CALL getmodel(char *buffer, int32_t size);
/** The software date as the phone gives it, such as "17-02-99" (at most 19 characters).
 *  @param buffer receives the text. @param size its size in bytes.
 *  @return as getimei(). */
PELKOR_API int32_t PELKOR_CALL getswdate(char *buffer, int32_t size);
/** Signal level, in hundredths of the phone's level steps (the phone's value times 100).
 *  Waits up to 990 ms. @param level receives it, -1 when unknown (may be null).
 *  @return #PELKOR_OK or #PELKOR_ERR_TIMEOUT. */
PELKOR_API int32_t PELKOR_CALL getrflevel(int32_t *level);
/** Battery level, in hundredths of the phone's level steps (the phone's value times 100).
 *  Waits up to 990 ms. @param level receives it, -1 when unknown (may be null).
 *  @return #PELKOR_OK or #PELKOR_ERR_TIMEOUT. */
PELKOR_API int32_t PELKOR_CALL getbatterylevel(int32_t *level);
/** Whether the phone runs on an external power source. Waits up to 990 ms.
 *  @return 1 on external power, 0 on battery or when the phone did not answer. */
PELKOR_API int32_t PELKOR_CALL uses_acdc_power(void);
/** The eight display indicators as the characters "0" (off) and "1" (on), indicator 1
 *  first. Waits up to 990 ms; an answer younger than 200 ms is reused.
 *  @param buffer receives the text (9 bytes are enough). @param size its size in bytes.
 *  @return #PELKOR_OK or #PELKOR_ERR_TIMEOUT. */
PELKOR_API int32_t PELKOR_CALL getdisplaystatus(char *buffer, int32_t size);

/** @} */

/* ---- Clock and alarm ------------------------------------------------------ */

/**
 * @defgroup clock Clock and alarm
 * The phone's local time; every output pointer may be null.
 * @{
 */

/** Reads the phone's clock. Waits up to 490 ms. Outputs are cleared first.
 *  @param year four digits @param month 1-12 @param day 1-31 @param hour 0-23
 *  @param minute 0-59 @param second 0-59
 *  @return #PELKOR_OK or #PELKOR_ERR_TIMEOUT. */
PELKOR_API int32_t PELKOR_CALL getdatetime(int32_t *year, int32_t *month, int32_t *day, int32_t *hour, int32_t *minute,
                                           int32_t *second);
/** Sets the phone's clock. Seconds are not sent: the phone starts the minute at 0.
 *  Waits up to 1.99 s.
 *  @param year four digits @param month 1-12 @param day 1-31 @param hour 0-23
 *  @param minute 0-59 @param second ignored by the phone
 *  @return #PELKOR_OK, #PELKOR_ERR_SETTING_REFUSED or #PELKOR_ERR_TIMEOUT. */
PELKOR_API int32_t PELKOR_CALL setdatetime(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute,
                                           int32_t second);
/** Reads the alarm. Waits up to 490 ms.
 *  @param enabled 1 when the alarm is on @param hour 0-23 @param minute 0-59
 *  @return #PELKOR_OK or #PELKOR_ERR_TIMEOUT. */
PELKOR_API int32_t PELKOR_CALL getalarm(int32_t *enabled, int32_t *hour, int32_t *minute);
/** Sets and enables the alarm. Waits up to 1.99 s.
 *  @param hour 0-23 @param minute 0-59
 *  @return #PELKOR_OK, #PELKOR_ERR_SETTING_REFUSED or #PELKOR_ERR_TIMEOUT. */
PELKOR_API int32_t PELKOR_CALL setalarm(int32_t hour, int32_t minute);

/** @} */

/* ---- Calls and tones -------------------------------------------------------- */

/**
 * @defgroup calls Calls and tones
 * These send their request and return at once; nothing is awaited.
 * @{
 */

/** Dials a voice call. @param number digits, `+`, `*`, `#` (8-bit text).
 *  @return #PELKOR_OK. */
PELKOR_API int32_t PELKOR_CALL dialvoice(const char *number);
/** Hangs up the current call. @return #PELKOR_OK. */
PELKOR_API int32_t PELKOR_CALL hangup(void);
/** Sends DTMF tones during a call. @param digits `0`-`9`, `*`, `#`, as text.
 *  @return #PELKOR_OK. */
PELKOR_API int32_t PELKOR_CALL send_dtmf(const char *digits);
/** Starts (non-zero) or stops (0) the phone's beep, a 2500 Hz tone.
 *  @param on non-zero to start. @return #PELKOR_HANDED_TO_SEND. */
PELKOR_API int32_t PELKOR_CALL gsmbeep(int32_t on);
/** Plays a tone on the phone's buzzer and waits for its duration, then stops it.
 *  @param volume 0-255 (low 8 bits are sent) @param frequency in Hz (low 16 bits)
 *  @param duration_ms how long, in milliseconds; 0 or less plays nothing.
 *  @return #PELKOR_HANDED_TO_SEND. */
PELKOR_API int32_t PELKOR_CALL play_tone(int32_t volume, int32_t frequency, int32_t duration_ms);
/** Restarts the phone. @param kind "hard" for a hard reset; "soft", null or any other
 *  text (case matters) for a soft one. @return #PELKOR_OK. */
PELKOR_API int32_t PELKOR_CALL reset(const char *kind);
/** The number of the last incoming call, as the phone announced it. Sends nothing.
 *  @param buffer receives the number. @param size its size in bytes.
 *  @return #PELKOR_OK, or #PELKOR_ERR_NO_CALL when no call is known. */
PELKOR_API int32_t PELKOR_CALL incoming(char *buffer, int32_t size);
/** Whether a call was announced since the last time this was asked. Sends nothing.
 *  @return 1 once after each incoming-call announcement, otherwise 0. */
PELKOR_API int32_t PELKOR_CALL incomingevent(void);

/** @} */

/* ---- Network ---------------------------------------------------------------- */

/**
 * @defgroup network Network
 * @{
 */

/** The network the phone is registered in. Waits up to 190 ms; a good answer younger
 *  than 200 ms is reused. Any buffer may be null and any size 0 to skip that output.
 *  @param network_code receives country and network digits, "ccc nn" (7 bytes are enough)
 *  @param network_code_size its size
 *  @param area_code receives the location area code, four hexadecimal digits
 *  @param area_code_size its size
 *  @param cell_id receives the cell id, four hexadecimal digits
 *  @param cell_id_size its size
 *  @return #PELKOR_OK or #PELKOR_ERR_TIMEOUT (the texts are then empty). */
PELKOR_API int32_t PELKOR_CALL getnetworkinfo(char *network_code, int32_t network_code_size, char *area_code,
                                              int32_t area_code_size, char *cell_id, int32_t cell_id_size);
/** Drives the phone's network monitor and returns the text of its screen. Waits up to
 *  1.99 s. Without a session, a null buffer or a size of 0 it sends nothing.
 *  @param screen "reset", "off", "field", "devel", "next" (case matters) or a screen
 *                number in decimal (its low 8 bits are sent)
 *  @param buffer receives the screen text, at most 50 characters (empty without answer)
 *  @param size its size in bytes
 *  @return #PELKOR_OK always. */
PELKOR_API int32_t PELKOR_CALL netmonitor(const char *screen, char *buffer, int32_t size);

/** @} */

/* ---- SMS sending and message centres --------------------------------------- */

/**
 * @defgroup sms_send SMS sending and message centres
 * Texts go in the GSM default alphabet: the 8-bit host text is read as ISO 8859-1
 * (Windows Latin-1); characters the alphabet lacks are sent as `?`, and the extension
 * table (`{`, `}`, `[`, `]`, `~`, `\`, `^`, `|`, euro sign) is not used. Each send waits
 * up to 6.99 s for the phone's answer.
 * @{
 */

/** Sends a text message. A text of more than 160 characters goes as a concatenated
 *  message of 153-character parts, one second apart; the first failing part ends it.
 *  @param destination the number, `+` and digits
 *  @param text Latin-1 text (see above)
 *  @param centre_index message centre set of the phone, 1 and up; 0 uses the number
 *                      given to setsmsmessagecenter()
 *  @param options bits 0-15 the message class; #PELKOR_SMS_OPTION_STATUS_REPORT asks
 *                 for a status report
 *  @return #PELKOR_OK, #PELKOR_ERR_SMS_SEND, #PELKOR_ERR_TIMEOUT, or the error of
 *          fetching the message centre (#PELKOR_ERR_REFUSED). */
PELKOR_API int32_t PELKOR_CALL sendsms(const char *destination, const char *text, int32_t centre_index,
                                       int32_t options);
/** Sends a UCS-2 message from a file: big-endian UTF-16 with the byte-order mark FE FF
 *  first, at most 255 bytes after it (the dump files of received UCS-2 messages are of
 *  this form).
 *  @param destination the number @param file_name path of the file
 *  @param centre_index as for sendsms() @param options as for sendsms()
 *  @return as sendsms(); #PELKOR_ERR_REFUSED when the file cannot be read or holds no
 *          character. */
PELKOR_API int32_t PELKOR_CALL senducs2(const char *destination, const char *file_name, int32_t centre_index,
                                        int32_t options);
/** Chooses the message centre for later sends. No exchange with the phone.
 *  @param centre_index a centre set of the phone (1 and up; its number is fetched at
 *                      the next need), or 0 to use `number`
 *  @param number the centre's number when centre_index is 0 (at most 39 characters)
 *  @return #PELKOR_OK. */
PELKOR_API int32_t PELKOR_CALL setsmsmessagecenter(int32_t centre_index, const char *number);
/** The message centre in use; asks the phone (up to 990 ms) when its number is not
 *  known yet. @param buffer receives the number (may be null) @param size its size
 *  @return the centre index in use (not a result code). */
PELKOR_API int32_t PELKOR_CALL getsmsmessagecenter(char *buffer, int32_t size);

/** @} */

/* ---- SMS store and list ------------------------------------------------------ */

/**
 * @defgroup sms_list SMS store and list
 * updatesmslist() reads the phone's stored messages into a list held by the library (up
 * to 512); the other functions look them up by kind code (#PELKOR_SMS_OUTGOING,
 * #PELKOR_SMS_STATUS_REPORT, #PELKOR_SMS_RECEIVED) and ordinal number n (1 the first;
 * 0 or less names no entry, here and in the extensions that take an ordinal). 7-bit
 * texts come back as Latin-1, with `?` for the characters it lacks; 8-bit texts as
 * their bytes. Each read waits up to 6 s.
 * @{
 */

/** Empties the list and reads the phone's locations from 1 on into it, until the first
 *  invalid location or until the list is full.
 *  Empty locations are passed over.
 *  @return #PELKOR_ERR_SMS_READ when the scan ended at an invalid location (the usual
 *          end), #PELKOR_ERR_TIMEOUT when a read went unanswered, otherwise the result of
 *          the last read (#PELKOR_OK when the list filled up). */
PELKOR_API int32_t PELKOR_CALL updatesmslist(void);
/** @param kind_code a kind code @return the number of list entries of that kind. */
PELKOR_API int32_t PELKOR_CALL getsmsmsgcount(int32_t kind_code);
/** The phone's count of unread messages; asks (up to 990 ms), reusing a good answer for
 *  60 s. @return the count, 0 when the phone did not answer. */
PELKOR_API int32_t PELKOR_CALL getsmsmsgunread(void);
/** The phone's count of stored messages; as getsmsmsgunread(). @return the count. */
PELKOR_API int32_t PELKOR_CALL getsmsmsgtotal(void);
/** Whether the n-th entry of a kind has been read (received) or sent (outgoing).
 *  @param kind_code a kind code @param n ordinal number
 *  @return 1 read or sent, 0 not, or no such entry. */
PELKOR_API int32_t PELKOR_CALL getsmssentread(int32_t kind_code, int32_t n);
/** One field of the n-th entry of a kind.
 *  @param kind_code a kind code @param n ordinal number
 *  @param field #PELKOR_SMS_FIELD_TEXT, #PELKOR_SMS_FIELD_SENDER or
 *               #PELKOR_SMS_FIELD_DESTINATION; any other value copies nothing
 *  @param buffer receives the field @param size its size in bytes
 *  @return #PELKOR_OK, or #PELKOR_NOT_FOUND when there is no such entry. */
PELKOR_API int32_t PELKOR_CALL getsmsmsgdata(int32_t kind_code, int32_t n, int32_t field, char *buffer, int32_t size);
/** The time stamp of the n-th entry of a kind (the centre's time for received messages).
 *  Each output may be null.
 *  @param kind_code a kind code @param n ordinal number
 *  @param year two digits (0-99), as the network gives it @param month 1-12 @param day 1-31 @param hour 0-23
 *  @param minute 0-59 @param second 0-59
 *  @return #PELKOR_OK or #PELKOR_NOT_FOUND. */
PELKOR_API int32_t PELKOR_CALL getsmsmsgdatetime(int32_t kind_code, int32_t n, int32_t *year, int32_t *month,
                                                 int32_t *day, int32_t *hour, int32_t *minute, int32_t *second);
/** Deletes the n-th entry of a kind on the phone and from the list. Waits up to 4.99 s.
 *  @param kind_code a kind code @param n ordinal number
 *  @return #PELKOR_OK, #PELKOR_NOT_FOUND (no such entry) or #PELKOR_ERR_TIMEOUT. */
PELKOR_API int32_t PELKOR_CALL deletesmsmsg(int32_t kind_code, int32_t n);
/** The number of arrival notices of the session; when a notice is waiting, also reads
 *  that message into the list (up to 6 s).
 *  @return the count (not a result code). */
PELKOR_API int32_t PELKOR_CALL smsreceivedcount(void);
/** Reads one location of the phone's store, leaving the list alone.
 *  @param location 1-255 (any other is #PELKOR_GETSMS_INVALID_LOCATION without asking
 *         the phone) @param number receives the sender @param number_size its size
 *  @param text receives the text @param text_size its size
 *  @return the kind of the message read (#PELKOR_SMS_OUTGOING, #PELKOR_SMS_STATUS_REPORT,
 *          #PELKOR_SMS_RECEIVED), or #PELKOR_GETSMS_INVALID_LOCATION,
 *          #PELKOR_GETSMS_EMPTY, #PELKOR_GETSMS_FAILED. */
PELKOR_API int32_t PELKOR_CALL getsms(int32_t location, char *number, int32_t number_size, char *text,
                                      int32_t text_size);

/** @} */

/* ---- Ringtone ------------------------------------------------------------------ */

/**
 * @defgroup ringtone Ringtone
 * One editable tone in memory: a name, a tempo in beats per minute and up to 256 notes
 * in RTTTL form (such as "8c#6." or "4p"). These need no phone except the last two.
 * @{
 */

/** Loads an RTTTL file ("name:d=4,o=6,b=140:notes,..."). @param file_name its path
 *  @return #PELKOR_OK, or #PELKOR_NOT_FOUND when it cannot be opened. */
PELKOR_API int32_t PELKOR_CALL ringtone_readfile(const char *file_name);
/** Writes the tone as an RTTTL file. @param file_name its path
 *  @return #PELKOR_OK, or #PELKOR_NOT_FOUND when it cannot be created. */
PELKOR_API int32_t PELKOR_CALL ringtone_writefile(const char *file_name);
/** Sets note `index` from its RTTTL text. @param index 0-255 (others change nothing)
 *  @param note RTTTL note text @return #PELKOR_OK. */
PELKOR_API int32_t PELKOR_CALL ringtone_setnote(int32_t index, const char *note);
/** The RTTTL text of a note. @param index 0 to ringtone_getnotes() - 1 (others give an
 *  empty text) @param buffer receives it (64 bytes are enough) @param size its size
 *  @return #PELKOR_OK. */
PELKOR_API int32_t PELKOR_CALL ringtone_getnote(int32_t index, char *buffer, int32_t size);
/** Sets the number of notes. @param count 0-256
 *  @return #PELKOR_OK, or #PELKOR_NOT_FOUND outside that range. */
PELKOR_API int32_t PELKOR_CALL ringtone_setnotes(int32_t count);
/** @return the number of notes. */
PELKOR_API int32_t PELKOR_CALL ringtone_getnotes(void);
/** Sets the tempo. @param bpm beats per minute @return #PELKOR_OK. */
PELKOR_API int32_t PELKOR_CALL ringtone_settempo(int32_t bpm);
/** @return the tempo in beats per minute. */
PELKOR_API int32_t PELKOR_CALL ringtone_gettempo(void);
/** Sets the name. @param name 8-bit text @return #PELKOR_OK. */
PELKOR_API int32_t PELKOR_CALL ringtone_setname(const char *name);
/** The name. @param buffer receives it @param size its size @return #PELKOR_OK. */
PELKOR_API int32_t PELKOR_CALL ringtone_getname(char *buffer, int32_t size);
/** Uploads the tone to the phone in the Smart Messaging ringing-tone format. Nothing
 *  is awaited. @param variant 0 for the direct form (message type 0x12), anything else
 *  for the ringtone command (type 0x05)
 *  @return #PELKOR_OK once handed to the link. */
PELKOR_API int32_t PELKOR_CALL ringtone_upload(int32_t variant);
/** Sends the tone to another phone as a Smart Messaging SMS. @param destination the number
 *  @return as sendsms(). */
PELKOR_API int32_t PELKOR_CALL ringtone_sendsms(const char *destination);

/** @} */

/* ---- Logo -------------------------------------------------------------------- */

/**
 * @defgroup logo Logo
 * One editable logo in memory, of a kind (#PELKOR_LOGO_STARTUP 84 x 48,
 * #PELKOR_LOGO_OPERATOR and #PELKOR_LOGO_CALLER 72 x 14). Pixel values follow the
 * phone's bits inverted: logo_setpixel() with 0 blackens a pixel, and logo_getpixel()
 * returns 0 for a black pixel, 1 for a white one.
 * @{
 */

/** Sets the kind (and with it the geometry) without touching the pixels; kind 0 clears
 *  the whole record. @param kind a logo kind (any other non-zero value gives 72 x 14)
 *  @param network_code "ccc nn" for operator logos (at most 6 characters), or null
 *  @return #PELKOR_OK. */
PELKOR_API int32_t PELKOR_CALL logo_setdata(int32_t kind, const char *network_code);
/** Kind, geometry and network code; each output may be null.
 *  @param kind receives the kind @param width in pixels @param height in pixels
 *  @param network_code receives at most 6 characters @param length its size
 *  @return #PELKOR_OK. */
PELKOR_API int32_t PELKOR_CALL logo_getdata(int32_t *kind, int32_t *width, int32_t *height, char *network_code,
                                            int32_t length);
/** Sets one pixel; outside the geometry nothing changes.
 *  @param x column from 0 @param y row from 0 @param value 0 black, anything else white
 *  @return #PELKOR_OK. */
PELKOR_API int32_t PELKOR_CALL logo_setpixel(int32_t x, int32_t y, int32_t value);
/** One pixel. @param x column from 0 @param y row from 0
 *  @return 0 black (or outside the geometry), 1 white. */
PELKOR_API int32_t PELKOR_CALL logo_getpixel(int32_t x, int32_t y);
/** Sets the caller group of a caller-group logo. @param number its low 8 bits are kept. */
PELKOR_API void PELKOR_CALL logo_setgroupnumber(int32_t number);
/** @return the caller group; values 128-255 come back sign-extended to 16 bits
 *          (65408-65535). */
PELKOR_API int32_t PELKOR_CALL logo_getgroupnumber(void);
/** Sets the caller group's name. @param name 8-bit text, at most 255 characters. */
PELKOR_API void PELKOR_CALL logo_setgroupname(const char *name);
/** The caller group's name. @param buffer receives it @param length its size, at least 1. */
PELKOR_API void PELKOR_CALL logo_getgroupname(char *buffer, int32_t length);
/** Loads a logo file: NOL (operator), NGG (caller group), the FORM start-up file or NLM,
 *  recognised by their first bytes. @param path the file
 *  @return #PELKOR_OK, or #PELKOR_NOT_FOUND when it cannot be opened, is not a logo
 *          file or is too short. */
PELKOR_API int32_t PELKOR_CALL logo_readfile(const char *path);
/** Writes the logo as NOL, NGG or FORM by its kind (any other kind leaves an empty file).
 *  @param path the file @return #PELKOR_OK, or #PELKOR_NOT_FOUND when it cannot be created. */
PELKOR_API int32_t PELKOR_CALL logo_writefile(const char *path);
/** Sets the phone's start-up text; the logo in memory is not touched. Waits up to 4.99 s.
 *  @param first not used @param text at most 255 characters; null or empty clears it
 *  @param third not used
 *  @return #PELKOR_OK, #PELKOR_ERR_LOGO or #PELKOR_ERR_TIMEOUT. */
PELKOR_API int32_t PELKOR_CALL setlogo(int32_t first, const char *text, int32_t third);
/** Uploads the logo to the phone (an operator logo without network code takes the
 *  current network's). Waits up to 4.99 s.
 *  @return #PELKOR_OK, #PELKOR_ERR_LOGO or #PELKOR_ERR_TIMEOUT. */
PELKOR_API int32_t PELKOR_CALL logo_upload(void);
/** Replaces the logo in memory with the phone's logo of a kind (caller group: the group
 *  set with logo_setgroupnumber()). Waits up to 990 ms.
 *  @param kind a logo kind
 *  @return #PELKOR_OK, #PELKOR_ERR_LOGO or #PELKOR_ERR_TIMEOUT. */
PELKOR_API int32_t PELKOR_CALL logo_download(int32_t kind);
/** Sends an operator or caller-group logo to another phone as a Smart Messaging SMS.
 *  @param destination the number
 *  @return as sendsms(); #PELKOR_NOT_FOUND for any other kind (nothing is sent). */
PELKOR_API int32_t PELKOR_CALL sendoplogoviasms(const char *destination);

/** @} */

/* ---- Phonebook and speed dials -------------------------------------------------- */

/**
 * @defgroup phonebook Phonebook and speed dials
 * Names are the phone's raw 8-bit characters, numbers plain characters; both at most
 * 40 characters. Memory types: #PELKOR_MEMORY_PHONE, #PELKOR_MEMORY_SIM and the others
 * listed there.
 * @{
 */

/** Reads one entry; a good answer younger than 200 ms is reused. On the first read of a
 *  session, and when the memory type changes, it first asks for the memory's size (up to
 *  1.99 s); the entry read waits up to 490 ms.
 *  @param location 1 and up @param memory_type a memory type
 *  @param name receives the name @param name_length its size
 *  @param number receives the number @param number_length its size
 *  @param group receives the caller group (may be null)
 *  @return #PELKOR_OK, #PELKOR_ERR_TIMEOUT, #PELKOR_ERR_MEMORY_STATUS,
 *          #PELKOR_ERR_PHONEBOOK_READ or #PELKOR_ERR_REFUSED (location beyond the memory). */
PELKOR_API int32_t PELKOR_CALL getphonebookentry(int32_t location, int32_t memory_type, char *name, int32_t name_length,
                                                 char *number, int32_t number_length, int32_t *group);
/** Writes one entry. Waits up to 4.99 s.
 *  @param location 1 and up @param memory_type a memory type
 *  @param name at most 40 characters @param number at most 40 characters
 *  @param group caller group
 *  @return #PELKOR_OK, #PELKOR_ERR_PHONEBOOK_WRITE, #PELKOR_ERR_REFUSED or
 *          #PELKOR_ERR_TIMEOUT. */
PELKOR_API int32_t PELKOR_CALL setphonebookentry(int32_t location, int32_t memory_type, const char *name,
                                                 const char *number, int32_t group);
/** Reads a speed dial; a good answer younger than 200 ms is reused. Waits up to 1.99 s.
 *  @param key 1-9
 *  @param memory receives 0 for the phone's memory, 1 for any other (255 on failure)
 *  @param location receives the location (0 on failure)
 *  @return #PELKOR_OK, #PELKOR_ERR_SPEED_DIAL or #PELKOR_ERR_TIMEOUT. */
PELKOR_API int32_t PELKOR_CALL getspeeddial(int32_t key, int32_t *memory, int32_t *location);
/** Sets a speed dial. Waits up to 1.99 s.
 *  @param key 1-9 @param memory_type a memory type @param location the entry's location
 *  @return #PELKOR_OK, #PELKOR_ERR_SPEED_DIAL or #PELKOR_ERR_TIMEOUT. */
PELKOR_API int32_t PELKOR_CALL setspeeddial(int32_t key, int32_t memory_type, int32_t location);

/** @} */

/* ---- WAV tone writer ---------------------------------------------------------------- */

/**
 * @defgroup wave WAV tone writer
 * Renders tones into a WAV file: 8000 Hz, 8-bit unsigned, mono PCM. Needs no phone.
 * @{
 */

/** A writer handed out by mfbwave_create() and returned to mfbwave_close(). */
typedef struct mfbwave_writer mfbwave_writer;

/** Creates or replaces the file and writes its header.
 *  @param file_name the path
 *  @return the writer, or null when the file cannot be created. */
PELKOR_API mfbwave_writer *PELKOR_CALL mfbwave_create(const char *file_name);
/** Appends one enveloped sine tone. @param writer from mfbwave_create()
 *  @param frequency_hz in Hz; 0 gives silence @param duration_ms in milliseconds */
PELKOR_API void PELKOR_CALL mfbwave_add_tone(mfbwave_writer *writer, int32_t frequency_hz, int32_t duration_ms);
/** Writes the final sizes into the header, closes the file and frees the writer.
 *  @param writer from mfbwave_create(); not to be used afterwards */
PELKOR_API void PELKOR_CALL mfbwave_close(mfbwave_writer *writer);

/** @} */

/* ---- Wire trace --------------------------------------------------------------------- */

/**
 * @defgroup trace Wire trace
 * @{
 */

/** Records every frame in both directions, time-stamped, as hex lines appended to a
 *  file. The library writes nothing unless asked.
 *  @param path the file; null or empty turns the trace off
 *  @return #PELKOR_OK, or #PELKOR_NOT_FOUND when the file cannot be opened. */
PELKOR_API int32_t PELKOR_CALL pelkor_settrace(const char *path);

/** @} */

/* ---- Extensions ------------------------------------------------------------------ */

/**
 * @defgroup extensions Extensions
 * Functions of this library beyond the phone commands, named with the `pelkor_` prefix.
 * @{
 */

/** The English text of a result code.
 *  @param code a result code
 *  @return static text, never null, not to be freed: such as "no answer from the phone
 *          in time" for #PELKOR_ERR_TIMEOUT; "unknown result code" for a code not listed. */
PELKOR_API const char *PELKOR_CALL pelkor_strerror(int32_t code);

/** The library's version.
 *  @return static text "major.minor.patch", never null. */
PELKOR_API const char *PELKOR_CALL pelkor_version(void);

/**
 * @name UTF-8 extensions
 * Beside the 8-bit functions above, which keep their behaviour. Texts here are UTF-8;
 * output buffers are cut between characters, never inside one. Text that is not
 * well-formed UTF-8 is refused with #PELKOR_ERR_REFUSED (22).
 * @{
 */

/** Sends text in the GSM 7-bit alphabet with its extension table when every character
 *  allows, else in UCS-2; a text too long for one message goes as concatenated parts
 *  (153 septets or 67 UCS-2 characters each), one second apart. Waits up to the
 *  send limit of sendsms() for each part.
 *  @param destination the recipient's number
 *  @param text the message, UTF-8
 *  @param centre_index the message centre, as for sendsms()
 *  @param options as for sendsms()
 *  @param parts_sent may be null; receives the parts the phone confirmed, also when a
 *         later part failed
 *  @return #PELKOR_OK, or the result of the first part that failed. */
PELKOR_API int32_t PELKOR_CALL pelkor_sendsms_utf8(const char *destination, const char *text, int32_t centre_index,
                                                   int32_t options, int32_t *parts_sent);
/** How pelkor_sendsms_utf8() would send a text. Needs no phone.
 *  @param text the message, UTF-8
 *  @param parts may be null; receives the number of parts (1 and up)
 *  @param ucs2 may be null; receives 1 for UCS-2, 0 for the GSM alphabet
 *  @return #PELKOR_OK, or #PELKOR_ERR_REFUSED (not UTF-8, over 255 parts). */
PELKOR_API int32_t PELKOR_CALL pelkor_smsparts_utf8(const char *text, int32_t *parts, int32_t *ucs2);
/** Sends only one part of a text as pelkor_sendsms_utf8() splits it: for callers that
 *  show progress per part or send a failed part again.
 *  @param destination,text,centre_index,options as for pelkor_sendsms_utf8()
 *  @param reference the concatenation reference number (0-255) when there are several
 *         parts; the same for every part of one message
 *  @param part the part, 1 and up
 *  @return as sendsms(). */
PELKOR_API int32_t PELKOR_CALL pelkor_sendsmspart_utf8(const char *destination, const char *text, int32_t centre_index,
                                                       int32_t options, int32_t reference, int32_t part);
/** The text of the n-th list entry of a kind, as getsmsmsgdata() field 1 but in UTF-8
 *  whatever the coding (GSM 7-bit with its extension table, 8-bit as Latin-1, UCS-2).
 *  @param kind_code an SMS kind code @param n the entry, 1 and up
 *  @param buffer receives the text @param size the buffer's size in bytes
 *  @return #PELKOR_OK, or -1 for no such entry. */
PELKOR_API int32_t PELKOR_CALL pelkor_getsmsmsgtext_utf8(int32_t kind_code, int32_t n, char *buffer, int32_t size);
/** The sender (or recipient) of the n-th list entry of a kind, as getsmsmsgdata()
 *  field 2 but in UTF-8; an alphanumeric sender as its name.
 *  @param kind_code an SMS kind code @param n the entry, 1 and up
 *  @param buffer receives the sender @param size the buffer's size in bytes
 *  @return #PELKOR_OK, or -1 for no such entry. */
PELKOR_API int32_t PELKOR_CALL pelkor_getsmsmsgsender_utf8(int32_t kind_code, int32_t n, char *buffer, int32_t size);
/** The phone's memory location of the n-th list entry of a kind.
 *  @param kind_code an SMS kind code @param n the entry, 1 and up
 *  @return the location, or -1 for no such entry. */
PELKOR_API int32_t PELKOR_CALL pelkor_getsmsmsglocation(int32_t kind_code, int32_t n);
/** What the header and coding of the n-th list entry of a kind say: for gateways that
 *  keep messages whole and join concatenated parts. Any output may be null.
 *  @param kind_code an SMS kind code @param n the entry, 1 and up
 *  @param coding_scheme receives the data coding scheme byte (0 for a status report)
 *  @param message_class receives the class, 0 to 3, or -1 when the coding names none
 *  @param concat_reference receives the concatenation reference (8 or 16 bits)
 *  @param concat_part receives the part number, 1 and up
 *  @param concat_total receives the number of parts; the three concatenation outputs
 *         are 0 for a message that is no part of a longer one
 *  @return #PELKOR_OK, or -1 for no such entry (the outputs are then 0, and -1 for the
 *          class). */
PELKOR_API int32_t PELKOR_CALL pelkor_getsmsmsgdetails(int32_t kind_code, int32_t n, int32_t *coding_scheme,
                                                       int32_t *message_class, int32_t *concat_reference,
                                                       int32_t *concat_part, int32_t *concat_total);
/** The n-th list entry of a kind as the phone gave it: its read answer from the
 *  message-centre field on (centre, first octet, sender, protocol, coding, time stamp,
 *  user-data length and user data, header included). Empty for a status report.
 *  @param kind_code an SMS kind code @param n the entry, 1 and up
 *  @param buffer receives the bytes, or null to ask for their number
 *  @param size the buffer's size in bytes
 *  @return the number of bytes (also when the buffer is null or too small, in which
 *          case nothing is written), or -1 for no such entry. */
PELKOR_API int32_t PELKOR_CALL pelkor_getsmsmsgpdu(int32_t kind_code, int32_t n, uint8_t *buffer, int32_t size);
/** The message references (TP-MR, 0 to 255) the phone gave the parts of the last send,
 *  in part order: for hosts that pair status reports with what they sent. Every sender
 *  counts (sendsms(), senducs2(), pelkor_sendsms_utf8(), pelkor_sendsmspart_utf8() with
 *  its one part, ringtone_sendsms(), sendoplogoviasms() and the other Smart Messaging
 *  senders); each send forgets the references of the one before as it starts. A part
 *  whose confirmation carried no reference has -1.
 *  @param references receives up to @p size references; may be null when @p size is 0
 *  @param size the number of values @p references has room for
 *  @return the number of parts the phone confirmed (0 before any send, or when the
 *          first part was refused or not answered), also when it exceeds @p size; -1
 *          for a negative @p size, or a null @p references with @p size above 0. */
PELKOR_API int32_t PELKOR_CALL pelkor_getsendreferences(int32_t *references, int32_t size);
/** The fields of the n-th status report of the list updatesmslist() read (kind code
 *  #PELKOR_SMS_STATUS_REPORT), as the phone's store gave them. Any output may be null.
 *  @param n the report, 1 and up
 *  @param reference receives the reference of the message it reports on, as
 *         pelkor_getsendreferences() gave it when that message was sent
 *  @param recipient receives the recipient's number, zero-terminated, cut to fit
 *  @param recipient_size the size of @p recipient in bytes
 *  @param submitted receives six values: year, month, day, hour, minute and second of
 *         the centre's time stamp of the submission, the year as getsmsmsgdatetime()
 *         gives it
 *  @param discharged receives the six values of the discharge time likewise (all 0 when
 *         the phone's answer ended before it)
 *  @param status receives the status byte (TP-ST) as the phone gave it: 0x00-0x1F
 *         delivered or forwarded, 0x20-0x3F the centre still tries, 0x40-0x7F failed
 *  @return #PELKOR_OK, or -1 for no such report (the numbers are then 0 and the
 *          recipient empty). */
PELKOR_API int32_t PELKOR_CALL pelkor_getsmsreportdetails(int32_t n, int32_t *reference, char *recipient,
                                                          int32_t recipient_size, int32_t *submitted,
                                                          int32_t *discharged, int32_t *status);
/** getsms() with the number and the text in UTF-8.
 *  @param location the message's location
 *  @param number receives the sender @param number_size its buffer's size in bytes
 *  @param text receives the text @param text_size its buffer's size in bytes
 *  @return the result codes of getsms(). */
PELKOR_API int32_t PELKOR_CALL pelkor_getsms_utf8(int32_t location, char *number, int32_t number_size, char *text,
                                                  int32_t text_size);
/** Stores a message at a location of the phone's message store, replacing what is
 *  there. The library's message list is not changed.
 *  @param location the location
 *  @param kind_code 13 received or 11 stored outgoing
 *  @param read for a received message 1 read, 0 unread; for an outgoing one 1 sent,
 *         0 not sent
 *  @param number the sender or recipient: digits, or a name of up to 11 characters
 *  @param text as much as one message holds (in the GSM alphabet, else UCS-2)
 *  @param time may be null; year, month, day, hour, minute, second of a received message
 *  @return #PELKOR_OK; #PELKOR_ERR_TEXT_TOO_LONG for a text that needs more than one
 *          message; #PELKOR_ERR_REFUSED for a bad argument or a refusal;
 *          #PELKOR_ERR_TIMEOUT. */
PELKOR_API int32_t PELKOR_CALL pelkor_savesms_utf8(int32_t location, int32_t kind_code, int32_t read,
                                                   const char *number, const char *text, const int32_t *time);
/** getphonebookentry() with the name in UTF-8 (the phone stores names in Latin-1).
 *  @param location,memory_type,name,name_length,number,number_length,group as for
 *         getphonebookentry()
 *  @return the results of getphonebookentry(). */
PELKOR_API int32_t PELKOR_CALL pelkor_getphonebookentry_utf8(int32_t location, int32_t memory_type, char *name,
                                                             int32_t name_length, char *number, int32_t number_length,
                                                             int32_t *group);
/** setphonebookentry() with the name in UTF-8. The phone stores names in Latin-1: a name
 *  with a character beyond it is refused with #PELKOR_ERR_REFUSED and nothing is sent.
 *  @param location,memory_type,name,number,group as for setphonebookentry()
 *  @return the results of setphonebookentry(). */
PELKOR_API int32_t PELKOR_CALL pelkor_setphonebookentry_utf8(int32_t location, int32_t memory_type, const char *name,
                                                             const char *number, int32_t group);
/** @} */

/** @} */

#ifdef __cplusplus
}
#endif

#endif /* PELKOR16_H */
