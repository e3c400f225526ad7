// Notification lag through the whole server: 1,000 tags on one simulated PLC whose registers
// count up every 100 ms, the real OPCZentarc serving them, and a node-opcua client
// subscribed to all of them with publishing and sampling at 100 ms. The lag of a value is
// the time the client received it minus its SourceTimestamp (the time the server read it).
// Target: p50 at most 60 ms, p99 at most 130 ms.
//
// Usage: bench_notification_lag [seconds, default 20] [tags, default 1000]
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "bench/ChildProcess.h"
#include "tests/support/TempDir.h"
#include "tools/plcsim/Simulator.h"

using namespace zentarc;
using namespace zentarc::bench;

namespace {

constexpr const char* kPlcAddress = "127.0.5.200";
constexpr const char* kEndpoint = "opc.tcp://127.0.0.1:28470";

std::string configuration(int tags) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<TarvelleZentarcCfg>\r\n<OPC_DA>\r\n";
  xml += std::string("<PLC name=\"Line\" IPaddress=\"") + kPlcAddress + "\">\r\n<tags>\r\n";
  for (int i = 0; i < tags; ++i)
    xml += "<tag><name>L" + std::to_string(i) + "</name><comment></comment><datatype>VT_I2</datatype><address>" +
           std::to_string(i + 1) + "</address><accessrights>READ</accessrights></tag>\r\n";
  return xml + "</tags>\r\n</PLC>\r\n</OPC_DA>\r\n</TarvelleZentarcCfg>\r\n";
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 20;
  const int tags = argc > 2 ? std::atoi(argv[2]) : 1000;
  if (seconds < 1 || seconds > 600 || tags < 1 || tags > 10000) {
    std::fprintf(stderr, "usage: bench_notification_lag [seconds 1-600] [tags 1-10000]\n");
    return 2;
  }
  ::signal(SIGPIPE, SIG_IGN);
  plcsim::Simulator plc({.address = kPlcAddress, .logLimit = 0});
  std::string error;
  if (!plc.start(&error)) {
    std::fprintf(stderr, "bench_notification_lag: %s\n", error.c_str());
    return 1;
  }
  plc.addAnimation({plcsim::Animation::Kind::Counter, 0, static_cast<std::uint16_t>(tags - 1)});
  testsupport::TempDir dir;
  const std::string config = dir.write("lag.xml", configuration(tags)).string();

  ChildProcess server;
  // SecurityPolicy None: this measures the lag; bench_ua_security measures what security adds.
  if (!server.start({ownFolder() + "/OPCZentarc", "--headless", "--config", config, "--endpoint", kEndpoint,
                     "--security=None"}) ||
      !server.waitForLine("serving OPC UA on", 20000)) {
    std::fprintf(stderr, "bench_notification_lag: the server did not start\n");
    return 1;
  }
  ChildProcess client;
  const std::string script = std::string(ZENTARC_SOURCE_DIR) + "/bench/lag_client.js";
  std::string line;
  if (!client.start({"node", script, kEndpoint, std::to_string(tags), std::to_string(seconds), "3", "100"}) ||
      !client.waitForLine("LAG", (seconds + 60) * 1000, &line)) {
    std::fprintf(stderr, "bench_notification_lag: the node-opcua client gave no figures\n");
    return 1;
  }
  const double cpu0 = server.cpuSeconds();
  std::printf("%d tags changing every 100 ms, subscribed by node-opcua at 100 ms publishing and sampling, %d s:\n",
              tags, seconds);
  std::printf("  %s (ms; target p50 <= 60, p99 <= 130)\n", line.c_str());
  std::printf("  server RSS %.1f MiB, %ld threads\n", server.rssKiB() / 1024.0, server.threads());
  (void)cpu0;
  client.stop();
  server.stop();
  return 0;
}
