#include "server/shell/MqttSetup.h"

#include <sys/stat.h>

#include <charconv>
#include <fstream>
#include <memory>

#include "server/config/ConfigurationLoader.h"
#include "server/mqtt/JsonFormat.h"
#include "server/mqtt/sparkplug/DeviceMetrics.h"
#include "server/mqtt/sparkplug/MetricCatalogue.h"
#include "server/mqtt/sparkplug/SparkplugEngine.h"
#include "server/mqtt/sparkplug/Topics.h"
#include "server/opc/ServerQueues.h"
#include "server/plc/DeviceList.h"
#include "server/plc/DevicePlantView.h"
#include "server/toolkit/SODaSNameSpaceRoot.h"

namespace zentarc::shell {

namespace {

using Check = bool (*)(const std::string& value, std::string& error);

bool checkUrl(const std::string& v, std::string& error) {
  mqtt::BrokerAddress address;
  return v == "off" || mqtt::parseBrokerUrl(v, address, error);
}

bool number(const std::string& v, std::uint64_t min, std::uint64_t max, std::uint64_t& out) {
  const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), out);
  return ec == std::errc() && end == v.data() + v.size() && out >= min && out <= max;
}

bool checkRate(const std::string& v, std::string& error) {
  std::uint64_t n = 0;
  if (number(v, mqtt::kMinRateMs, mqtt::kMaxRateMs, n)) return true;
  error = "the MQTT rate must be " + std::to_string(mqtt::kMinRateMs) + " to " + std::to_string(mqtt::kMaxRateMs) +
          " ms, not \"" + v + "\"";
  return false;
}

bool checkBuffer(const std::string& v, std::string& error) {
  std::uint64_t n = 0;
  if (number(v, 1, mqtt::kMaxBufferMb, n)) return true;
  error = "the MQTT buffer must be 1 to " + std::to_string(mqtt::kMaxBufferMb) + " MB, not \"" + v + "\"";
  return false;
}

bool checkWrite(const std::string& v, std::string& error) {
  if (v == "on" || v == "off") return true;
  error = "MQTT writes are off or on, not \"" + v + "\"";
  return false;
}

bool checkPrefix(const std::string& v, std::string& error) { return mqtt::checkPrefix(v, error); }

bool checkFormat(const std::string& v, std::string& error) {
  if (v == "json" || v == "sparkplug") return true;
  error = "the MQTT format is json or sparkplug, not \"" + v + "\"";
  return false;
}

// A Sparkplug group or host id is one topic level.
bool checkSparkplugId(const std::string& v, std::string& error) {
  const std::string problem = mqtt::sparkplug::idProblem(v);
  if (problem.empty()) return true;
  error = "the Sparkplug id \"" + v + "\" " + problem;
  return false;
}

struct OptionSpec {
  const char* option;
  const char* storeKey;
  std::optional<std::string> MqttCommandLine::*field;
  Check check;
};

const OptionSpec kOptions[] = {
    {"--mqtt", kMqttValue, &MqttCommandLine::url, checkUrl},
    {"--mqtt-node", kMqttNodeValue, &MqttCommandLine::node, nullptr},
    {"--mqtt-prefix", kMqttPrefixValue, &MqttCommandLine::prefix, checkPrefix},
    {"--mqtt-rate", kMqttRateValue, &MqttCommandLine::rate, checkRate},
    {"--mqtt-write", kMqttWriteValue, &MqttCommandLine::write, checkWrite},
    {"--mqtt-ca", kMqttCaValue, &MqttCommandLine::ca, nullptr},
    {"--mqtt-cert", kMqttCertValue, &MqttCommandLine::cert, nullptr},
    {"--mqtt-key", kMqttKeyValue, &MqttCommandLine::key, nullptr},
    {"--mqtt-user", kMqttUserValue, &MqttCommandLine::user, nullptr},
    {"--mqtt-password-file", kMqttPasswordFileValue, &MqttCommandLine::passwordFile, nullptr},
    {"--mqtt-buffer", kMqttBufferValue, &MqttCommandLine::buffer, checkBuffer},
    {"--mqtt-format", kMqttFormatValue, &MqttCommandLine::format, checkFormat},
    {"--sparkplug-group", kSparkplugGroupValue, &MqttCommandLine::sparkplugGroup, checkSparkplugId},
    {"--sparkplug-host", kSparkplugHostValue, &MqttCommandLine::sparkplugHost, checkSparkplugId},
};

const OptionSpec& optionOf(std::optional<std::string> MqttCommandLine::*field) {
  for (const OptionSpec& s : kOptions)
    if (s.field == field) return s;
  return kOptions[0];
}

// The command line's value, else the store's when it can be used, else none.
std::optional<std::string> pick(const CommandLine& cl, const settings::SettingsStore& store,
                                std::optional<std::string> MqttCommandLine::*field, std::vector<std::string>& notices) {
  if (cl.mqtt.*field) return cl.mqtt.*field;
  const OptionSpec& s = optionOf(field);
  const auto stored = store.read(settings::kProductKey, s.storeKey);
  if (!stored || stored->empty()) return std::nullopt;
  std::string error;
  if (s.check && !s.check(*stored, error)) {
    notices.push_back("settings store: " + std::string(s.storeKey) + "=" + *stored + " cannot be used (" + error +
                      "); the default stands instead");
    return std::nullopt;
  }
  return stored;
}

bool readPassword(const std::string& path, std::string& password, std::vector<std::string>& notices,
                  std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "the MQTT password file \"" + path + "\" cannot be read";
    return false;
  }
  std::getline(in, password);
  if (!password.empty() && password.back() == '\r') password.pop_back();
  if (password.empty()) {
    error = "the MQTT password file \"" + path + "\" holds no password on its first line";
    return false;
  }
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && (st.st_mode & S_IROTH))
    notices.push_back("the MQTT password file " + path + " can be read by every user of this machine");
  return true;
}

class SilentWarnings : public ConfigWarnings {
 public:
  void warning(std::string_view, std::string_view) override {}
};

}  // namespace

bool takeMqttOption(const std::string& name, const std::string& value, MqttCommandLine& mqtt, std::string& error) {
  if (name == "--mqtt-password") {
    error = "--mqtt-password is not taken: a command line can be read by others; give --mqtt-password-file FILE";
    return false;
  }
  for (const OptionSpec& s : kOptions) {
    if (name != s.option) continue;
    std::string why;
    if (s.check && !s.check(value, why)) {
      error = name + ": " + why;
      return false;
    }
    mqtt.*s.field = value;
    return true;
  }
  error = name + ": unknown MQTT option (see --help)";
  return false;
}

std::string mqttUsageText() {
  return "  --mqtt URL|off   publish every tag to an MQTT broker, mqtt://host[:port] or\n"
         "                   mqtts://host[:port] (default: the store's Mqtt, else off)\n"
         "  --mqtt-node NAME this server's level in the topic tree (default: the host name)\n"
         "  --mqtt-prefix TEXT\n"
         "                   the topic tree's first level(s) (default: opczentarc)\n"
         "  --mqtt-rate MS   how often MQTT's tags are polled (default: 1000)\n"
         "  --mqtt-write off|on\n"
         "                   take writes on <tag topic>/set (default: off)\n"
         "  --mqtt-ca FILE   mqtts: the CA certificates the broker's must come from (default: the\n"
         "                   system's)\n"
         "  --mqtt-cert FILE --mqtt-key FILE\n"
         "                   mqtts: a client certificate and its key\n"
         "  --mqtt-user NAME --mqtt-password-file FILE\n"
         "                   a user for the broker, the password the first line of FILE\n"
         "  --mqtt-buffer MB what is kept while the broker is away (default: 64); beyond it the\n"
         "                   oldest changes are dropped and counted\n"
         "  --mqtt-format json|sparkplug\n"
         "                   retained JSON topics, or Sparkplug B: this server an edge node\n"
         "                   (--mqtt-node), each PLC a device (default: json)\n"
         "  --sparkplug-group ID\n"
         "                   the Sparkplug group (default: OPCZentarc)\n"
         "  --sparkplug-host ID\n"
         "                   a primary host application: births wait until its STATE says online\n"
         "                   (default: none)\n"
         "                   (each also in the settings store: Mqtt, MqttNode, MqttPrefix, MqttRate,\n"
         "                   MqttWrite, MqttCa, MqttCert, MqttKey, MqttUser, MqttPasswordFile,\n"
         "                   MqttBuffer, MqttFormat, SparkplugGroup, SparkplugHost; the command line\n"
         "                   wins)\n";
}

std::optional<mqtt::MqttOptions> resolveMqtt(const CommandLine& cl, const settings::SettingsStore& store,
                                             std::vector<std::string>& notices, std::string& error) {
  const auto url = pick(cl, store, &MqttCommandLine::url, notices);
  if (!url || *url == "off") return std::nullopt;
  mqtt::MqttOptions o;
  o.url = *url;
  o.node = pick(cl, store, &MqttCommandLine::node, notices).value_or(mqtt::defaultNodeName());
  o.prefix = pick(cl, store, &MqttCommandLine::prefix, notices).value_or(mqtt::kDefaultPrefix);
  if (const auto rate = pick(cl, store, &MqttCommandLine::rate, notices)) o.rateMs = static_cast<std::uint32_t>(std::stoul(*rate));
  o.write = pick(cl, store, &MqttCommandLine::write, notices).value_or("off") == "on";
  o.caFile = pick(cl, store, &MqttCommandLine::ca, notices).value_or("");
  o.certFile = pick(cl, store, &MqttCommandLine::cert, notices).value_or("");
  o.keyFile = pick(cl, store, &MqttCommandLine::key, notices).value_or("");
  o.user = pick(cl, store, &MqttCommandLine::user, notices).value_or("");
  if (const auto mb = pick(cl, store, &MqttCommandLine::buffer, notices))
    o.bufferBytes = static_cast<std::size_t>(std::stoull(*mb)) * 1024 * 1024;
  if (pick(cl, store, &MqttCommandLine::format, notices).value_or("json") == "sparkplug")
    o.format = mqtt::Format::Sparkplug;
  o.sparkplugGroup = pick(cl, store, &MqttCommandLine::sparkplugGroup, notices).value_or(mqtt::kDefaultSparkplugGroup);
  o.sparkplugHost = pick(cl, store, &MqttCommandLine::sparkplugHost, notices).value_or("");
  if (const auto file = pick(cl, store, &MqttCommandLine::passwordFile, notices)) {
    if (o.user.empty()) {
      error = "an MQTT password file needs a user (--mqtt-user or MqttUser)";
      return std::nullopt;
    }
    if (!readPassword(*file, o.password, notices, error)) return std::nullopt;
  }
  if (!mqtt::checkOptions(o, error)) return std::nullopt;
  return o;
}

namespace {

// Sparkplug B: the edge node's messages and each PLC's device, with its metric count.
bool printSparkplugCheck(const mqtt::MqttOptions& options, const mqtt::PublishedPlant& plant, std::ostream& out) {
  namespace spb = mqtt::sparkplug;
  out << "MQTT: " << options.url << ", Sparkplug B edge node " << options.sparkplugGroup << "/" << options.node
      << ", every " << options.rateMs << " ms, writes " << (options.write ? "on" : "off");
  if (!options.sparkplugHost.empty()) out << ", births when primary host " << options.sparkplugHost << " is online";
  out << "\n";
  bool usable = true;
  // The group and host were checked as options; the node id is one topic level here only.
  if (std::string error; !mqtt::checkOptions(options, error)) {
    out << "problem: MQTT: " << error << "\n";
    usable = false;
  }
  for (const std::string& plc : plant.plcs) {
    if (const std::string problem = spb::deviceIdProblem(plc); !problem.empty()) {
      out << "problem: MQTT: " << problem << "\n";
      usable = false;
    }
  }
  const spb::MetricCatalogue catalogue(plant);
  const auto topic = [&](spb::MessageType type, const std::string& device = "") {
    return spb::topicOf(options.sparkplugGroup, type, options.node, device);
  };
  out << "  " << topic(spb::MessageType::NBIRTH) << ": " << spb::kNodeMetrics
      << " node metrics (bdSeq, Node Control/Rebirth, the server's figures); NDEATH as the will\n";
  for (std::size_t p = 0; p < plant.plcs.size(); ++p)
    out << "  " << topic(spb::MessageType::DBIRTH, plant.plcs[p]) << ": " << catalogue.tagsOf(p).size()
        << " tag metrics and " << spb::kDiagnosticsMetrics << " Diagnostics/ metrics\n";
  if (options.write) out << "  writes by DCMD to " << topic(spb::MessageType::DCMD, "<PLC>") << "\n";
  return usable;
}

}  // namespace

bool printMqttCheck(const mqtt::MqttOptions& options, const std::string& configPath, std::ostream& out) {
  SOCmnPointer<SODaSNameSpaceRoot> root(new SODaSNameSpaceRoot());
  DeviceList devices;
  SilentWarnings warnings;
  LoadConfiguration(configPath, *root, devices, std::make_shared<ServerQueues>(), warnings);
  const DevicePlantView view(devices, nullptr);
  const mqtt::PublishedPlant plant = mqtt::collectPlant(root->getTags(), &view);
  if (options.format == mqtt::Format::Sparkplug) return printSparkplugCheck(options, plant, out);
  const mqtt::JsonFormat format(plant, options.prefix, options.node);
  std::size_t writeOnly = 0, writable = 0;
  for (const auto& t : plant.tags) {
    writeOnly += t.readable ? 0 : 1;
    writable += t.writable ? 1 : 0;
  }
  out << "MQTT: " << options.url << ", node \"" << options.node << "\", every " << options.rateMs << " ms, writes "
      << (options.write ? "on" : "off") << "\n";
  const auto count = [](std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
  };
  out << "  " << count(plant.tags.size(), "tag topic", "tag topics") << " (retained JSON, QoS 1)";
  if (writeOnly) out << ", " << writeOnly << " of them write-only (BadNotReadable)";
  const std::size_t skipped = root->getTagCount() - plant.tags.size();
  if (skipped) out << "; " << count(skipped, "tag", "tags") << " not published (no PLC, or no type clients know)";
  out << "\n  " << format.nodeState(true).topic << ": online, or offline (also the last will)\n";
  for (std::size_t p = 0; p < plant.plcs.size(); ++p) out << "  " << format.plcStateTopic(p) << ": " << plant.plcs[p] << "'s state\n";
  for (std::size_t i = 0; i < plant.tags.size(); ++i)
    out << "  " << format.tagTopic(i) << ": " << plant.tags[i].tag->getName() << "\n";
  if (options.write)
    out << "  writes to " << count(writable, "tag", "tags") << " on <tag topic>/set, answered on <tag topic>/set/result\n";
  return true;
}

}  // namespace zentarc::shell
