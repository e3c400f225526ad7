#include "server/toolkit/SODaSTag.h"

#include "server/toolkit/SOCmnException.h"

SODaSTag::SODaSTag() : cache_(SOCmnNew<SODaSCache>()) {}

SODaSTag::~SODaSTag() = default;

void SODaSTag::setName(std::string_view name) { name_.assign(name); }

void SODaSTag::setNativeDatatype(VARTYPE vt) {
  nativeDatatype_ = vt;
  cache_->setInitialValue(SOCmnVariant::zeroOf(vt));
}

SOCmnPointer<SODaSCache> SODaSTag::getCache() const { return cache_; }

void SODaSTag::addProperty(SOCmnPointer<SODaSProperty> property) {
  if (!property) return;
  std::lock_guard g(propertyMutex_);
  for (auto& p : properties_) {
    if (p->getPropertyId() == property->getPropertyId()) {
      p = std::move(property);
      return;
    }
  }
  properties_.push_back(std::move(property));
}

SOCmnPointer<SODaSProperty> SODaSTag::getProperty(std::uint32_t propertyId) const {
  std::lock_guard g(propertyMutex_);
  for (const auto& p : properties_)
    if (p->getPropertyId() == propertyId) return p;
  return {};
}

std::string SODaSTag::getDescription() const {
  const auto p = getProperty(SODAS_PROPERTY_ITEM_DESCRIPTION);
  return p ? p->getConstantValue().toUtf8() : std::string();
}

SOCmnPointer<SODaSRequest> SODaSTag::submitRead(std::uint8_t type,
                                                SODaSRequest::CompletionCallback callback) {
  SOCmnPointer<SODaSRequest> request(SOCmnNew<SODaSRequest>(
      SODASREQUEST_OPERATION_READ, type, SOCmnPointer<SODaSTag>::share(this)));
  request->setCompletionCallback(std::move(callback));
  return submit(std::move(request), OPC_READABLE);
}

SOCmnPointer<SODaSRequest> SODaSTag::submitWrite(const SOCmnVariant& value,
                                                 SODaSRequest::CompletionCallback callback,
                                                 std::uint8_t type) {
  SOCmnPointer<SODaSRequest> request(SOCmnNew<SODaSRequest>(
      SODASREQUEST_OPERATION_WRITE, type, SOCmnPointer<SODaSTag>::share(this), value));
  request->setCompletionCallback(std::move(callback));
  return submit(std::move(request), OPC_WRITEABLE);
}

SOCmnPointer<SODaSRequest> SODaSTag::submit(SOCmnPointer<SODaSRequest> request, std::uint32_t needed) {
  if ((accessRights_ & needed) == 0) {
    request->complete(OPC_E_BADRIGHTS);
    return request;
  }
  handleRequest(request.get());
  return request;
}

void SODaSTag::handleRequest(SODaSRequest* request) {
  switch (request->getOperation()) {
    case SODASREQUEST_OPERATION_READ:
      request->complete(S_OK);
      break;
    case SODASREQUEST_OPERATION_WRITE:
      request->complete(S_OK, false, OPC_QUALITY_UNCERTAIN, true);
      break;
    default:
      request->complete(E_INVALIDARG);
      break;
  }
}
