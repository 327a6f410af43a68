// The fault soak. For SOAK_SECONDS (120 by default) this thread calls a random mix of
// every family of the C API while a second thread makes the simulated phone misbehave
// over its control channel: noise, corrupt frames, a lost frame in a long reply, no
// acknowledgements for a while, silences of 0-12 s, refused sends. Every call must give
// one of its documented results within its time limit (export_limits.h), isalive must
// come back to 1 after each silence and stay there on the idle healthy link, and nothing
// may be lost or altered: every SMS reported sent is in the phone's store exactly once
// with its exact text, every phonebook entry and speed dial reported written is stored
// exactly, nothing refused is stored, and every answer the phone gave is what its state
// holds. SOAK_SEED replays a run's choices (the seed is printed); SOAK_REPORT (or
// --report=PATH) names a JSON file for the figures; SOAK_EXCLUDE leaves out actions by
// name (comma-separated), to look past one known fault at the others.
//
// This file is the test: its settings from the environment and its verdict; the run is
// the class Soak (soak.h), its figures are written by soak_report.cpp.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <set>
#include <sstream>
#include <string>

#include "sim_fixture.h"
#include "soak.h"
#include "soak_report.h"
#include "soak_support.h"

namespace pelkor_soak {
namespace {

using nlohmann::json;

class SoakTest : public pelkor_it::SimulatedPhone {};

TEST_F(SoakTest, EveryFamilyUnderFaults) {
  const int64_t seconds = EnvInteger("SOAK_SECONDS", 120);
  const uint64_t seed =
      EnvUnsigned("SOAK_SEED").value_or(std::random_device{}() * 4294967296ULL + std::random_device{}());
  std::set<std::string> excluded;
  std::stringstream list(EnvText("SOAK_EXCLUDE"));
  for (std::string name; std::getline(list, name, ',');)
    if (!name.empty()) excluded.insert(name);
  std::printf("soak: seed %llu, %lld s (SOAK_SEED=%llu replays the choices)\n", static_cast<unsigned long long>(seed),
              static_cast<long long>(seconds), static_cast<unsigned long long>(seed));
  std::fflush(stdout);

  Soak soak(sim_, port_, seed, seconds, excluded);
  soak.Run();
  const json report = soak.Report();
  EXPECT_TRUE(WriteReport("SOAK_REPORT", report)) << "cannot write " << ReportPath("SOAK_REPORT");
  PrintSummary(report);
  AddFailures(soak.failures(), seed);
}

}  // namespace
}  // namespace pelkor_soak
