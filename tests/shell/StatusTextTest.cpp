#include <gtest/gtest.h>

#include <ctime>

#include "server/shell/StatusText.h"
#include "server/toolkit/SOCmnException.h"

using namespace zentarc;

namespace {

struct ThreePlcs {
  DeviceList devices;
  plc::ErrorCatalogue catalogue;
  PlcDevice* plc[3] = {};
  ThreePlcs() {
    const char* names[] = {"Press", "Oven", "Packing"};
    for (int i = 0; i < 3; ++i) {
      SOCmnPointer<PlcDevice> d(SOCmnNew<PlcDevice>(names[i], "127.0.6.1"));
      devices.add(d.get());
      plc[i] = d.get();
    }
    catalogue.LoadBytes("0020 Connection refused by the PLC\r\nFFFF end\r\n");
  }
};

}  // namespace

TEST(StatusText, reportForTheSecondOfThreePlcsFillsOnlyItsLine) {
  ThreePlcs t;
  EXPECT_EQ(shell::buildStatusText(t.devices, {{t.plc[1], 32}}, t.catalogue),
            "\nConnection refused by the PLC on Oven\n\n");
  EXPECT_EQ(shell::buildStatusText(t.devices, {{t.plc[1], 0}}, t.catalogue), "\n\n\n");
}

TEST(StatusText, everyFailingPlcKeepsItsLineWhileAnotherRecovers) {
  ThreePlcs t;
  EXPECT_EQ(shell::buildStatusText(t.devices, {{t.plc[0], 32}, {t.plc[1], 0}, {t.plc[2], 32}}, t.catalogue),
            "Connection refused by the PLC on Press\n\nConnection refused by the PLC on Packing\n");
}

TEST(StatusText, codeWithoutTextGivesAnEmptyText) {
  ThreePlcs t;
  EXPECT_EQ(shell::buildStatusText(t.devices, {{t.plc[2], 7}}, t.catalogue), "\n\n on Packing\n");
}

TEST(StatusText, logLinesNameThePlcAndTheCode_andSayHowOftenAFlappingPlcFailed) {
  ThreePlcs t;
  EXPECT_EQ(shell::statusLogLine(32, *t.plc[0], t.catalogue), "Connection refused by the PLC on Press (code 32)");
  EXPECT_EQ(shell::statusLogLine(0, *t.plc[0], t.catalogue), "PLC Press: communication working");
  PlcStatus status;
  status.state = PlcState::Failing;
  status.lastResultCode = 32;
  status.failuresLastMinute = 31;
  t.plc[0]->publishStatus(status);
  EXPECT_EQ(shell::statusLogLine(32, *t.plc[0], t.catalogue),
            "Connection refused by the PLC on Press (code 32); failed 31 times in the last minute");
  EXPECT_EQ(shell::statusLogLine(0, *t.plc[0], t.catalogue),
            "PLC Press: communication working again, after failing 31 times in the last minute");
}

TEST(StatusText, aDemotedPlcSaysItIsNotReachableAndWhenItIsTriedNext) {
  ThreePlcs t;
  PlcStatus status;
  status.state = PlcState::Demoted;
  status.lastResultCode = 32;
  std::tm local{};
  local.tm_year = 126;
  local.tm_mon = 11;
  local.tm_mday = 7;
  local.tm_hour = 14;
  local.tm_min = 5;
  local.tm_sec = 12;
  local.tm_isdst = -1;
  status.nextTry = std::chrono::system_clock::from_time_t(std::mktime(&local));
  t.plc[1]->publishStatus(status);
  EXPECT_EQ(shell::statusLogLine(32, *t.plc[1], t.catalogue),
            "Connection refused by the PLC on Oven (code 32); not reachable, next try at 14:05:12");
  EXPECT_EQ(shell::buildStatusText(t.devices, {{t.plc[1], 32}}, t.catalogue),
            "\nConnection refused by the PLC on Oven; not reachable, next try at 14:05:12\n\n");
  EXPECT_EQ(shell::plcStateLine(*t.plc[1], t.catalogue),
            "Oven: not reachable, next try at 14:05:12; last: Connection refused by the PLC (code 32)");
  // With nothing to poll, no try is scheduled: the next request tries.
  status.nextTry = {};
  t.plc[1]->publishStatus(status);
  EXPECT_EQ(shell::demotionText(t.plc[1]->status()), "not reachable, tried again when next needed");
}

TEST(StatusText, theDialogsLineForEachState) {
  ThreePlcs t;
  EXPECT_EQ(shell::plcStateLine(*t.plc[0], t.catalogue), "Press: idle");
  PlcStatus status;
  status.state = PlcState::Connecting;
  t.plc[0]->publishStatus(status);
  EXPECT_EQ(shell::plcStateLine(*t.plc[0], t.catalogue), "Press: connecting");
  status.state = PlcState::Working;
  t.plc[0]->publishStatus(status);
  EXPECT_EQ(shell::plcStateLine(*t.plc[0], t.catalogue), "Press: working");
  status.state = PlcState::Failing;
  status.lastResultCode = 32;
  t.plc[0]->publishStatus(status);
  EXPECT_EQ(shell::plcStateLine(*t.plc[0], t.catalogue), "Press: failing: Connection refused by the PLC (code 32)");
  // A failing (not demoted) PLC's log line says no more than the code.
  EXPECT_EQ(shell::statusLogLine(32, *t.plc[0], t.catalogue), "Connection refused by the PLC on Press (code 32)");
}
