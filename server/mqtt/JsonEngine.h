#pragma once
// The JSON format's session: one retained topic per tag (and per PLC and for the node) on a
// persistent session; while the broker is away the tags are still polled and changes queue
// in order in a byte-bounded buffer (the oldest dropped and counted when it is full); after
// every (re)connection each tag's state goes out once more, so the broker's retained state
// is always current.
#include <memory>

#include "server/mqtt/PublisherEngine.h"

namespace zentarc::mqtt {

std::unique_ptr<PublisherEngine> makeJsonEngine(EngineContext context);

}  // namespace zentarc::mqtt
