// Where the SMS handlers keep their state: JSON pointers into the phone's state, shared
// by the store, submission, saving and the network's side of a submission.
#pragma once

namespace phonesim::sms_state {

inline constexpr const char *kCapacity = "/sms/capacity";
inline constexpr const char *kMessages = "/sms/messages";
inline constexpr const char *kFirstCentreNumber = "/sms/centres/0/number";
inline constexpr const char *kNextReference = "/sms/next_reference";  // of delivered messages
inline constexpr const char *kSent = "/sms/sent";
inline constexpr const char *kConcatenated = "/sms/concatenated";
inline constexpr const char *kFailNextSend = "/sms/fail_next_send";
inline constexpr const char *kNetworkReference = "/network/next_reference";  // of submissions
inline constexpr const char *kHeldReports = "/network/held_reports";
inline constexpr const char *kReportDelay = "/network/report_delay_ms";
inline constexpr const char *kSubmitDelay = "/network/submit_delay_ms";

}  // namespace phonesim::sms_state
