// Running under systemd: notifications on the notify socket, the watchdog that stops
// pinging when a loop is stuck, the status line from the PLC reports, and log lines that
// carry their journal priority.
#include <gtest/gtest.h>

#include <cstdlib>

#include <QCoreApplication>

#include <sys/stat.h>
#include <unistd.h>

#include "server/plc/PlcDevice.h"
#include "server/toolkit/SOCmnException.h"
#include "server/shell/ServiceNotifier.h"
#include "server/shell/ServiceStatus.h"
#include "server/shell/ServiceWatchdog.h"
#include "server/shell/ShellLog.h"
#include "tests/shell/ShellTestSupport.h"
#include "tests/support/NotifySocket.h"
#include "tests/support/TempDir.h"

using namespace zentarc;
using namespace zentarc::shell;
using namespace std::chrono_literals;

namespace {

// A notify socket named in NOTIFY_SOCKET for the life of the fixture (each test is its own
// process, so the environment is ours).
class NotifyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(socket.ok());
    ::setenv("NOTIFY_SOCKET", socket.path().c_str(), 1);
    ::unsetenv("WATCHDOG_USEC");
    ::unsetenv("WATCHDOG_PID");
  }
  void TearDown() override { ::unsetenv("NOTIFY_SOCKET"); }

  testsupport::TempDir dir;
  testsupport::NotifySocket socket{dir.file("notify").string()};
};

class RecordingSink : public PlcStatusSink {
 public:
  void sendMessage(PlcStatusMessage message, unsigned code, PlcDevice* device) override {
    got.push_back({message, code, device});
  }
  struct Message {
    PlcStatusMessage message;
    unsigned code;
    PlcDevice* device;
  };
  std::vector<Message> got;
};

}  // namespace

TEST_F(NotifyTest, notificationsFollowTheProtocolOneDatagramEach) {
  ServiceNotifier notifier;
  ASSERT_TRUE(notifier.enabled());
  notifier.ready("2 PLCs, 0 failing");
  EXPECT_EQ(socket.receive(2000ms).value_or(""), "READY=1\nSTATUS=2 PLCs, 0 failing");
  // A line break in a status would start a new assignment: it becomes a blank.
  notifier.status("Line1\nstuck");
  EXPECT_EQ(socket.receive(2000ms).value_or(""), "STATUS=Line1 stuck");
  notifier.watchdogPing();
  EXPECT_EQ(socket.receive(2000ms).value_or(""), "WATCHDOG=1");
  notifier.stopping();
  EXPECT_EQ(socket.receive(2000ms).value_or(""), "STOPPING=1\nSTATUS=shutting down");
}

TEST_F(NotifyTest, withoutANotifySocketNothingIsSent) {
  ::unsetenv("NOTIFY_SOCKET");
  ServiceNotifier notifier;
  EXPECT_FALSE(notifier.enabled());
  notifier.ready("x");
  notifier.watchdogPing();
  EXPECT_FALSE(socket.receive(100ms).has_value());
}

TEST_F(NotifyTest, theWatchdogPeriodIsOursOnlyWhenSystemdAskedThisProcess) {
  ServiceNotifier notifier;
  EXPECT_EQ(notifier.watchdogPeriod(), 0us);
  ::setenv("WATCHDOG_USEC", "30000000", 1);
  EXPECT_EQ(notifier.watchdogPeriod(), 30s);
  ::setenv("WATCHDOG_PID", std::to_string(::getpid()).c_str(), 1);
  EXPECT_EQ(notifier.watchdogPeriod(), 30s);
  ::setenv("WATCHDOG_PID", std::to_string(::getpid() + 1).c_str(), 1);
  EXPECT_EQ(notifier.watchdogPeriod(), 0us) << "meant for another process";
  ::unsetenv("WATCHDOG_PID");
  ::setenv("WATCHDOG_USEC", "soon", 1);
  EXPECT_EQ(notifier.watchdogPeriod(), 0us);
}

TEST_F(NotifyTest, aStuckLoopStopsThePingsAndIsLoggedOnceAsAnError) {
  Heartbeat polling, io;
  LivenessWatch watch;
  watch.watch("polling thread", polling, 60000ms);
  watch.watch("OPC UA thread", io, 120000ms);
  shelltest::CapturedLog log;
  ServiceNotifier notifier;
  ServiceWatchdog watchdog(notifier, watch, log.log());
  const auto t0 = std::max(polling.lastBeat(), io.lastBeat());

  EXPECT_TRUE(watchdog.check(t0 + 1000ms));
  EXPECT_EQ(socket.receive(2000ms).value_or(""), "WATCHDOG=1");

  // The polling thread hangs past its bound: no ping, one error line, the status says so.
  EXPECT_FALSE(watchdog.check(t0 + 61000ms));
  EXPECT_EQ(socket.receive(2000ms).value_or(""), "STATUS=polling thread stuck");
  EXPECT_FALSE(watchdog.check(t0 + 62000ms));
  EXPECT_FALSE(socket.receive(200ms).has_value()) << "neither a ping nor a second status";
  const std::string text = log.text();
  EXPECT_NE(text.find("the polling thread has not turned for 61 s"), std::string::npos) << text;
  EXPECT_EQ(text.find("has not turned", text.find("has not turned") + 1), std::string::npos) << text;

  // It turns again before systemd gave up on us: pings resume.
  polling.beat();
  io.beat();
  EXPECT_TRUE(watchdog.check(std::max(polling.lastBeat(), io.lastBeat())));
  EXPECT_EQ(socket.receive(2000ms).value_or(""), "WATCHDOG=1");
  EXPECT_NE(log.text().find("the polling thread turns again"), std::string::npos);
}

TEST_F(NotifyTest, theWatchdogTimerPingsEveryHalfPeriod) {
  Heartbeat loop;
  LivenessWatch watch;
  watch.watch("loop", loop, 60000ms);
  shelltest::CapturedLog log;
  ServiceNotifier notifier;
  ServiceWatchdog watchdog(notifier, watch, log.log());
  watchdog.start(0us);
  EXPECT_FALSE(watchdog.running()) << "no watchdog asked, no timer";
  watchdog.start(200ms);
  ASSERT_TRUE(watchdog.running());
  // The first ping at once, the next ones from the timer on the event loop.
  EXPECT_EQ(socket.receive(2000ms).value_or(""), "WATCHDOG=1");
  int pings = 0;
  const auto end = std::chrono::steady_clock::now() + 3s;
  while (pings < 3 && std::chrono::steady_clock::now() < end) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    if (auto m = socket.receive(10ms)) pings += *m == "WATCHDOG=1";
  }
  EXPECT_EQ(pings, 3);
  watchdog.stop();
  EXPECT_FALSE(watchdog.running());
}

TEST(ServiceStatus, countsFailingPlcsFromTheReportsAndPassesEveryReportOn) {
  SOCmnPointer<PlcDevice> a(SOCmnNew<PlcDevice>("A", "127.0.0.2"));
  SOCmnPointer<PlcDevice> b(SOCmnNew<PlcDevice>("B", "127.0.0.3"));
  RecordingSink window;
  std::vector<std::string> published;
  ServiceStatus status(window, [&](const std::string& text) { published.push_back(text); });
  status.setPlcCount(3);
  EXPECT_EQ(status.text(), "3 PLCs, 0 failing");

  status.sendMessage(WM_PLC_STATUS, 4, a.get());
  status.sendMessage(WM_PLC_STATUS, 32, a.get());  // fails differently: still one
  status.sendMessage(WM_PLC_STATUS, 0, b.get());   // another PLC working: no change
  status.sendMessage(WM_PLC_STATUS, 64, b.get());
  status.sendMessage(WM_PLC_STATUS, 0, a.get());
  status.sendMessage(WM_NO_PLC, 0, nullptr);
  EXPECT_EQ(published, (std::vector<std::string>{"3 PLCs, 1 failing", "3 PLCs, 2 failing", "3 PLCs, 1 failing"}));
  ASSERT_EQ(window.got.size(), 6u);
  EXPECT_EQ(window.got[1].code, 32u);
  EXPECT_EQ(window.got[1].device, a.get());
  EXPECT_EQ(window.got[5].message, WM_NO_PLC);
  EXPECT_EQ(plcStatusLine(1, 1), "1 PLC, 1 failing");
}

TEST(ShellLogJournal, linesCarryTheirPriorityOnlyWhenStandardErrorIsTheJournal) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  struct stat st {};
  ASSERT_EQ(::fstat(fileno(file), &st), 0);
  const std::string stream = std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);

  ::unsetenv("JOURNAL_STREAM");
  EXPECT_FALSE(isJournalStream(fileno(file)));
  ::setenv("JOURNAL_STREAM", (std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino + 1)).c_str(), 1);
  EXPECT_FALSE(isJournalStream(fileno(file))) << "another file";
  ::setenv("JOURNAL_STREAM", (stream + "x").c_str(), 1);
  EXPECT_FALSE(isJournalStream(fileno(file))) << "not a device:inode pair";
  ::setenv("JOURNAL_STREAM", stream.c_str(), 1);
  EXPECT_TRUE(isJournalStream(fileno(file)));

  {
    ShellLog log(file);
    ASSERT_TRUE(log.journal());
    log.line(LogPriority::Error, "cannot serve");
    log.line(LogPriority::Warning, "Can't connect on Line1");
    log.line(LogPriority::Notice, "serving");
    log.line("plain");
    LogPrompter(log).warning("caption", "text");
  }
  ::unsetenv("JOURNAL_STREAM");
  ShellLog plain(file);
  EXPECT_FALSE(plain.journal());
  plain.line(LogPriority::Error, "terminal");

  std::rewind(file);
  std::vector<std::string> lines;
  char buf[512];
  while (std::fgets(buf, sizeof buf, file)) lines.emplace_back(buf);
  std::fclose(file);
  ASSERT_EQ(lines.size(), 6u);
  const std::vector<std::string> prefixes = {"<3>", "<4>", "<5>", "<6>", "<4>"};
  for (std::size_t i = 0; i < prefixes.size(); ++i) EXPECT_EQ(lines[i].substr(0, 3), prefixes[i]) << lines[i];
  // Every line carries the word of its priority, journal or not, so a log file can be
  // searched for "warning" too; plain information carries none.
  EXPECT_NE(lines[0].find("OPCZentarc: error: cannot serve"), std::string::npos) << lines[0];
  EXPECT_NE(lines[1].find("OPCZentarc: warning: Can't connect on Line1"), std::string::npos) << lines[1];
  EXPECT_NE(lines[2].find("OPCZentarc: notice: serving"), std::string::npos) << lines[2];
  EXPECT_NE(lines[3].find("OPCZentarc: plain"), std::string::npos) << lines[3];
  EXPECT_NE(lines[4].find("OPCZentarc: warning: caption: text"), std::string::npos);
  EXPECT_NE(lines[5][0], '<') << "a terminal gets no priority prefix";
  EXPECT_NE(lines[5].find("OPCZentarc: error: terminal"), std::string::npos);
}
