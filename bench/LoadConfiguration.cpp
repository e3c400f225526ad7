// Loading a configuration of 10,000 tags: time per load and memory kept per tag.
// Targets: under 200 ms per load, under 1 KB per tag.
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "server/config/ConfigurationLoader.h"
#include "server/opc/ServerQueues.h"
#include "server/plc/DeviceList.h"
#include "server/toolkit/SODaSNameSpaceRoot.h"

using namespace zentarc;

namespace {

constexpr int kTags = 10000;
constexpr int kPlcs = 10;

class CountingWarnings : public ConfigWarnings {
 public:
  void warning(std::string_view, std::string_view) override { ++count; }
  int count = 0;
};

// The editor's layout: CR LF lines, four blanks per level, the elements each type has.
std::string makeFile() {
  static const char* kTypes[] = {"VT_I2", "VT_UI2", "VT_I4", "VT_R4", "VT_BOOL", "VT_BSTR", "VT_I2 ARRAY", "VT_BOOL ARRAY"};
  std::string out = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<TarvelleZentarcCfg>\r\n    <OPC_DA>\r\n";
  const int perPlc = kTags / kPlcs;
  for (int p = 0; p < kPlcs; ++p) {
    out += "        <PLC name=\"PLC" + std::to_string(p) + "\" IPaddress=\"127.0.0." + std::to_string(p + 1) + "\">\r\n";
    out += "            <tags>\r\n";
    for (int i = 0; i < perPlc; ++i) {
      const std::string type = kTypes[i % 8];
      const bool hasBit = type == "VT_BOOL" || type == "VT_BOOL ARRAY";
      const bool hasCount = type == "VT_BSTR" || type.find("ARRAY") != std::string::npos;
      out += "                <tag>\r\n";
      out += "                    <name>Line" + std::to_string(p) + ".Station" + std::to_string(i / 8) + ".Value" +
             std::to_string(i) + "</name>\r\n";
      out += "                    <comment>Temp\xE9rature sensor " + std::to_string(i) + " of line " +
             std::to_string(p) + "</comment>\r\n";
      out += "                    <datatype>" + type + "</datatype>\r\n";
      if (hasBit) out += "                    <databit>" + std::to_string(i % 16) + "</databit>\r\n";
      out += "                    <address>" + std::to_string(1 + i * 4) + "</address>\r\n";
      if (hasCount) out += "                    <elements>4</elements>\r\n";
      out += "                    <accessrights>READWRITE</accessrights>\r\n";
      out += "                </tag>\r\n";
    }
    out += "            </tags>\r\n        </PLC>\r\n";
  }
  out += "</OPC_DA>\r\n</TarvelleZentarcCfg>\r\n";
  return out;
}

}  // namespace

int main() {
  const auto path = std::filesystem::temp_directory_path() / ("zentarc-bench-load-" + std::to_string(::getpid()) + ".xml");
  {
    std::ofstream out(path, std::ios::binary);
    out << makeFile();
  }
  const auto fileSize = std::filesystem::file_size(path);

  std::vector<double> times;
  double bytesPerTag = 0;
  std::size_t loaded = 0;
  int warnings = 0;
  for (int run = 0; run < 7; ++run) {
    auto queues = std::make_shared<ServerQueues>();
    CountingWarnings w;
    const std::size_t before = mallinfo2().uordblks;
    SOCmnPointer<SODaSNameSpaceRoot> root(new SODaSNameSpaceRoot());
    auto devices = std::make_unique<DeviceList>();
    const auto t0 = std::chrono::steady_clock::now();
    LoadConfiguration(path.string(), *root, *devices, queues, w);
    const auto t1 = std::chrono::steady_clock::now();
    const std::size_t after = mallinfo2().uordblks;
    times.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    loaded = root->getTagCount();
    warnings = w.count;
    bytesPerTag = static_cast<double>(after - before) / static_cast<double>(std::max<std::size_t>(loaded, 1));
  }
  std::filesystem::remove(path);
  std::sort(times.begin(), times.end());

  std::printf("configuration load: %zu tags on %d PLCs from a %.1f KB file, %d warnings\n", loaded, kPlcs,
              static_cast<double>(fileSize) / 1024.0, warnings);
  std::printf("  time per load: median %.1f ms, best %.1f ms, worst %.1f ms (target < 200 ms)\n",
              times[times.size() / 2], times.front(), times.back());
  std::printf("  memory kept per tag: %.0f bytes (target < 1024 bytes)\n", bytesPerTag);
  return loaded == static_cast<std::size_t>(kTags) ? 0 : 1;
}
