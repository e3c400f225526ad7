// What a PLC worker tells its sink, and when: a failure at once, working again only after
// 5 s steady, a PLC that flaps summarised once a minute.
#include <gtest/gtest.h>

#include "server/plc/FailureReports.h"

using namespace zentarc;

namespace {

struct Told {
  std::uint32_t at;
  plc::ResultCode code;
  bool operator==(const Told&) const = default;
};

// Feeds the state every 10 ms from `from` to `to` and records what is told.
class Feed {
 public:
  void state(std::uint32_t from, std::uint32_t to, plc::ResultCode code, bool demoted = false) {
    for (std::uint32_t t = from; t < to; t += 10)
      if (auto tell = reports.update(t, code, demoted)) told.push_back({t, *tell});
  }
  FailureReports reports;
  std::vector<Told> told;
};

}  // namespace

TEST(FailureReports, aFailureAtOnceAChangeAndADemotionAtOnceTheSameAgainAfterTenMinutes) {
  Feed r;
  r.state(0, 100, plc::kOk);
  r.state(100, 200, plc::kConnectionLost);
  r.state(200, 300, plc::kNotConnected);
  r.state(300, 400, plc::kNotConnected, true);
  r.state(400, 1000 + kFailureReminderMs, plc::kNotConnected, true);
  EXPECT_EQ(r.told, (std::vector<Told>{{100, 3}, {200, 32}, {300, 32}, {300 + kFailureReminderMs, 32}}));
}

TEST(FailureReports, workingAgainIsToldOnlyAfterFiveSecondsSteady_alsoAfterADemotion) {
  Feed r;
  r.state(0, 100, plc::kNotConnected, true);
  r.state(100, 5090, plc::kOk);
  EXPECT_EQ(r.told.size(), 1u);
  r.state(5090, 5200, plc::kOk);
  EXPECT_EQ(r.told.back(), (Told{5090, 0}));  // 5 s after it was last seen failing
}

TEST(FailureReports, aPlcThatFlapsIsSummarisedOnceAMinute) {
  Feed r;
  // 31 reboots in 62 s: 1 s down (lost, then refused and demoted), 1 s up.
  for (std::uint32_t t = 0; t < 62000; t += 2000) {
    r.state(t, t + 500, plc::kConnectionLost);
    r.state(t + 500, t + 1000, plc::kNotConnected, true);
    r.state(t + 1000, t + 2000, plc::kOk);
  }
  // The first failure and its demotion at once, a summary a minute later, and nothing per flap.
  EXPECT_EQ(r.told, (std::vector<Told>{{0, 3}, {500, 32}, {60500, 32}}));
  EXPECT_EQ(r.reports.failuresInLastMinute(60500), 30u);
  r.state(62000, 70000, plc::kOk);
  EXPECT_EQ(r.told.back(), (Told{65990, 0}));
}
