#include "server/opc/PlcTag.h"

#include <mutex>

#include "server/opc/ServerQueues.h"
#include "server/opc/TagDevice.h"
#include "server/toolkit/SOCmnException.h"

namespace zentarc {

PlcTag::PlcTag(std::string_view name, std::uint32_t accessRights, VARTYPE nativeDatatype,
               std::string_view description, std::uint16_t address, std::uint16_t bit,
               std::uint16_t count, TagDevice* plcDevice, std::shared_ptr<ServerQueues> queues,
               configfile::MemoryArea memoryArea)
    : plc(SOCmnPointer<TagDevice>::share(plcDevice)),
      area(memoryArea),
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
      if (queues && plc) queue = &plc->queues.readQueue;
      break;
    case SODASREQUEST_OPERATION_WRITE:
      // A string longer than the tag's characters would be cut short: refused whole, and
      // nothing is written, as for an array of the wrong length.
      if (getNativeDatatype() == VT_BSTR && request->getWriteValue().vt() == VT_BSTR &&
          request->getWriteValue().bstrVal().size() > count) {
        request->complete(OPC_E_RANGE, true, OPC_QUALITY_BAD, false, true);
        return;
      }
      if (queues && plc) queue = &plc->queues.writeQueue;
      break;
    default:
      return;
  }
  if (!queue) {  // no polling side any more: answer rather than leave the client waiting
    request->complete(E_FAIL, true, OPC_QUALITY_OUT_OF_SERVICE, false, true);
    return;
  }
  std::unique_ptr<RequestRecord> record(SOCmnNew<RequestRecord>());
  record->request = SOCmnPointer<SODaSRequest>::share(request);
  record->tag = SOCmnPointer<PlcTag>::share(this);
  {
    std::lock_guard lock(queues->queueLock);
    if (queues->accepting && queues->queuedRequests < kMaxQueuedRequests) {
      request->markPending();
      ++queues->queuedRequests;
      record->countedIn = queues;
      queue->push_back(std::move(record));
      plc->queues.workQueued.notify_all();
      return;
    }
  }
  // Polling has stopped, or as many requests wait as may: this one is answered now rather
  // than held without end or bound.
  request->complete(E_FAIL, true, OPC_QUALITY_OUT_OF_SERVICE, false, true);
}

}  // namespace zentarc
