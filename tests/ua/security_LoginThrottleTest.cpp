// Failed logins slow down further tries of the same name from the same address, doubling,
// and an address that fails for many names; nobody else waits.
#include <gtest/gtest.h>

#include "server/toolkit/ua/security/LoginThrottle.h"

using namespace zentarc::ua;
using namespace std::chrono_literals;
using Verdict = LoginThrottle::Verdict;

namespace {

struct FakeClock {
  std::chrono::steady_clock::time_point now{std::chrono::hours(1)};
  LoginThrottle::Clock clock() {
    return [this] { return now; };
  }
};

// One whole try: admitted, checked, finished.
Verdict attempt(LoginThrottle& t, const std::string& user, const std::string& address, bool right) {
  const Verdict v = t.admit(user, address);
  if (v == Verdict::Check) t.finished(user, address, right);
  return v;
}

}  // namespace

TEST(LoginThrottle, failuresOfANameAtAnAddress_doubleTheWait_andOthersDoNotWait) {
  FakeClock c;
  LoginThrottle t(c.clock());
  EXPECT_EQ(attempt(t, "operator", "10.0.0.9", false), Verdict::Check);
  // Right after a failure even the right password waits: that is what stops guessing.
  EXPECT_EQ(attempt(t, "operator", "10.0.0.9", true), Verdict::Wait);
  EXPECT_EQ(t.waitFor("operator", "10.0.0.9"), 1000ms);
  // The same name from elsewhere, and another name from here, go on at once.
  EXPECT_EQ(attempt(t, "operator", "10.0.0.7", true), Verdict::Check);
  EXPECT_EQ(attempt(t, "viewer", "10.0.0.9", true), Verdict::Check);
  c.now += 1000ms;
  EXPECT_EQ(attempt(t, "operator", "10.0.0.9", false), Verdict::Check);
  EXPECT_EQ(t.waitFor("operator", "10.0.0.9"), 2000ms);
  c.now += 2000ms;
  EXPECT_EQ(attempt(t, "operator", "10.0.0.9", false), Verdict::Check);
  EXPECT_EQ(t.waitFor("operator", "10.0.0.9"), 4000ms);
  // Ten more failures reach the ceiling of ten minutes.
  for (int i = 0; i < 10; ++i) {
    c.now += 11min;
    attempt(t, "operator", "10.0.0.9", false);
  }
  EXPECT_EQ(t.waitFor("operator", "10.0.0.9"), 600000ms);
  // A success ends the wait of that name at that address.
  c.now += 10min;
  EXPECT_EQ(attempt(t, "operator", "10.0.0.9", true), Verdict::Check);
  EXPECT_EQ(t.waitFor("operator", "10.0.0.9"), 0ms);
}

TEST(LoginThrottle, anAddressTryingManyNames_waitsAfterAFewFailures) {
  FakeClock c;
  LoginThrottle t(c.clock());
  for (int i = 0; i < 4; ++i) EXPECT_EQ(attempt(t, "user" + std::to_string(i), "10.0.0.9", false), Verdict::Check);
  EXPECT_EQ(t.waitFor("fresh", "10.0.0.9"), 0ms);  // a few typos at a shared terminal are free
  EXPECT_EQ(attempt(t, "user4", "10.0.0.9", false), Verdict::Check);
  EXPECT_EQ(attempt(t, "fresh", "10.0.0.9", true), Verdict::Wait);
  EXPECT_EQ(attempt(t, "fresh", "10.0.0.8", true), Verdict::Check);
  c.now += 1000ms;
  EXPECT_EQ(attempt(t, "fresh", "10.0.0.9", true), Verdict::Check);
}

TEST(LoginThrottle, checksUnderWayPerAddress_areFew_andComeBackWhenDone) {
  FakeClock c;
  LoginThrottle t(c.clock());
  for (int i = 0; i < 4; ++i) EXPECT_EQ(t.admit("u" + std::to_string(i), "10.0.0.9"), Verdict::Check);
  EXPECT_EQ(t.admit("u9", "10.0.0.9"), Verdict::Busy);
  EXPECT_EQ(t.admit("u9", "10.0.0.8"), Verdict::Check);
  t.abandoned("10.0.0.9");
  EXPECT_EQ(t.admit("u9", "10.0.0.9"), Verdict::Check);
  t.finished("u0", "10.0.0.9", true);
  EXPECT_EQ(t.admit("u8", "10.0.0.9"), Verdict::Check);
}

TEST(LoginThrottle, aFloodOfAddresses_keepsTheTableBounded_forgettingTheOldest) {
  FakeClock c;
  LoginThrottle::Limits limits;
  limits.maxTracked = 100;
  LoginThrottle t(limits, c.clock());
  auto address = [](int i) { return "10.0." + std::to_string(i / 250) + "." + std::to_string(i % 250); };
  for (int i = 0; i < 1000; ++i) {
    attempt(t, "operator", address(i), false);
    c.now += 1us;
  }
  // The first addresses were forgotten to keep the bound; the latest ones still wait.
  EXPECT_EQ(t.waitFor("operator", address(0)), 0ms);
  EXPECT_GT(t.waitFor("operator", address(999)), 0ms);
  // The same when every failure came at the same instant.
  LoginThrottle same(limits, c.clock());
  for (int i = 0; i < 1000; ++i) attempt(same, "operator", address(i), false);
  EXPECT_EQ(same.waitFor("operator", address(0)), 0ms);
  EXPECT_GT(same.waitFor("operator", address(999)), 0ms);
}
