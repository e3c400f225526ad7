#pragma once
// What the MQTT side is told: the broker, how this server names itself there, how often its
// tags are polled, whether writes are taken, TLS and user, and how much it buffers while
// the broker is away.
#include <cstddef>
#include <cstdint>
#include <string>

namespace zentarc::mqtt {

inline constexpr const char* kDefaultPrefix = "opczentarc";
inline constexpr std::uint32_t kDefaultRateMs = 1000;
inline constexpr std::uint32_t kMinRateMs = 50;        // as fast as OPC UA may sample
inline constexpr std::uint32_t kMaxRateMs = 3'600'000;
inline constexpr std::size_t kDefaultBufferMb = 64;
inline constexpr std::size_t kMaxBufferMb = 65536;
inline constexpr const char* kDefaultSparkplugGroup = "OPCZentarc";

// What goes on the wire: a retained JSON topic per tag, or Sparkplug B (each PLC a device of
// this edge node, typed metrics in protobuf payloads, births and deaths).
enum class Format { Json, Sparkplug };
const char* formatName(Format format);  // "json", "sparkplug"

struct MqttOptions {
  std::string url;  // mqtt://host[:port] or mqtts://host[:port]
  std::string node;  // this server's level in the topic tree
  std::string prefix = kDefaultPrefix;
  std::uint32_t rateMs = kDefaultRateMs;
  bool write = false;
  std::string caFile;    // mqtts: the CAs the broker's certificate must come from (else the system's)
  std::string certFile;  // mqtts: our client certificate and its key
  std::string keyFile;
  std::string user;      // empty: no user name
  std::string password;  // read from a file, never from the command line
  std::size_t bufferBytes = kDefaultBufferMb * 1024 * 1024;
  Format format = Format::Json;
  std::string sparkplugGroup = kDefaultSparkplugGroup;
  std::string sparkplugHost;  // a primary host application to wait for; empty: none
};

// A broker URL taken apart.
struct BrokerAddress {
  bool tls = false;
  std::string host;  // as written (an IPv6 address keeps its brackets)
  std::uint16_t port = 0;
  // The host as a socket takes it: an IPv6 address without its brackets.
  std::string socketHost() const;
};

// False with a reason for anything but mqtt://host[:port] or mqtts://host[:port]; the port
// defaults to 1883 and 8883.
bool parseBrokerUrl(const std::string& url, BrokerAddress& address, std::string& error);

// A prefix of one or more topic levels: not empty, no empty level, no wildcard or control
// character. False with a reason otherwise.
bool checkPrefix(const std::string& prefix, std::string& error);

// Everything at once, as the server is about to use it; false with a reason.
bool checkOptions(const MqttOptions& options, std::string& error);

// The machine's host name, the default node.
std::string defaultNodeName();

}  // namespace zentarc::mqtt
