#pragma once
// `pelkor sms wait-report`: waits until the phone's store holds a final status report
// for each message reference asked for, or the time runs out.
#include <cstdint>
#include <string>
#include <vector>

#include "report.h"

namespace pelkor_tool {

struct ReportWait {
  std::vector<int32_t> references;  // 0-255 each
  std::string to;                   // only reports on messages to this number, when given
  int timeoutSeconds = 600;
};

// Prints each report found (the message objects of the tool's JSON under "reports",
// the references still without a final report under "waiting") and returns 0 when
// every message was delivered, the "refused" status when one failed, and the "no
// answer" status when the time ran out first.
int WaitForReports(Report &r, const ReportWait &wait);

}  // namespace pelkor_tool
