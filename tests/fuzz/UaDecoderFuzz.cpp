// Fuzz target for everything that reads OPC UA bytes from outside: the first byte picks the
// service messages (requests the server decodes, responses the client decodes) or a whole
// server connection fed with raw bytes (Hello, chunks, secure channel).
#include <cstddef>
#include <cstdint>

#include "server/toolkit/ua/ServerConnection.h"
#include "server/toolkit/ua/ServicesAttribute.h"
#include "server/toolkit/ua/ServicesDiscovery.h"
#include "server/toolkit/ua/ServicesMonitoredItem.h"
#include "server/toolkit/ua/ServicesSession.h"
#include "server/toolkit/ua/ServicesSubscription.h"
#include "server/toolkit/ua/ServicesView.h"

using namespace zentarc::ua;

namespace {

template <typename T>
void tryDecode(Decoder& d) {
  T value;
  d.read(value);
  // Whatever decoded must encode again.
  (void)encode(value);
}

void decodeMessage(const uint8_t* data, size_t size) {
  try {
    Decoder d(data, size);  // the server's own limits
    NodeId type;
    d.read(type);
    switch (type.isNumeric() ? type.numericId() : 0) {
#define CASE(T) case T::kEncodingId: tryDecode<T>(d); break;
      CASE(OpenSecureChannelRequest) CASE(OpenSecureChannelResponse)
      CASE(CreateSessionRequest) CASE(CreateSessionResponse)
      CASE(ActivateSessionRequest) CASE(ActivateSessionResponse)
      CASE(CloseSessionRequest) CASE(GetEndpointsRequest) CASE(GetEndpointsResponse)
      CASE(FindServersRequest) CASE(FindServersResponse)
      CASE(ReadRequest) CASE(ReadResponse) CASE(WriteRequest) CASE(WriteResponse)
      CASE(BrowseRequest) CASE(BrowseResponse) CASE(BrowseNextRequest)
      CASE(TranslateBrowsePathsToNodeIdsRequest) CASE(RegisterNodesRequest)
      CASE(CreateSubscriptionRequest) CASE(ModifySubscriptionRequest)
      CASE(SetPublishingModeRequest) CASE(PublishRequest) CASE(PublishResponse)
      CASE(RepublishRequest) CASE(DeleteSubscriptionsRequest)
      CASE(CreateMonitoredItemsRequest) CASE(ModifyMonitoredItemsRequest)
      CASE(SetMonitoringModeRequest) CASE(DeleteMonitoredItemsRequest)
      CASE(DataChangeNotification) CASE(ServiceFault)
#undef CASE
      default: {
        Variant v;
        d.read(v);
        (void)encode(v);
        DataValue dv;
        d.read(dv);
        (void)encode(dv);
      }
    }
  } catch (const UaError&) {
    // Rejected input is the expected outcome for most of it.
  }
}

struct NullHost : ConnectionHost {
  uint32_t newChannelId() override { return 1; }
  void onServiceRequest(ServerConnection& c, uint32_t requestId, std::string body) override {
    decodeMessage(reinterpret_cast<const uint8_t*>(body.data()), body.size());
    c.sendResponse(requestId, body);
  }
};

void feedConnection(const uint8_t* data, size_t size) {
  NullHost host;
  UaServerLimits limits;  // messages as large as the server takes them
  ServerConnection conn(1, host, limits);
  // Feed in two parts so partial headers and bodies are exercised too.
  size_t half = size / 2;
  conn.onBytes(reinterpret_cast<const char*>(data), half);
  conn.onBytes(reinterpret_cast<const char*>(data) + half, size - half);
  conn.tick();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  if (data[0] & 1)
    feedConnection(data + 1, size - 1);
  else
    decodeMessage(data + 1, size - 1);
  return 0;
}
