#pragma once
// The soak's report: the figures as one JSON document (also what SOAK_REPORT names), the
// summary line printed at the end, and each kind of failure as a test failure.
#include <cstdint>
#include <nlohmann/json.hpp>

#include "soak_records.h"

namespace pelkor_soak {

nlohmann::json ReportOf(const RunInfo &run, const CallTally &calls, const FaultTally &faults, const WriteTally &writes,
                        size_t framesLost);

// "soak: N calls in S s; SMS {...}; phonebook {...}; isalive N" on standard output.
void PrintSummary(const nlohmann::json &report);

// One test failure per kind of failure, with its count, the seed and its samples.
void AddFailures(const Failures &failures, uint64_t seed);

}  // namespace pelkor_soak
