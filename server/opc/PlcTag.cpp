#include "server/opc/PlcTag.h"

#include <mutex>

#include "server/opc/ServerQueues.h"
#include "server/plc/PlcDevice.h"
#include "server/toolkit/SOCmnException.h"

namespace zentarc {

PlcTag::PlcTag(std::string_view name, std::uint32_t accessRights, VARTYPE nativeDatatype,
               std::string_view description, std::uint16_t address, std::uint16_t bit,
               std::uint16_t count, PlcDevice* plcDevice, std::shared_ptr<ServerQueues> queues)
    : plc(SOCmnPointer<PlcDevice>::share(plcDevice)),
      address(address),
      bit(bit),
      count(count),
      queues_(std::move(queues)) {
  setName(name);
  setAccessRights(accessRights);
  setDeviceIOMode(SODASTAG_DEVICEIO_QUEUE);
  setNativeDatatype(nativeDatatype);
  {
    SOCmnPointer<SODaSCache> cache = getCache();
    cache->setQuality(OPC_QUALITY_GOOD);
    // Strings and arrays need their configured length, which the conversions rely on.
    if ((nativeDatatype & VT_ARRAY) != 0 || nativeDatatype == VT_BSTR)
      cache->setInitialValue(SOCmnVariant::zeroOf(nativeDatatype, count));
  }
  SOCmnPointer<SODaSProperty> property(SOCmnNew<SODaSProperty>(SODAS_PROPERTY_ITEM_DESCRIPTION));
  property->setConstantValue(SOCmnVariant::fromUtf8(description));
  addProperty(std::move(property));
}

PlcTag::~PlcTag() {
  // Frees a large string or array now even if someone still holds the cache.
  getCache()->setInitialValue(SOCmnVariant());
}

std::uint32_t PlcTag::smallestActiveRate() const {
  std::uint32_t rate = 0;
  for (const ActiveItem& a : activeItems)
    if (rate == 0 || a.updateRate < rate) rate = a.updateRate;
  return rate;
}

void PlcTag::handleRequest(SODaSRequest* request) {
  const std::shared_ptr<ServerQueues> queues = queues_.lock();
  std::vector<std::unique_ptr<RequestRecord>>* queue = nullptr;
  switch (request->getOperation()) {
    case SODASREQUEST_OPERATION_READ:
      if (!request->isDeviceRead()) {
        request->complete(S_OK, false, OPC_QUALITY_UNCERTAIN, false, true);
        return;
      }
      if (queues) queue = &queues->readQueue;
      break;
    case SODASREQUEST_OPERATION_WRITE:
      if (queues) queue = &queues->writeQueue;
      break;
    default:
      return;
  }
  if (!queue) {  // no polling side any more: answer rather than leave the client waiting
    request->complete(E_FAIL, true, OPC_QUALITY_OUT_OF_SERVICE, false, true);
    return;
  }
  request->markPending();
  std::unique_ptr<RequestRecord> record(SOCmnNew<RequestRecord>());
  record->request = SOCmnPointer<SODaSRequest>::share(request);
  record->tag = SOCmnPointer<PlcTag>::share(this);
  std::lock_guard lock(queues->queueLock);
  queue->push_back(std::move(record));
  queues->workQueued.notify_all();
}

}  // namespace zentarc
