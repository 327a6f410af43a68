// Phone-service exports: identity and status, clock and alarm, calls and tones, network.
#include <pelkor16.h>

#include "services/calls.h"
#include "services/clock_alarm.h"
#include "services/identity.h"
#include "services/network.h"
#include "services/phone_status.h"

using pelkor::IdentityField;

extern "C" {

PELKOR_API int32_t PELKOR_CALL getimei(char *buffer, int32_t size) {
  return pelkor::GetIdentityText(IdentityField::kImei, buffer, size);
}
PELKOR_API int32_t PELKOR_CALL getrevision(char *buffer, int32_t size) {
  return pelkor::GetIdentityText(IdentityField::kRevision, buffer, size);
}
PELKOR_API int32_t PELKOR_CALL getmodel(char *buffer, int32_t size) {
  return pelkor::GetIdentityText(IdentityField::kModel, buffer, size);
}
PELKOR_API int32_t PELKOR_CALL getswdate(char *buffer, int32_t size) {
  return pelkor::GetIdentityText(IdentityField::kSoftwareDate, buffer, size);
}
PELKOR_API int32_t PELKOR_CALL getrflevel(int32_t *level) { return pelkor::GetSignalLevel(level); }
PELKOR_API int32_t PELKOR_CALL getbatterylevel(int32_t *level) { return pelkor::GetBatteryLevel(level); }
PELKOR_API int32_t PELKOR_CALL uses_acdc_power(void) { return pelkor::UsesMainsPower(); }
PELKOR_API int32_t PELKOR_CALL getdisplaystatus(char *buffer, int32_t size) {
  return pelkor::GetDisplayStatus(buffer, size);
}

PELKOR_API int32_t PELKOR_CALL getdatetime(int32_t *year, int32_t *month, int32_t *day, int32_t *hour, int32_t *minute,
                                           int32_t *second) {
  return pelkor::GetDateTime(year, month, day, hour, minute, second);
}
PELKOR_API int32_t PELKOR_CALL setdatetime(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute,
                                           int32_t /*second: not sent*/) {
  return pelkor::SetDateTime(year, month, day, hour, minute);
}
PELKOR_API int32_t PELKOR_CALL getalarm(int32_t *enabled, int32_t *hour, int32_t *minute) {
  return pelkor::GetAlarm(enabled, hour, minute);
}
PELKOR_API int32_t PELKOR_CALL setalarm(int32_t hour, int32_t minute) { return pelkor::SetAlarm(hour, minute); }

PELKOR_API int32_t PELKOR_CALL dialvoice(const char *number) { return pelkor::DialVoice(number); }
PELKOR_API int32_t PELKOR_CALL hangup(void) { return pelkor::HangUp(); }
PELKOR_API int32_t PELKOR_CALL send_dtmf(const char *digits) { return pelkor::SendDtmf(digits); }
PELKOR_API int32_t PELKOR_CALL gsmbeep(int32_t on) { return pelkor::Beep(on); }
PELKOR_API int32_t PELKOR_CALL play_tone(int32_t volume, int32_t frequency, int32_t duration_ms) {
  return pelkor::PlayTone(volume, frequency, duration_ms);
}
PELKOR_API int32_t PELKOR_CALL reset(const char *kind) { return pelkor::ResetPhone(kind); }
PELKOR_API int32_t PELKOR_CALL incoming(char *buffer, int32_t size) { return pelkor::IncomingCall(buffer, size); }
PELKOR_API int32_t PELKOR_CALL incomingevent(void) { return pelkor::TakeIncomingCallEvent(); }

PELKOR_API int32_t PELKOR_CALL getnetworkinfo(char *network_code, int32_t network_code_size, char *area_code,
                                              int32_t area_code_size, char *cell_id, int32_t cell_id_size) {
  return pelkor::GetNetworkInfo(network_code, network_code_size, area_code, area_code_size, cell_id, cell_id_size);
}
PELKOR_API int32_t PELKOR_CALL netmonitor(const char *screen, char *buffer, int32_t size) {
  return pelkor::NetMonitor(screen, buffer, size);
}

}  // extern "C"
