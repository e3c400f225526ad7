#pragma once
// Reads the configuration file once at start-up: one PlcDevice per PLC element in the
// device list, one PlcTag per tag element in the namespace. Problems are reported through
// ConfigWarnings, each bad tag or PLC once; it is skipped and the rest loads.
#include <memory>
#include <string>
#include <string_view>

class SODaSNameSpaceRoot;

namespace zentarc {

class DeviceList;
struct ServerQueues;

class ConfigWarnings {
 public:
  virtual ~ConfigWarnings() = default;
  virtual void warning(std::string_view caption, std::string_view text) = 0;
  // After the warning of a file that cannot be opened or parsed: nothing was loaded.
  virtual void unreadable() {}
};

inline constexpr std::string_view kLoaderCaption = "OPC G.E. Tcp/Ip Server";
inline constexpr std::string_view kNoDevicesElementText = "Wrong XML file syntax: no devices element\n";

// 1 when the file was walked to its end (also when it held nothing); 0 when it cannot be
// read or parsed, or its devices element is missing: then nothing was loaded, and the
// server that started on it must not end as if all was well.
int LoadConfiguration(const std::string& path, SODaSNameSpaceRoot& root, DeviceList& deviceList,
                      std::shared_ptr<ServerQueues> queues, ConfigWarnings& warnings);

// The same from the file's bytes; `sourceName` stands for the file in messages.
int LoadConfigurationBytes(std::string_view bytes, const std::string& sourceName, SODaSNameSpaceRoot& root,
                           DeviceList& deviceList, std::shared_ptr<ServerQueues> queues,
                           ConfigWarnings& warnings);

}  // namespace zentarc
