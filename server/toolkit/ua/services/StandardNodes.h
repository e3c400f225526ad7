#pragma once
// The standard part of the address space that generic clients read on connect: Root,
// Objects, Types and Views, the reference and data type trees, and the Server object with
// ServerStatus, NamespaceArray, ServerArray and ServerCapabilities.
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "server/toolkit/ua/ServicesSubscription.h"
#include "server/toolkit/ua/services/AddressSpace.h"
#include "server/toolkit/ua/services/ServiceLimits.h"

namespace zentarc::ua {

// What ServerStatus shows. Thread-safe: the shutdown notice may come from any thread.
class ServerStatusSource {
 public:
  ServerStatusSource(BuildInfo buildInfo, DateTime startTime);
  ServerStatusDataType get() const;  // CurrentTime is now
  ServerState state() const;
  void setShutdown(const std::string& reason, uint32_t secondsTillShutdown);

 private:
  mutable std::mutex mutex_;
  ServerStatusDataType status_;
};

struct ServerIdentity {
  std::string applicationUri = "urn:OPCZentarc";
  std::string namespaceUri = "urn:tarvelle:zentarc";  // namespace 1: the tags
  BuildInfo buildInfo;
};

// Adds every standard node to `space`. The status source must outlive the address space;
// `diagnostics` gives ServerDiagnosticsSummary and its variables on each read (none: the
// summary is left out and EnabledFlag is false).
void addStandardNodes(AddressSpace& space, const ServerIdentity& identity,
                      const ServiceLimits& limits, std::shared_ptr<ServerStatusSource> status,
                      std::function<ServerDiagnosticsSummaryDataType()> diagnostics = {});

}  // namespace zentarc::ua
