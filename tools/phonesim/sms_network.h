// The network behind the phone: how long it takes to confirm a submission, and the
// status reports it sends back (handlers_sms_network.cpp).
#pragma once

#include <cstdint>
#include <vector>

#include <nlohmann/json.hpp>

#include "dispatch.h"

namespace phonesim {

// Hands a submission to the network: `verdict` (the confirmation or refusal, type 0x02)
// goes out after /network/submit_delay_ms, and a confirmed submission that asked for a
// status report gets one in the store after /network/report_delay_ms more. `record` is
// the submission as kept in /sms/sent.
void NetworkSubmit(const nlohmann::json &record, std::vector<uint8_t> verdict, PhoneState &state, Replies &replies);

// Stores the reports held back for want of a free location, oldest first, as far as
// locations are free now, each with its arrival notice.
void StoreHeldReports(PhoneState &state, Replies &replies);

}  // namespace phonesim
