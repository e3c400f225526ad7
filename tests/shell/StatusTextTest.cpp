#include <gtest/gtest.h>

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

TEST(StatusText, logLinesNameThePlcAndTheCode) {
  ThreePlcs t;
  EXPECT_EQ(shell::statusLogLine(32, *t.plc[0], t.catalogue), "Connection refused by the PLC on Press (code 32)");
  EXPECT_EQ(shell::statusLogLine(0, *t.plc[0], t.catalogue), "PLC Press: communication working");
}
