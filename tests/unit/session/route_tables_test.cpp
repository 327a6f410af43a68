// The families are registered in the order the build finds their folders. That order must
// decide nothing: no two rows of the registered tables may claim the same reply, and each
// message type has at most one catch-all row.
#include <set>
#include <tuple>

#include <gtest/gtest.h>

#include "link/ack_handler.h"
#include "link/session.h"
#include "session/library_context.h"

namespace pelkor {
namespace {

TEST(RouteTables, EveryFamilyTableIsRegisteredOnceWithTheLinkRowsApart) {
  Library();  // built as the library loads; named here so the test does not rely on it
  const size_t count = Session().routeTableCount.load();
  ASSERT_GE(count, 4u) << "each family registers at least one table";
  std::set<const ReplyRouteTable *> seen;
  for (size_t t = 0; t < count; ++t) {
    EXPECT_TRUE(seen.insert(Session().routeTables[t]).second) << "table " << t << " registered twice";
    EXPECT_NE(Session().routeTables[t], &kLinkRoutes) << "the link's own rows are dispatched first, not registered";
  }
}

TEST(RouteTables, NoTwoRowsClaimTheSameReply) {
  Library();
  std::set<std::tuple<int, int, int>> claimed;  // type, command offset, command
  std::set<int> catchAllTypes;
  auto claim = [&](const ReplyRouteTable &table) {
    for (size_t r = 0; r < table.count; ++r) {
      const ReplyRoute &row = table.rows[r];
      if (row.command == kAnyCommand) {
        EXPECT_TRUE(catchAllTypes.insert(row.type).second) << "two catch-all rows for type 0x" << std::hex << +row.type;
        continue;
      }
      EXPECT_TRUE(claimed.insert({row.type, row.commandOffset, row.command}).second)
          << "two rows for type 0x" << std::hex << +row.type << " command 0x" << row.command;
    }
  };
  claim(kLinkRoutes);
  for (size_t t = 0; t < Session().routeTableCount.load(); ++t) claim(*Session().routeTables[t]);
  EXPECT_FALSE(claimed.empty());
}

}  // namespace
}  // namespace pelkor
