// The CPU's run state as the PLC's answers report it: followed from run to stop and back,
// told to the sink once per change, shown in the PLC's figures, and never making the values
// of a stopped PLC Bad (its memory is still true).
#include <gtest/gtest.h>

#include "server/plc/DevicePlantView.h"
#include "tests/integration/PollingHarness.h"

using namespace zentarc;
using namespace zentarc::testsupport;

namespace {

std::size_t cpuReports(const RecordingSink& sink, unsigned state) {
  std::size_t n = 0;
  for (const StatusReport& r : sink.reports()) n += r.message == WM_PLC_CPU_STATE && r.code == state ? 1 : 0;
  return n;
}

}  // namespace

TEST(CpuState, followsTheSimulatorFromRunToStopAndBackWhileValuesStayGood) {
  PollingHarness h;
  auto& sim = h.simulate("127.0.12.1");
  ASSERT_TRUE(h.load(plcXml("P", "127.0.12.1", tagXml("T", "VT_I2", 1))));
  sim.setRegister(0, 5);
  h.start();
  DevicePlantView plant(h.devices, nullptr);
  EXPECT_EQ(plant.diagnostics(0).cpuState, "unknown");  // before the first answer
  auto g = h.group("g", 100);
  auto item = h.activate(*g, "T");
  ASSERT_TRUE(h.waitForQuality("T", 0xC0));
  ASSERT_TRUE(waitUntil([&] { return plant.diagnostics(0).cpuState == "run, outputs enabled"; }));
  EXPECT_TRUE(plant.diagnostics(0).cpuRunning);
  EXPECT_EQ(plant.diagnostics(0).sweepTimeMs, 10);
  EXPECT_EQ(plant.diagnostics(0).plcStatusWord, 0x0100);
  EXPECT_EQ(cpuReports(h.sink, 0), 0u);  // a CPU found running is no news

  sim.setCpuState(plc::CpuState::StopFaulted);
  ASSERT_TRUE(waitUntil([&] { return cpuReports(h.sink, 3) == 1; }));
  const PlcDiagnostics stopped = plant.diagnostics(0);
  EXPECT_EQ(stopped.cpuState, "stop, faulted");
  EXPECT_FALSE(stopped.cpuRunning);
  EXPECT_EQ(stopped.plcStatusWord, 0x3000);
  EXPECT_EQ(stopped.state, "working");
  sim.setRegister(0, 6);
  EXPECT_TRUE(waitUntil([&] { return h.tag("T")->getCache()->getValue().iVal() == 6; }));
  EXPECT_EQ(h.tag("T")->getCache()->getQuality(), 0xC0);

  sim.setCpuState(plc::CpuState::RunEnabled);
  ASSERT_TRUE(waitUntil([&] { return cpuReports(h.sink, 0) == 1; }));
  EXPECT_TRUE(plant.diagnostics(0).cpuRunning);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // many more answers
  h.stop();
  // One message per change, none for the same state answered again and again, and no
  // failure either.
  EXPECT_EQ(h.sink.reports(), (std::vector<StatusReport>{{WM_PLC_CPU_STATE, 3, "P"}, {WM_PLC_CPU_STATE, 0, "P"}}));
  EXPECT_EQ(plant.diagnostics(0).cpuState, "unknown");  // no connection, nothing confirms a state
}

TEST(CpuState, aPlcFoundStoppedIsToldAtOnceAndAnUnreachableOnesStateIsUnknown) {
  PollingHarness h;
  auto& sim = h.simulate("127.0.12.2");
  sim.setCpuState(plc::CpuState::StopDisabled);
  ASSERT_TRUE(h.load(plcXml("P", "127.0.12.2", tagXml("T", "VT_I2", 1))));
  h.start();
  DevicePlantView plant(h.devices, nullptr);
  auto g = h.group("g", 100);
  auto item = h.activate(*g, "T");
  ASSERT_TRUE(waitUntil([&] { return cpuReports(h.sink, 2) == 1; }));
  EXPECT_EQ(plant.diagnostics(0).cpuState, "stop, outputs disabled");
  sim.setFaults({.silent = true});
  ASSERT_TRUE(waitUntil([&] { return h.sink.reported(4, "P"); }));
  EXPECT_EQ(plant.diagnostics(0).cpuState, "unknown");
  EXPECT_FALSE(plant.diagnostics(0).cpuRunning);
  // Reached again and still stopped: the state it had is no news.
  sim.setFaults({});
  ASSERT_TRUE(waitUntil([&] { return plant.diagnostics(0).cpuState == "stop, outputs disabled"; }, 8000));
  EXPECT_EQ(cpuReports(h.sink, 2), 1u);
}
