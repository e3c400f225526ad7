#pragma once
// The program's entry and lifecycle: registration data for the toolkit, the command line's
// switch, the event handler, start-up (device list, queues and queueLock, configuration,
// polling with one worker and link per PLC, serving), the message loop, and shut-down in a
// fixed order.
#include <memory>
#include <string>

#include "server/mqtt/MqttPublisher.h"
#include "server/opc/ServerCreator.h"
#include "server/opc/ServerQueues.h"
#include "server/plc/DeviceList.h"
#include "server/plc/PollingService.h"
#include "server/shell/CommandLine.h"
#include "server/shell/ServerEventHandler.h"
#include "server/shell/ServiceNotifier.h"
#include "server/shell/ServiceStatus.h"
#include "server/shell/ServiceWatchdog.h"
#include "server/shell/SettingsRegistrar.h"
#include "server/shell/ShellLog.h"
#include "server/shell/ShellUi.h"
#include "server/toolkit/LivenessWatch.h"
#include "server/toolkit/SODaSEntry.h"
#include "server/toolkit/ua/backend/UaServingBackend.h"

namespace zentarc::shell {

// The longest a serving loop may go without a sign of life before the watchdog counts it as
// stuck. A PLC worker beats at every pass and every message: it waits at most about 1 s for
// an answer (3 s for a connect and its handshake) and 1 s for its queues to settle, so a
// worker waiting on a slow PLC is alive. The OPC UA loop waits at most 10 ms for input and
// then serves what came.
inline constexpr std::chrono::milliseconds kPollingPassBound{10000};
inline constexpr std::chrono::milliseconds kUaPassBound{15000};

struct ShellOptions {
  CommandLine commandLine;
  std::string executablePath;  // where the configuration beside it is looked for
  std::string settingsPath = settings::SettingsStore::defaultPath();
  SOCmnPointer<SODaSEntry> entry;  // null: the process-wide entry
  // How long clients are given to notice the shutdown notice before their sessions close.
  std::chrono::milliseconds shutdownGrace{2000};
  // How long a PLC worker may be silent before the watchdog counts it as stuck.
  std::chrono::milliseconds pollingStuckBound = kPollingPassBound;
};

class ServerShell {
 public:
  ServerShell(ShellOptions options, ShellUi& ui, ShellLog& log);
  ~ServerShell();
  ServerShell(const ServerShell&) = delete;
  ServerShell& operator=(const ServerShell&) = delete;

  // The whole run; returns the exit code.
  int run();

  // What the run made, for those who check the order of things.
  struct Made {
    bool eventHandler = false;
    bool deviceList = false;
    bool link = false;    // the PLCs' links (one per worker)
    bool queues = false;  // queueLock (each PLC's queues are its device's)
    bool pollingThread = false;  // the PLC workers
    bool serving = false;
  };
  const Made& made() const { return made_; }
  const std::string& endpointUrl() const { return endpoint_; }
  // While running: the served state (tests look at it from the loop).
  DeviceList* devices() const { return devices_.get(); }
  ServerQueues* queues() const { return queues_.get(); }
  zentarc::ua::UaServingBackend* backend() const { return backend_.get(); }
  mqtt::MqttPublisher* mqtt() const { return mqtt_.get(); }
  SODaSEntry* entry() const { return entry_.get(); }
  const LivenessWatch& liveness() const { return liveness_; }
  ServiceWatchdog* watchdog() const { return watchdog_.get(); }

 private:
  void setUpRegistration();
  int registration();
  bool startUp();
  // The OPC UA security of the run; false (the start fails) when it cannot be had.
  bool setUpSecurity(zentarc::ua::ServerSecurity& security);
  // MQTT, when asked for; false (the start fails) when its options cannot be used.
  bool setUpMqtt(std::shared_ptr<const PlantView> plant);
  void loadConfiguration();
  void watchLoops();
  void stopWatchingLoops();
  void stopPolling();
  void shutDown();

  ShellOptions options_;
  ShellUi& ui_;
  ShellLog& log_;
  settings::SettingsStore store_;
  std::string endpoint_;
  std::string securityError_;  // why the security could not be set up
  std::string mqttError_;      // why MQTT could not be set up
  SOCmnPointer<SODaSEntry> entry_;
  SOCmnPointer<ServerCreator> creator_;
  SOCmnPointer<ServerEventHandler> handler_;
  std::shared_ptr<SettingsRegistrar> registrar_;
  std::unique_ptr<DeviceList> devices_;
  std::shared_ptr<ServerQueues> queues_;
  std::unique_ptr<PollingService> polling_;
  std::shared_ptr<zentarc::ua::UaServingBackend> backend_;
  std::unique_ptr<mqtt::MqttPublisher> mqtt_;
  ServiceNotifier notifier_;
  std::unique_ptr<ServiceStatus> serviceStatus_;  // between the PLC workers and the window
  LivenessWatch liveness_;
  std::unique_ptr<ServiceWatchdog> watchdog_;
  bool configurationUnusable_ = false;  // none found, or it could not be read or parsed
  Made made_;
};

}  // namespace zentarc::shell
