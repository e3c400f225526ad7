#pragma once
// The toolkit entry's serving backend for OPC UA: start() builds the services on the entry's
// namespace and serves them on the endpoint URL; every UA session is one toolkit server
// object, so the entry counts sessions and fires onLastOPCObjectReleased when the last goes.
#include <chrono>
#include <memory>
#include <string>
#include <unordered_map>

#include "server/toolkit/SODaSEntry.h"
#include "server/toolkit/SOSrvServingBackend.h"
#include "server/toolkit/ua/UaServer.h"
#include "server/toolkit/ua/services/UaServices.h"

namespace zentarc::ua {

inline constexpr const char* kDefaultEndpointUrl = "opc.tcp://0.0.0.0:4840";

class UaServingBackend : public SOSrvServingBackend {
 public:
  struct Options {
    std::string endpointUrl;  // empty: the entry's registration record, else the default
    UaServerLimits limits;
    ServiceLimits serviceLimits;
    std::chrono::milliseconds shutdownGrace{2000};  // time clients get to see the notice
    ServerSecurity security;  // secure policies and anonymous reading unless told otherwise
    // The PLCs for the folders and diagnostics (null: tags only).
    std::shared_ptr<const PlantView> plant;
    // The MQTT side's figures (null: no MQTT).
    std::shared_ptr<const BrokerView> broker;
  };

  UaServingBackend();
  explicit UaServingBackend(Options options);
  ~UaServingBackend() override;

  bool start(SODaSEntry& entry) override;
  void shutdownAllClients(std::string_view reason) override;
  void terminate() override;

  // Why start() failed, in words.
  const std::string& errorText() const { return error_; }
  // While serving: the server (its port, counts) and the services.
  UaServer* server() { return server_.get(); }
  UaServices* services() { return services_.get(); }

 private:
  Options options_;
  SOCmnPointer<SODaSEntry> entry_;
  std::unique_ptr<UaServer> server_;
  std::unique_ptr<UaServices> services_;
  std::string error_;
  // Session id -> its server object; touched on the IO thread only.
  std::unordered_map<NodeId, SOCmnPointer<SODaSServer>, NodeIdHash> serverObjects_;
};

}  // namespace zentarc::ua
