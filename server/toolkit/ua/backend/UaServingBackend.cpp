#include "server/toolkit/ua/backend/UaServingBackend.h"

#include "server/toolkit/SOCmnTrace.h"

namespace zentarc::ua {

UaServingBackend::UaServingBackend() : UaServingBackend(Options{}) {}
UaServingBackend::UaServingBackend(Options options) : options_(std::move(options)) {}

UaServingBackend::~UaServingBackend() { terminate(); }

bool UaServingBackend::start(SODaSEntry& entry) {
  if (server_) return true;
  entry_ = SOCmnPointer<SODaSEntry>::share(&entry);
  SOSrvRegistrationInfo info = entry.getRegistrationInfo();
  UaServerConfig config;
  config.endpointUrl = !options_.endpointUrl.empty() ? options_.endpointUrl
                       : !info.endpointUrl.empty()   ? info.endpointUrl
                                                     : kDefaultEndpointUrl;
  config.limits = options_.limits;
  config.security = options_.security;

  ServerIdentity identity;
  config.applicationUri = identity.applicationUri;
  config.productUri = identity.applicationUri;
  config.applicationName = "OPCZentarc";
  identity.buildInfo.productUri = identity.applicationUri;
  identity.buildInfo.productName = "OPCZentarc";
  identity.buildInfo.manufacturerName = info.vendorInfo;
  identity.buildInfo.softwareVersion = std::to_string(info.majorVersion) + "." +
                                       std::to_string(info.minorVersion) + "." +
                                       std::to_string(info.buildNumber);
  identity.buildInfo.buildNumber = std::to_string(info.buildNumber);
  identity.buildInfo.buildDate = DateTime::now();

  server_ = std::make_unique<UaServer>(config);
  UaServer* server = server_.get();
  UaServices::Options so;
  so.limits = options_.serviceLimits;
  so.identity = identity;
  so.plant = options_.plant;
  so.broker = options_.broker;
  so.sessionCount = [server] { return server->sessionCount(); };
  so.counters = server->counters();
  so.output = &server->outputBudget();
  so.serverObjects = [this](const Session& s) {
    auto it = serverObjects_.find(s.sessionId);
    return it != serverObjects_.end() ? it->second : SOCmnPointer<SODaSServer>();
  };
  SOCmnPointer<SODaSNameSpaceRoot> root = entry.getNameSpaceRoot();
  services_ = std::make_unique<UaServices>(*root, entry.getCreator(),
                                           [server](std::function<void()> fn) { server->post(std::move(fn)); },
                                           so);
  services_->registerWith(server->services());

  UaServerHooks hooks;
  hooks.sessionCreated = [this](Session& s) {
    serverObjects_[s.sessionId] = entry_->createServerObject(s.name);
  };
  hooks.sessionClosed = [this](Session& s, bool) {
    // The services drop the session's subscriptions (deactivating its items) first; then the
    // entry lets go of the server object and counts it.
    services_->sessionClosed(s);
    auto it = serverObjects_.find(s.sessionId);
    if (it == serverObjects_.end()) return;
    SOCmnPointer<SODaSServer> object = it->second;
    serverObjects_.erase(it);
    entry_->releaseServerObject(object.get());
  };
  hooks.shutdownStarted = [this](const std::string& reason, uint32_t seconds) {
    services_->shutdownStarted(reason, seconds);
  };
  hooks.connectionClosed = [this](uint64_t id) { services_->connectionClosed(id); };
  hooks.tick = [this] { services_->tick(); };
  server->setHooks(hooks);

  StatusCode st = server->start();
  if (!st.isGood()) {
    error_ = server->errorText();
    getSOCmnTrace()->trace(SOCMNTRACE_L_ERR, SOCMNTRACE_G_ALL, "UaServingBackend",
                           "OPC UA serving failed to start: " + error_);
    services_.reset();
    server_.reset();
    entry_ = SOCmnPointer<SODaSEntry>();
    return false;
  }
  return true;
}

void UaServingBackend::shutdownAllClients(std::string_view reason) {
  if (server_) server_->shutdownAllClients(std::string(reason), options_.shutdownGrace);
}

void UaServingBackend::terminate() {
  if (!server_) return;
  server_->stop();  // closes the remaining sessions through the hooks, then joins
  services_.reset();
  server_.reset();
  serverObjects_.clear();
  entry_ = SOCmnPointer<SODaSEntry>();
}

}  // namespace zentarc::ua
