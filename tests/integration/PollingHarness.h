#pragma once
// The server core without its window: a configuration loaded from text, simulated PLCs on
// loopback, the in-process toolkit for groups and items, and the PLC workers reporting to a
// sink that records every message.
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "server/config/ConfigurationLoader.h"
#include "server/opc/PlcTag.h"
#include "server/opc/ServerQueues.h"
#include "server/plc/DeviceList.h"
#include "server/plc/PollingService.h"
#include "server/toolkit/SODaSNameSpaceRoot.h"
#include "server/toolkit/SODaSServer.h"
#include "tests/support/TempDir.h"
#include "tools/plcsim/Simulator.h"

namespace zentarc::testsupport {

struct StatusReport {
  PlcStatusMessage message;
  unsigned code;
  std::string device;  // empty for WM_NO_PLC
  bool operator==(const StatusReport&) const = default;
};

class RecordingSink : public PlcStatusSink {
 public:
  void sendMessage(PlcStatusMessage message, unsigned code, PlcDevice* device) override;
  std::vector<StatusReport> reports() const;
  // Whether a WM_PLC_STATUS with this code was reported for the device.
  bool reported(unsigned code, const std::string& device) const;
  // How many reports (of any kind, for any device) carried this code.
  std::size_t count(unsigned code) const;

 private:
  mutable std::mutex mutex_;
  std::vector<StatusReport> reports_;
};

// Text of a tag element and of a PLC element of the configuration file.
std::string tagXml(const std::string& name, const std::string& type, unsigned address, unsigned elements = 0,
                   unsigned bit = 0);
std::string plcXml(const std::string& name, const std::string& address, const std::string& tags);

// Polls `done` every 5 ms for at most timeoutMs; true as soon as it holds.
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 5000);

class PollingHarness {
 public:
  PollingHarness();
  ~PollingHarness();  // stops the thread before anything it uses goes

  // Loads the configuration holding these PLC elements; false (with the warnings) on error.
  bool load(const std::string& plcElements);
  // A simulated PLC on `address`, started.
  plcsim::Simulator& simulate(const std::string& address, plcsim::Faults faults = {});
  // Starts the workers; with a clock, they take their ticks from it.
  void start(TickClock clock = steadyTickCount);
  void stop();

  PlcTag* tag(const std::string& name) const;
  SOCmnPointer<SODaSGroup> group(const std::string& name, std::uint32_t rate);
  SOCmnPointer<SODaSItem> activate(SODaSGroup& group, const std::string& tagName);
  // True once the tag's cache has a value from the device with this quality.
  bool waitForQuality(const std::string& tagName, std::uint16_t quality, int timeoutMs = 5000) const;
  // The rate of the block that polls the tag now (0 when none), read under queueLock.
  std::uint32_t blockRate(const std::string& tagName);
  std::size_t blockCount(std::size_t device);

  testsupport::TempDir dir;
  std::shared_ptr<ServerQueues> queues;
  SOCmnPointer<SODaSNameSpaceRoot> root;
  DeviceList devices;
  RecordingSink sink;
  std::vector<std::unique_ptr<plcsim::Simulator>> sims;
  SOCmnPointer<SODaSServer> server;
  std::vector<std::string> warnings;
  std::unique_ptr<PollingService> thread;
};

}  // namespace zentarc::testsupport
