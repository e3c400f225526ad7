#include "server/shell/ServerShell.h"

#include <malloc.h>

#include "server/config/ConfigurationLoader.h"
#include "server/plc/DevicePlantView.h"
#include "server/shell/ClientShares.h"
#include "server/shell/ConfigDiscovery.h"
#include "server/shell/MqttSetup.h"
#include "server/shell/SecuritySetup.h"
#include "server/shell/ServerIdentity.h"
#include "server/toolkit/SOCmnEvent.h"
#include "server/toolkit/SOCmnException.h"
#include "server/toolkit/SOCmnTrace.h"

namespace zentarc::shell {

ServerShell::ServerShell(ShellOptions options, ShellUi& ui, ShellLog& log)
    : options_(std::move(options)), ui_(ui), log_(log), store_(options_.settingsPath) {
  if (options_.commandLine.endpoint) {
    endpoint_ = *options_.commandLine.endpoint;
  } else {
    const auto fromStore = store_.read(settings::kProductKey, settings::kEndpointValue);
    endpoint_ = fromStore && !fromStore->empty() ? *fromStore : zentarc::ua::kDefaultEndpointUrl;
  }
}

ServerShell::~ServerShell() {
  // A run cut short by an exception still stops the thread before its objects go.
  if (polling_) polling_->stop();
}

void ServerShell::setUpRegistration() {
  entry_ = options_.entry ? options_.entry : getSODaSEntry();
  creator_ = SOCmnPointer<ServerCreator>(SOCmnNew<ServerCreator>(std::shared_ptr<ServerQueues>()));
  entry_->setCreator(creator_);
  entry_->initialize(1, kClassId, nullptr, 0);
  entry_->setSecurityParameters(1, 3, 1, 3);
  entry_->setRegisterInfo(kProgId, kVersionIndependentProgId, kDescription,
                          options_.executablePath.empty() ? nullptr : options_.executablePath.c_str());
  entry_->setVendorInfo(std::string(kDescription) + " - " + kVendorLine);
  entry_->setVersionInfo(kVersionMajor, kVersionMinor, kVersionBuild);
  entry_->setSupportedOPCVersions(kSupportedOpcVersions);
  entry_->setMinUpdateRate(kMinUpdateRate);
  entry_->setEndpointUrl(endpoint_);
  registrar_ = std::make_shared<SettingsRegistrar>(store_);
  std::shared_ptr<SettingsRegistrar> registrar = registrar_;
  entry_->setRegistrar(
      [registrar](SOSrvRegistrarAction action, const SOSrvRegistrationInfo& info) { return (*registrar)(action, info); });
}

int ServerShell::registration() {
  const bool reg = options_.commandLine.action == Switch::RegServer;
  if (reg) {
    entry_->registerServer();
    entry_->registerCategories();
  } else {
    entry_->unregisterServer();
    entry_->unregisterCategories();
  }
  // Each call's result is not looked at; the record in the store tells the outcome.
  if (!registrar_->error().empty()) {
    log_.line(LogPriority::Error,
              std::string(reg ? "registration failed: " : "unregistration failed: ") + registrar_->error());
    return 1;
  }
  log_.line(reg ? "registration record written to " + store_.path() + " [" + registrationKey(kClassId) + "]"
                : "registration record removed from " + store_.path());
  return 0;
}

void ServerShell::loadConfiguration() {
  SOCmnPointer<SODaSNameSpaceRoot> root = entry_->getNameSpaceRoot();
  SOCmnString* delimiter = nullptr;
  SOCmnString* second = nullptr;
  root->getTreeDelimiter(delimiter, second);
  delimiter->assign(".");
  second->assign("");
  const std::optional<std::string> path =
      findConfiguration(options_.executablePath, options_.commandLine.configFile, store_, ui_.prompter());
  // Nothing usable to serve: the run ends, and whoever started it (systemd, a script) must
  // see that it failed.
  configurationUnusable_ = !path || LoadConfiguration(*path, *root, *devices_, queues_, ui_.prompter()) == 0;
}

bool ServerShell::startUp() {
  if (!devices_) devices_ = std::make_unique<DeviceList>();
  made_.deviceList = true;
  if (!queues_) queues_ = std::make_shared<ServerQueues>();
  made_.queues = true;
  creator_->setQueues(queues_);
  loadConfiguration();
  ui_.attach(devices_.get(), &queues_->queueLock);
  serviceStatus_ = std::make_unique<ServiceStatus>(ui_.statusSink(),
                                                   [this](const std::string& text) { notifier_.status(text); });
  serviceStatus_->setPlcCount(devices_->getCount());
  // One worker per PLC, each with its own link.
  polling_ = std::make_unique<PollingService>(*devices_, *queues_, *serviceStatus_);
  made_.link = true;
  polling_->start();
  made_.pollingThread = true;

  zentarc::ua::UaServingBackend::Options serving;
  serving.endpointUrl = endpoint_;
  serving.shutdownGrace = options_.shutdownGrace;
  if (!setUpSecurity(serving.security)) return false;
  std::vector<std::string> shareNotices;
  applyClientShares(store_, serving.limits, serving.serviceLimits, shareNotices);
  for (const auto& n : shareNotices) log_.line(LogPriority::Warning, n);
  serving.plant = std::make_shared<DevicePlantView>(*devices_, &ui_.catalogue());
  if (!setUpMqtt(serving.plant)) return false;
  if (mqtt_) serving.broker = mqtt_->view();
  backend_ = std::make_shared<zentarc::ua::UaServingBackend>(serving);
  entry_->setServingBackend(backend_);
  made_.serving = entry_->start();
  return made_.serving;
}

bool ServerShell::setUpSecurity(zentarc::ua::ServerSecurity& security) {
  std::vector<std::string> notices;
  const SecuritySettings settings = resolveSecurity(options_.commandLine, store_, notices);
  for (const auto& n : notices) log_.line(LogPriority::Warning, n);
  std::vector<std::string> warnings;
  if (!buildServerSecurity(settings, zentarc::ua::ServerIdentity{}.applicationUri, security, securityError_, warnings)) {
    securityError_ = "no certificate for the secure policies: " + securityError_;
    return false;
  }
  for (const auto& w : warnings) log_.line(LogPriority::Warning, w);
  security.log = [this](const std::string& line) { log_.line(line); };
  if (security.pki) log_.line("certificates in " + security.pki->root().string());
  return true;
}

bool ServerShell::setUpMqtt(std::shared_ptr<const PlantView> plant) {
  std::vector<std::string> notices;
  const auto options = resolveMqtt(options_.commandLine, store_, notices, mqttError_);
  for (const auto& n : notices) log_.line(LogPriority::Warning, n);
  if (!options) return mqttError_.empty();
  auto log = [this](mqtt::LogLevel level, const std::string& text) {
    log_.line(level == mqtt::LogLevel::Error     ? LogPriority::Error
              : level == mqtt::LogLevel::Warning ? LogPriority::Warning
              : level == mqtt::LogLevel::Notice  ? LogPriority::Notice
                                                 : LogPriority::Info,
              text);
  };
  mqtt_ = std::make_unique<mqtt::MqttPublisher>(*options, entry_->getNameSpaceRoot()->getTags(), std::move(plant),
                                                entry_->getCreator(), log);
  if (!mqtt_->start(mqttError_)) {
    mqtt_.reset();
    return false;
  }
  ui_.attachBroker(mqtt_->view());
  return true;
}

int ServerShell::run() {
  for (const std::string& notice : options_.commandLine.notices) log_.line(LogPriority::Warning, notice);
  setUpRegistration();
  const Switch action = options_.commandLine.action;
  if (action == Switch::RegServer || action == Switch::UnregServer) {
    const int code = registration();
    ui_.destroyWindow();
    shutDown();
    return code;
  }

  handler_ = SOCmnPointer<ServerEventHandler>(
      SOCmnNew<ServerEventHandler>(action == Switch::Embedding, [this] { ui_.postClose(); }));
  entry_->setEventHandler(handler_);
  made_.eventHandler = true;

  int exitCode = 0;
  if (startUp()) {
    // Loading a large configuration and building the address space leave megabytes of
    // freed parse and build buffers between the objects that stay; give those pages back.
    ::malloc_trim(0);
    log_.line(LogPriority::Notice, "serving OPC UA on " + endpoint_);
    notifier_.ready(serviceStatus_->text());
    watchLoops();
    ui_.showMinimized();
    exitCode = ui_.exec();
    notifier_.stopping();
    stopWatchingLoops();
    if (configurationUnusable_ && exitCode == 0) {
      // What ends the run is an error, so that `journalctl -p err` shows it.
      log_.line(LogPriority::Error, "the server ends: no configuration could be loaded, so there is no PLC to serve");
      exitCode = 1;
    }
  } else {
    SOCmnTrace* trace = getSOCmnTrace();
    if (trace->getLevelMask(SOCMNTRACE_L_ERR) & kStartTraceMask)
      trace->trace(SOCMNTRACE_L_ERR, kStartTraceMask, kStartTraceId, kStartTraceText);
    const std::string why = !securityError_.empty() ? securityError_
                            : !mqttError_.empty()   ? "MQTT: " + mqttError_
                            : backend_              ? backend_->errorText()
                                                    : std::string();
    log_.line(LogPriority::Error, std::string(kStartTraceText) + " on " + endpoint_ + (why.empty() ? std::string() : ": " + why));
    ui_.destroyWindow();
    // Whoever started us must see that serving never began.
    exitCode = 1;
  }
  handler_->windowGone();
  shutDown();
  return exitCode;
}

void ServerShell::watchLoops() {
  for (std::size_t i = 0; i < polling_->workerCount(); ++i) {
    const PlcWorker& worker = polling_->worker(i);
    liveness_.watch("PLC worker of " + worker.device().name, worker.heartbeat(), options_.pollingStuckBound);
  }
  if (backend_->server()) liveness_.watch("OPC UA thread", backend_->server()->heartbeat(), kUaPassBound);
  watchdog_ = std::make_unique<ServiceWatchdog>(notifier_, liveness_, log_);
  watchdog_->start(notifier_.watchdogPeriod());
}

void ServerShell::stopWatchingLoops() {
  // Shut-down stops the loops one by one; systemd's stop timeout guards it from here.
  if (watchdog_) watchdog_->stop();
  liveness_.forgetAll();
}

void ServerShell::stopPolling() {
  if (!polling_) return;
  polling_->stop();
  if (const std::size_t unsent = polling_->unsentWrites(); unsent > 0)
    log_.line(LogPriority::Warning, std::to_string(unsent) + (unsent == 1 ? " write was" : " writes were") +
                                        " not sent to the PLCs, as the server stopped first; each client was "
                                        "told its write failed");
  polling_.reset();  // gives its stopEvent back
}

void ServerShell::shutDown() {
  // The PLCs first: nothing more is sent beyond the message in flight, and every write still
  // pending is answered while its client is connected, so that no client is left to guess
  // whether its write happened.
  stopPolling();
  // MQTT then publishes the answers to those writes, says offline and lets go of its tags.
  if (mqtt_) {
    mqtt_->stop();
    mqtt_.reset();
  }
  SOCmnEventPool* pool = getEventPool();
  SOCmnEvent* shutdownEvent = pool->popEvent();
  if (handler_) handler_->setShutdownEvent(shutdownEvent);
  // Every server object stands for a client session; any of them is told.
  if (entry_->getObjectRoot()->getServerCount() > 0) {
    entry_->shutdownAllClients(kShutdownReason);
    shutdownEvent->waitFor(kClientShutdownWaitMs);
  }
  if (handler_) handler_->setShutdownEvent(nullptr);
  pool->pushEvent(shutdownEvent);

  devices_.reset();
  queues_.reset();  // the three queues and queueLock

  entry_->terminate();
  entry_.reset();
  if (made_.eventHandler) log_.line(LogPriority::Notice, "shut down");
  creator_.reset();
  handler_.reset();
}

}  // namespace zentarc::shell
