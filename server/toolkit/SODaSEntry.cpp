#include "server/toolkit/SODaSEntry.h"

#include <filesystem>
#include <system_error>

#include "server/toolkit/SOCmnException.h"

namespace {

std::string ownExecutablePath() {
  std::error_code ec;
  const auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : p.string();
}

}  // namespace

SODaSEntry::SODaSEntry()
    : nameSpaceRoot_(SOCmnNew<SODaSNameSpaceRoot>()), objectRoot_(SOCmnNew<SOSrvObjectRoot>()) {}

SODaSEntry::~SODaSEntry() { terminate(); }

void SODaSEntry::setCreator(SOCmnPointer<SODaSCreator> creator) {
  std::lock_guard g(mutex_);
  creator_ = std::move(creator);
}

SOCmnPointer<SODaSCreator> SODaSEntry::getCreator() const {
  std::lock_guard g(mutex_);
  return creator_;
}

bool SODaSEntry::initialize(std::uint32_t applicationType, std::string_view classId,
                            void* /*moduleInstance*/, std::uint32_t /*coInit*/) {
  std::lock_guard g(mutex_);
  if (initialized_ && info_.classId != classId) return false;
  initialized_ = true;
  applicationType_ = applicationType;
  info_.classId.assign(classId);
  return true;
}

void SODaSEntry::setSecurityParameters(std::uint32_t authnLevel, std::uint32_t impLevel,
                                       std::uint32_t cbAuthnLevel, std::uint32_t cbImpLevel) {
  std::lock_guard g(mutex_);
  security_[0] = authnLevel;
  security_[1] = impLevel;
  security_[2] = cbAuthnLevel;
  security_[3] = cbImpLevel;
}

bool SODaSEntry::setRegisterInfo(std::string_view progId, std::string_view versionIndependentProgId,
                                 std::string_view description, const char* executablePath) {
  std::string exe = executablePath ? std::string(executablePath) : ownExecutablePath();
  std::lock_guard g(mutex_);
  info_.progId.assign(progId);
  info_.versionIndependentProgId.assign(versionIndependentProgId);
  info_.description.assign(description);
  info_.executablePath = std::move(exe);
  return true;
}

void SODaSEntry::setVendorInfo(std::string_view vendor) {
  std::lock_guard g(mutex_);
  info_.vendorInfo.assign(vendor);
}

void SODaSEntry::setVersionInfo(std::uint16_t major, std::uint16_t minor, std::uint16_t build) {
  std::lock_guard g(mutex_);
  info_.majorVersion = major;
  info_.minorVersion = minor;
  info_.buildNumber = build;
}

void SODaSEntry::setSupportedOPCVersions(std::uint8_t versions) {
  std::lock_guard g(mutex_);
  opcVersions_ = versions;
}

void SODaSEntry::setMinUpdateRate(std::uint32_t milliseconds) {
  std::lock_guard g(mutex_);
  minUpdateRate_ = milliseconds;
}

void SODaSEntry::setEndpointUrl(std::string_view url) {
  std::lock_guard g(mutex_);
  info_.endpointUrl.assign(url);
}

SOSrvRegistrationInfo SODaSEntry::getRegistrationInfo() const {
  std::lock_guard g(mutex_);
  return info_;
}

std::uint8_t SODaSEntry::getSupportedOPCVersions() const {
  std::lock_guard g(mutex_);
  return opcVersions_;
}

std::uint32_t SODaSEntry::getMinUpdateRate() const {
  std::lock_guard g(mutex_);
  return minUpdateRate_;
}

std::uint32_t SODaSEntry::getApplicationType() const {
  std::lock_guard g(mutex_);
  return applicationType_;
}

void SODaSEntry::setEventHandler(SOCmnPointer<SOSrvEventHandler> handler) {
  std::lock_guard g(mutex_);
  eventHandler_ = std::move(handler);
}

SOCmnPointer<SOSrvEventHandler> SODaSEntry::getEventHandler() const {
  std::lock_guard g(mutex_);
  return eventHandler_;
}

void SODaSEntry::setRegistrar(SOSrvRegistrar registrar) {
  std::lock_guard g(mutex_);
  registrar_ = std::move(registrar);
}

HRESULT SODaSEntry::callRegistrar(SOSrvRegistrarAction action) {
  SOSrvRegistrar registrar;
  SOSrvRegistrationInfo info;
  {
    // Copied under the lock and called without it: the registrar may take its time.
    std::lock_guard g(mutex_);
    registrar = registrar_;
    info = info_;
  }
  return registrar ? registrar(action, info) : E_FAIL;
}

HRESULT SODaSEntry::registerServer() { return callRegistrar(SOSrvRegistrarAction::RegisterServer); }

HRESULT SODaSEntry::registerCategories() {
  return callRegistrar(SOSrvRegistrarAction::RegisterCategories);
}

HRESULT SODaSEntry::unregisterServer() {
  return callRegistrar(SOSrvRegistrarAction::UnregisterServer);
}

HRESULT SODaSEntry::unregisterCategories() {
  return callRegistrar(SOSrvRegistrarAction::UnregisterCategories);
}

void SODaSEntry::setServingBackend(std::shared_ptr<SOSrvServingBackend> backend) {
  std::lock_guard g(mutex_);
  backend_ = std::move(backend);
}

bool SODaSEntry::start() {
  std::shared_ptr<SOSrvServingBackend> backend;
  {
    std::lock_guard g(mutex_);
    if (terminated_ || started_) return started_;
    backend = backend_;
  }
  // Called without the entry's lock: the backend calls back into the entry.
  const bool ok = backend && backend->start(*this);
  std::lock_guard g(mutex_);
  started_ = ok;
  return ok;
}

bool SODaSEntry::isStarted() const {
  std::lock_guard g(mutex_);
  return started_;
}

HRESULT SODaSEntry::shutdownAllClients(std::string_view reason) {
  std::shared_ptr<SOSrvServingBackend> backend;
  {
    std::lock_guard g(mutex_);
    if (!started_) return S_FALSE;
    backend = backend_;
  }
  if (!backend) return S_FALSE;
  backend->shutdownAllClients(reason);
  return S_OK;
}

void SODaSEntry::terminate() {
  std::shared_ptr<SOSrvServingBackend> backend;
  {
    std::lock_guard g(mutex_);
    if (terminated_) return;
    terminated_ = true;
    backend = std::move(backend_);
    started_ = false;
  }
  if (backend) backend->terminate();
  auto& servers = objectRoot_->getServerList();
  while (SOCmnPointer<SODaSServer> server = servers.removeHead()) server->removeAllGroups();
  nameSpaceRoot_->removeAll();
  SOCmnPointer<SODaSCreator> creator;
  SOCmnPointer<SOSrvEventHandler> handler;
  {
    std::lock_guard g(mutex_);
    creator = std::move(creator_);
    handler = std::move(eventHandler_);
    registrar_ = nullptr;
  }
}

SOCmnPointer<SODaSNameSpaceRoot> SODaSEntry::getNameSpaceRoot(std::uint32_t /*kind*/) const {
  return nameSpaceRoot_;
}

SOCmnPointer<SOSrvObjectRoot> SODaSEntry::getObjectRoot() const { return objectRoot_; }

SOCmnPointer<SODaSServer> SODaSEntry::createServerObject(std::string_view clientName) {
  SOCmnPointer<SODaSServer> server(SOCmnNew<SODaSServer>(getCreator()));
  server->setClientName(clientName);
  objectRoot_->getServerList().add(server);
  return server;
}

void SODaSEntry::releaseServerObject(SODaSServer* server) {
  if (!server) return;
  SOCmnPointer<SODaSServer> keep = SOCmnPointer<SODaSServer>::share(server);
  auto& servers = objectRoot_->getServerList();
  if (!servers.removeObject(server)) return;
  server->removeAllGroups();
  const bool last = servers.isEmpty();
  if (SOCmnPointer<SOSrvEventHandler> handler = getEventHandler()) {
    handler->onReleasedOPCObject();
    if (last) handler->onLastOPCObjectReleased();
  }
}

SOCmnPointer<SODaSEntry> getSODaSEntry() {
  // The process keeps one reference for its whole life, so the entry never goes away
  // between two users.
  static SODaSEntry* entry = SOCmnNew<SODaSEntry>();
  return SOCmnPointer<SODaSEntry>::share(entry);
}
