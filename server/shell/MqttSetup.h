#pragma once
// MQTT for a run: the --mqtt options, checked as they are read; the run's options from them
// and the settings store (the command line wins, as for security), with the password read
// from its file; and what --check-config says MQTT would publish.
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "common/settings/SettingsStore.h"
#include "server/mqtt/MqttOptions.h"
#include "server/shell/CommandLine.h"

namespace zentarc::shell {

// Settings store values, beside the command-line option each stands for.
inline constexpr const char* kMqttValue = "Mqtt";                  // --mqtt URL|off
inline constexpr const char* kMqttNodeValue = "MqttNode";          // --mqtt-node NAME
inline constexpr const char* kMqttPrefixValue = "MqttPrefix";      // --mqtt-prefix TEXT
inline constexpr const char* kMqttRateValue = "MqttRate";          // --mqtt-rate MS
inline constexpr const char* kMqttWriteValue = "MqttWrite";        // --mqtt-write off|on
inline constexpr const char* kMqttCaValue = "MqttCa";              // --mqtt-ca FILE
inline constexpr const char* kMqttCertValue = "MqttCert";          // --mqtt-cert FILE
inline constexpr const char* kMqttKeyValue = "MqttKey";            // --mqtt-key FILE
inline constexpr const char* kMqttUserValue = "MqttUser";          // --mqtt-user NAME
inline constexpr const char* kMqttPasswordFileValue = "MqttPasswordFile";  // --mqtt-password-file FILE
inline constexpr const char* kMqttBufferValue = "MqttBuffer";      // --mqtt-buffer MB
inline constexpr const char* kMqttFormatValue = "MqttFormat";      // --mqtt-format json|sparkplug
inline constexpr const char* kSparkplugGroupValue = "SparkplugGroup";  // --sparkplug-group ID
inline constexpr const char* kSparkplugHostValue = "SparkplugHost";    // --sparkplug-host ID

// One --mqtt... or --sparkplug... option: false with `error` for an unknown one or a value that cannot be used.
// A password is never taken from the command line (others on the machine can read it).
bool takeMqttOption(const std::string& name, const std::string& value, MqttCommandLine& mqtt, std::string& error);
std::string mqttUsageText();

// The run's MQTT options, or nullopt when MQTT is off (no --mqtt, no Mqtt in the store, or
// "off"). `notices` gets a line for each store value that cannot be used (the default stands
// instead) and for a password file others may read. Nullopt with `error` set when MQTT is on
// but cannot be (an unusable broker URL in the store, a password file that cannot be read).
std::optional<mqtt::MqttOptions> resolveMqtt(const CommandLine& commandLine, const settings::SettingsStore& store,
                                             std::vector<std::string>& notices, std::string& error);

// --check-config: the topics MQTT would publish for the configuration at configPath; in
// Sparkplug B, also every PLC whose name cannot be a device id. False when MQTT could not
// start with this configuration.
bool printMqttCheck(const mqtt::MqttOptions& options, const std::string& configPath, std::ostream& out);

}  // namespace zentarc::shell
