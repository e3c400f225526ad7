#pragma once
// The toolkit's entry: registration data, the creator, the event handler, the namespace and
// object roots, and the serving backend. getSODaSEntry() gives the process-wide entry;
// tests may construct entries of their own.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "server/toolkit/SOCmnObject.h"
#include "server/toolkit/SOCmnResult.h"
#include "server/toolkit/SODaSCreator.h"
#include "server/toolkit/SODaSNameSpaceRoot.h"
#include "server/toolkit/SODaSServer.h"
#include "server/toolkit/SOSrvEventHandler.h"
#include "server/toolkit/SOSrvObjectRoot.h"
#include "server/toolkit/SOSrvServingBackend.h"

// Everything a registration record holds.
struct SOSrvRegistrationInfo {
  std::string classId;
  std::string progId;
  std::string versionIndependentProgId;
  std::string description;
  std::string executablePath;
  std::string endpointUrl;
  std::string vendorInfo;
  std::uint16_t majorVersion = 0;
  std::uint16_t minorVersion = 0;
  std::uint16_t buildNumber = 0;
};

enum class SOSrvRegistrarAction { RegisterServer, RegisterCategories, UnregisterServer, UnregisterCategories };

// Writes or removes the registration record (the shell installs one on the settings store).
using SOSrvRegistrar = std::function<HRESULT(SOSrvRegistrarAction, const SOSrvRegistrationInfo&)>;

class SODaSEntry : public SOCmnObject {
 public:
  SODaSEntry();

  void setCreator(SOCmnPointer<SODaSCreator> creator);
  SOCmnPointer<SODaSCreator> getCreator() const;

  // Stored for the serving layer; true unless already initialised with another class id.
  bool initialize(std::uint32_t applicationType, std::string_view classId, void* moduleInstance,
                  std::uint32_t coInit);
  // The setting call (the server passes 1, 3, 1, 3); stored, only the serving layer reads it.
  void setSecurityParameters(std::uint32_t authnLevel, std::uint32_t impLevel,
                             std::uint32_t cbAuthnLevel, std::uint32_t cbImpLevel);
  // executablePath nullptr: this process's executable.
  bool setRegisterInfo(std::string_view progId, std::string_view versionIndependentProgId,
                       std::string_view description, const char* executablePath);
  void setVendorInfo(std::string_view vendor);
  void setVersionInfo(std::uint16_t major, std::uint16_t minor, std::uint16_t build);
  void setSupportedOPCVersions(std::uint8_t versions);  // the byte (3)
  void setMinUpdateRate(std::uint32_t milliseconds);      // the 32-bit value (50)
  void setEndpointUrl(std::string_view url);

  SOSrvRegistrationInfo getRegistrationInfo() const;
  std::uint8_t getSupportedOPCVersions() const;
  std::uint32_t getMinUpdateRate() const;
  std::uint32_t getApplicationType() const;

  void setEventHandler(SOCmnPointer<SOSrvEventHandler> handler);
  SOCmnPointer<SOSrvEventHandler> getEventHandler() const;

  // Registration goes through the installed registrar; E_FAIL without one.
  void setRegistrar(SOSrvRegistrar registrar);
  HRESULT registerServer();
  HRESULT registerCategories();
  HRESULT unregisterServer();
  HRESULT unregisterCategories();

  void setServingBackend(std::shared_ptr<SOSrvServingBackend> backend);
  // True when serving began (false without a backend, or when the backend refuses).
  bool start();
  bool isStarted() const;
  // Forwards to the backend; S_OK, or S_FALSE when nothing serves.
  HRESULT shutdownAllClients(std::string_view reason);
  // Stops the backend, removes every session's groups, the namespace's tags and the
  // installed objects. Idempotent.
  void terminate();

  SOCmnPointer<SODaSNameSpaceRoot> getNameSpaceRoot(std::uint32_t kind = 0) const;
  SOCmnPointer<SOSrvObjectRoot> getObjectRoot() const;

  // For the backend: a new server object for a client session, counted under the object
  // root; and its release, after which the event handler hears onReleasedOPCObject and,
  // for the last one, onLastOPCObjectReleased.
  SOCmnPointer<SODaSServer> createServerObject(std::string_view clientName = {});
  void releaseServerObject(SODaSServer* server);

 protected:
  ~SODaSEntry() override;

 private:
  HRESULT callRegistrar(SOSrvRegistrarAction action);

  mutable std::mutex mutex_;
  SOCmnPointer<SODaSCreator> creator_;
  SOCmnPointer<SOSrvEventHandler> eventHandler_;
  SOCmnPointer<SODaSNameSpaceRoot> nameSpaceRoot_;
  SOCmnPointer<SOSrvObjectRoot> objectRoot_;
  std::shared_ptr<SOSrvServingBackend> backend_;
  SOSrvRegistrar registrar_;
  SOSrvRegistrationInfo info_;
  std::uint32_t applicationType_ = 0;
  bool initialized_ = false;
  std::uint32_t security_[4] = {0, 0, 0, 0};
  std::uint8_t opcVersions_ = 0;
  std::uint32_t minUpdateRate_ = 0;
  bool started_ = false;
  bool terminated_ = false;
};

// The process-wide entry, with an added reference the caller releases (the pointer does).
SOCmnPointer<SODaSEntry> getSODaSEntry();
