#pragma once
// Speaking UA TCP by hand, as an attacker would: raw connections, intermediate chunks, and
// what the server sent before it closed.
#include <chrono>
#include <string>

#include "server/toolkit/ua/UaServer.h"
#include "server/toolkit/ua/UaTcp.h"

namespace zentarc::ua::test {

std::string loopbackUrl(int port);
// A server configuration with its endpoint on 127.0.0.1:port, SecurityPolicy None with
// anonymous writing, and every other setting as it comes.
UaServerConfig loopbackConfig(int port);
// A plain TCP connection to 127.0.0.1:port; -1 when refused.
int rawConnect(int port);
// Everything the server sends until it closes the connection (bounded by `limit`).
std::string readUntilClosed(int fd, std::chrono::milliseconds limit = std::chrono::milliseconds(3000));
// The status of the first Error message in `bytes`; Good when there is none.
StatusCode errorIn(const std::string& bytes);
// One intermediate ('C') MSG chunk carrying `body`.
std::string intermediateChunk(uint32_t channelId, uint32_t tokenId, uint32_t sequenceNumber,
                              uint32_t requestId, const std::string& body);
bool sendAllBytes(int fd, const std::string& bytes);

}  // namespace zentarc::ua::test
