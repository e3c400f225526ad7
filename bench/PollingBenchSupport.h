#pragma once
// Shared by the polling benchmarks: simulated PLCs with tags of mixed types, the in-process
// toolkit for items, the PLC workers, and a bare socket client for baselines.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>
#include <string>
#include <vector>

#include "bench/BareGeClient.h"
#include "server/opc/PlcTag.h"
#include "server/opc/ServerCreator.h"
#include "server/opc/ServerQueues.h"
#include "server/opc/ValueConversion.h"
#include "server/plc/DeviceList.h"
#include "server/plc/GeLink.h"
#include "server/plc/GeMessages.h"
#include "server/plc/PollingService.h"
#include "server/toolkit/SODaSServer.h"
#include "tools/plcsim/Simulator.h"

namespace zentarc::bench {

using Clock = std::chrono::steady_clock;
namespace ge = plc::ge;

class CountingSink : public PlcStatusSink {
 public:
  void sendMessage(PlcStatusMessage, unsigned code, PlcDevice*) override {
    std::lock_guard lock(mutex);
    codes.push_back(code);
  }
  std::mutex mutex;
  std::vector<unsigned> codes;
};

// A mix of types as a plant's tag list has them: mostly scalars, every tenth an array.
struct TagKind {
  VARTYPE vt;
  std::uint16_t count;
};
inline const std::vector<TagKind>& tagMix() {
  static const std::vector<TagKind> mix = {
      {VT_I2, 0}, {VT_UI2, 0}, {VT_I4, 0}, {VT_R4, 0}, {VT_BOOL, 0},
      {VT_UI4, 0}, {VT_BSTR, 8}, {VT_I2, 0}, {VT_R4, 0}, {VT_ARRAY | VT_I2, 4}};
  return mix;
}

struct Plant {
  std::shared_ptr<ServerQueues> queues = std::make_shared<ServerQueues>();
  DeviceList devices;
  CountingSink sink;
  std::vector<std::unique_ptr<plcsim::Simulator>> sims;
  std::vector<SOCmnPointer<PlcTag>> tags;
  SOCmnPointer<SODaSServer> server{new SODaSServer(SOCmnPointer<SODaSCreator>(new ServerCreator(queues)))};
  std::unique_ptr<PollingService> thread;

  ~Plant() {
    if (thread) thread->stop();
    server->removeAllGroups();
    thread.reset();
    for (auto& sim : sims) sim->stop();
  }

  // A device on `address`; with simulate, a simulated PLC answers there.
  PlcDevice* addPlc(const std::string& address, bool simulate = true, plcsim::Faults faults = {}) {
    if (simulate) {
      sims.push_back(std::make_unique<plcsim::Simulator>(
          plcsim::Options{.address = address, .faults = faults, .logLimit = 0}));
      std::string error;
      if (!sims.back()->start(&error)) {
        std::fprintf(stderr, "simulator on %s: %s\n", address.c_str(), error.c_str());
        std::exit(1);
      }
    }
    SOCmnPointer<PlcDevice> device(new PlcDevice("PLC" + std::to_string(devices.getCount() + 1), address));
    devices.add(device.get());
    return device.get();
  }

  // `n` tags of the mix on consecutive registers from register 0.
  void addTags(PlcDevice* device, int n) {
    std::uint32_t address = 0;
    for (int i = 0; i < n; ++i) {
      const TagKind& kind = tagMix()[i % tagMix().size()];
      const std::string name = device->name + ".T" + std::to_string(i);
      tags.emplace_back(new PlcTag(name, 3, kind.vt, "", static_cast<std::uint16_t>(address),
                                   kind.vt == VT_BOOL ? static_cast<std::uint16_t>(i % 16) : 0, kind.count,
                                   device, queues));
      address += registerSpan(*tags.back());
    }
  }

  // `n` VT_I2 tags from register 0, each `spacing` registers after the one before.
  void addSpacedTags(PlcDevice* device, int n, std::uint16_t spacing) {
    for (int i = 0; i < n; ++i) {
      const std::string name = device->name + ".S" + std::to_string(i);
      tags.emplace_back(new PlcTag(name, 3, VT_I2, "", static_cast<std::uint16_t>(i * spacing), 0, 0, device, queues));
    }
  }

  SOCmnPointer<SODaSGroup> activateAll(std::uint32_t rate) {
    SOCmnPointer<SODaSGroup> group = server->addGroup("all", rate);
    for (const auto& tag : tags) group->addItem(SOCmnPointer<SODaSTag>::share(tag.get()), true);
    return group;
  }

  // Whether every tag has had its first value from its PLC.
  bool allHaveValues() const {
    for (const auto& tag : tags)
      if (tag->getCache()->isWaitingForInitialData()) return false;
    return true;
  }

  void start(TickClock clock = steadyTickCount) {
    thread = std::make_unique<PollingService>(devices, *queues, sink, std::move(clock));
    thread->start();
  }
};

// The times at which a simulated PLC received read requests, from its observer.
class ReadTimes {
 public:
  void watch(plcsim::Simulator& sim) {
    sim.setObserver([this](const plcsim::LoggedMessage& m) {
      if (m.request.kind != plcsim::MessageKind::Read) return;
      std::lock_guard lock(mutex_);
      if (recording_) times_.push_back(Clock::now());
    });
  }
  void start() {
    std::lock_guard lock(mutex_);
    times_.clear();
    recording_ = true;
  }
  // The periods between consecutive reads since start(), in ms.
  std::vector<double> periods() {
    std::lock_guard lock(mutex_);
    recording_ = false;
    std::vector<double> out;
    for (std::size_t i = 1; i < times_.size(); ++i)
      out.push_back(std::chrono::duration<double, std::milli>(times_[i] - times_[i - 1]).count());
    return out;
  }

 private:
  std::mutex mutex_;
  bool recording_ = false;
  std::vector<Clock::time_point> times_;
};

// Waits until `done` holds, looking every 20 ms, for at most timeoutMs.
template <class F>
bool waitFor(F done, int timeoutMs) {
  for (int waited = 0; waited < timeoutMs; waited += 20) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return done();
}

using BareClient = zentarc::bench::BareGeClient;

inline double percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t i = std::min(values.size() - 1, static_cast<std::size_t>(p * (values.size() - 1) + 0.5));
  return values[i];
}

}  // namespace zentarc::bench
