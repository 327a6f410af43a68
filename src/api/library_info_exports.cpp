// Library information: the text of a result code and the version string.
#include <pelkor16.h>

#ifndef PELKOR_VERSION_STRING
#error "PELKOR_VERSION_STRING comes from the build (src/CMakeLists.txt)"
#endif

extern "C" {

PELKOR_API const char *PELKOR_CALL pelkor_strerror(int32_t code) {
  switch (code) {
    case PELKOR_OK:
      return "done";
    case PELKOR_NOT_FOUND:
      return "no open session, no such entry, or the file cannot be opened";
    case PELKOR_HANDED_TO_SEND:
      return "the request was handed to the phone";
    case PELKOR_ERR_TIMEOUT:
      return "no answer from the phone in time";
    case PELKOR_ERR_IDENTITY_UNKNOWN:
      return "the phone did not tell";
    case PELKOR_ERR_MEMORY_STATUS:
      return "the phone could not report its memory";
    case PELKOR_ERR_SMS_READ:
      return "no message at that location";
    case PELKOR_ERR_PHONEBOOK_READ:
      return "the phone refused to read the entry";
    case PELKOR_ERR_SPEED_DIAL:
      return "the phone refused the speed dial";
    case PELKOR_ERR_SETTING_REFUSED:
      return "the phone refused the setting";
    case PELKOR_ERR_SMS_READ_OTHER:
      return "the phone could not read the message";
    case PELKOR_ERR_PHONEBOOK_WRITE:
      return "the phone refused to store the entry";
    case PELKOR_ERR_SMS_SEND:
      return "the phone could not send the message";
    case PELKOR_ERR_TEXT_TOO_LONG:
      return "the text is longer than 160 characters";
    case PELKOR_ERR_REFUSED:
      return "refused: a bad argument, an error reply or a port that cannot be opened";
    case PELKOR_ERR_NO_CALL:
      return "no call known";
    case PELKOR_ERR_LOGO:
      return "the phone refused the logo";
    default:
      return "unknown result code";
  }
}

PELKOR_API const char *PELKOR_CALL pelkor_version(void) { return PELKOR_VERSION_STRING; }

}  // extern "C"
