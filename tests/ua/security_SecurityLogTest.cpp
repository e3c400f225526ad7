// The security log: one line per address per interval, except that the first line about each
// certificate always gets through.
#include <gtest/gtest.h>

#include "server/toolkit/ua/security/SecurityLog.h"

using namespace zentarc::ua;
using namespace std::chrono_literals;

TEST(SecurityLog, firstLineAboutACertificate_isWritten_evenWhileItsAddressIsHeldBack) {
  std::vector<std::string> lines;
  auto now = std::chrono::steady_clock::time_point(std::chrono::hours(1));
  SecurityLog log([&](const std::string& l) { lines.push_back(l); }, 10s, [&] { return now; });
  log.event("10.0.0.9:5000", "failed activation");
  log.event("10.0.0.9:5001", "held back");
  log.firstOf("thumbprint-A", "10.0.0.9:5002", "certificate A refused");
  log.firstOf("thumbprint-A", "10.0.0.9:5003", "certificate A refused again");
  log.firstOf("thumbprint-B", "10.0.0.9:5004", "certificate B refused");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1], "certificate A refused (and 1 more from 10.0.0.9 not logged)");
  // The repeat about A fell under the address's interval; its count went with B's line.
  EXPECT_EQ(lines[2], "certificate B refused (and 1 more from 10.0.0.9 not logged)");
  now += 11s;
  log.event("10.0.0.9:5005", "later");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[3], "later");
}
