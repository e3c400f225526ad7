#pragma once
// A namespace leaf: one variable a client can read, write and subscribe to. Name, access
// rights, datatype and properties are set while the namespace is built (before serving)
// and only read afterwards; the cache is thread-safe.
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "server/toolkit/SOCmnObject.h"
#include "server/toolkit/SODaSCache.h"
#include "server/toolkit/SODaSProperty.h"
#include "server/toolkit/SODaSRequest.h"

inline constexpr std::uint32_t OPC_READABLE = 1;
inline constexpr std::uint32_t OPC_WRITEABLE = 2;

// Device IO mode 1: every read from the device and every write goes through handleRequest.
inline constexpr std::uint32_t SODASTAG_DEVICEIO_QUEUE = 1;

class SODaSTag : public SOCmnObject {
 public:
  SODaSTag();

  // Before the tag becomes a namespace leaf; the name is fixed from then on.
  void setName(std::string_view name);
  const std::string& getName() const { return name_; }
  void setAccessRights(std::uint32_t rights) { accessRights_ = rights; }
  std::uint32_t getAccessRights() const { return accessRights_; }
  void setDeviceIOMode(std::uint32_t mode) { deviceIOMode_ = mode; }
  std::uint32_t getDeviceIOMode() const { return deviceIOMode_; }
  // Also puts the type's zero value into the cache.
  void setNativeDatatype(VARTYPE vt);
  VARTYPE getNativeDatatype() const { return nativeDatatype_; }

  SOCmnPointer<SODaSCache> getCache() const;  // adds a reference
  // The cache without a new reference, for the polling side's hot path: the tag keeps its
  // cache for its whole life.
  SODaSCache& cache() const { return *cache_; }

  // How often (ms) the device side refreshes the cache by itself, 0 while nothing does. A
  // sampler whose interval the device already keeps need not sample on a clock of its own.
  void setDeviceRefreshRate(std::uint32_t ms) { cache_->setDeviceRefreshRate(ms); }
  std::uint32_t getDeviceRefreshRate() const { return cache_->getDeviceRefreshRate(); }

  void addProperty(SOCmnPointer<SODaSProperty> property);
  SOCmnPointer<SODaSProperty> getProperty(std::uint32_t propertyId) const;
  // Property 101's text as UTF-8 (empty when there is none).
  std::string getDescription() const;

  // Issue a request on this tag: it is created, passed to handleRequest and returned. A
  // request the access rights forbid completes at once with OPC_E_BADRIGHTS and never
  // reaches handleRequest. `callback` runs once when it completes (maybe before return).
  SOCmnPointer<SODaSRequest> submitRead(std::uint8_t type = SODASREQUEST_TYPE_ASYNC_DEVICE,
                                        SODaSRequest::CompletionCallback callback = {});
  SOCmnPointer<SODaSRequest> submitWrite(const SOCmnVariant& value,
                                         SODaSRequest::CompletionCallback callback = {},
                                         std::uint8_t type = SODASREQUEST_TYPE_ASYNC_WRITE);

  // Called for each request meant for this tag. The base completes reads at once from the
  // cache and stores writes in the cache.
  virtual void handleRequest(SODaSRequest* request);

 protected:
  ~SODaSTag() override;

 private:
  SOCmnPointer<SODaSRequest> submit(SOCmnPointer<SODaSRequest> request, std::uint32_t needed);

  std::string name_;
  std::uint32_t accessRights_ = 0;
  std::uint32_t deviceIOMode_ = 0;
  VARTYPE nativeDatatype_ = VT_EMPTY;
  SOCmnPointer<SODaSCache> cache_;
  mutable std::mutex propertyMutex_;
  std::vector<SOCmnPointer<SODaSProperty>> properties_;
};
