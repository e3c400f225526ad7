#include "server/mqtt/StatusNames.h"

namespace zentarc::mqtt {

std::string_view statusName(std::uint16_t quality) {
  switch (quality & 0xFF) {
    case OPC_QUALITY_GOOD: return kGood;
    case OPC_QUALITY_COMM_FAILURE: return "BadCommunicationError";
    case OPC_QUALITY_DEVICE_FAILURE: return "BadDeviceFailure";
    case OPC_QUALITY_OUT_OF_SERVICE: return "BadOutOfService";
    case OPC_QUALITY_CONFIG_ERROR: return "BadOutOfRange";  // the PLC refuses the tag's address
    case OPC_QUALITY_WAITING_FOR_INITIAL_DATA: return "BadWaitingForInitialData";
    default: break;
  }
  if ((quality & OPC_QUALITY_MASK) == OPC_QUALITY_GOOD) return kGood;
  if ((quality & OPC_QUALITY_MASK) == OPC_QUALITY_UNCERTAIN) return "Uncertain";
  return "Bad";
}

std::string_view statusName(const SODaSCacheSnapshot& snapshot) {
  const std::string_view s = statusName(snapshot.quality);
  if (s == kGood && snapshot.waitingForInitialData) return "BadWaitingForInitialData";
  return s;
}

std::string_view writeStatusName(const SODaSRequest& request) {
  const HRESULT r = request.getResult();
  if (SUCCEEDED(r)) return kGood;
  if (r == OPC_E_BADRIGHTS) return "BadNotWritable";
  if (r == OPC_E_BADTYPE) return "BadTypeMismatch";
  if (r == OPC_E_RANGE) return "BadOutOfRange";  // a string longer than its tag, as over OPC UA
  if (request.isWriteQualityValid()) {
    const std::string_view s = statusName(request.getWriteQuality());
    if (isBad(s)) return s;
  }
  return "Bad";
}

}  // namespace zentarc::mqtt
