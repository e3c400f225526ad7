#include "server/config/ConfigurationLoader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <pugixml.hpp>
#include <sys/stat.h>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "common/configfile/AccessRights.h"
#include "common/configfile/ConfigNames.h"
#include "common/configfile/DataTypes.h"
#include "common/configfile/Latin1.h"
#include "common/configfile/PlcAddressRule.h"
#include "common/configfile/TagRules.h"
#include "server/opc/PlcTag.h"
#include "server/plc/DeviceList.h"
#include "server/plc/PlcDevice.h"
#include "server/toolkit/SOCmnException.h"
#include "server/toolkit/SODaSNameSpaceRoot.h"

namespace zentarc {

namespace cf = configfile;

namespace {

// Far above any plant's file (10,000 tags take about 3 MB), far below what would hurt.
constexpr std::uint64_t kMaxConfigurationBytes = 64ull << 20;

std::string quoted(std::string_view s) { return "\"" + std::string(s) + "\""; }

bool named(const pugi::xml_node& node, std::string_view name) {
  return node.type() == pugi::node_element && name == node.name();
}

// The value of an element's first child, when that child is text; absent otherwise.
std::optional<std::string> textOf(const pugi::xml_node& element) {
  const pugi::xml_node first = element.first_child();
  if (first.type() != pugi::node_pcdata) return std::nullopt;
  return std::string(first.value());
}

// Plain decimal from 0 to 65535, blanks around it allowed; nullopt for anything else.
std::optional<std::uint16_t> parseNumber(std::string_view text) {
  const auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  if (text.empty() || text.size() > 5) return std::nullopt;
  std::uint32_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint32_t>(c - '0');
  }
  if (value > 0xFFFF) return std::nullopt;
  return static_cast<std::uint16_t>(value);
}

// Line numbers for messages, from the document's own UTF-8 text.
class LineIndex {
 public:
  void build(std::string_view utf8) {
    starts_.assign(1, 0);
    for (std::size_t i = 0; i < utf8.size(); ++i)
      if (utf8[i] == '\n') starts_.push_back(i + 1);
  }
  // 0 when unknown.
  std::size_t lineOf(std::ptrdiff_t offset) const {
    if (offset < 0 || starts_.empty()) return 0;
    return static_cast<std::size_t>(std::upper_bound(starts_.begin(), starts_.end(),
                                                     static_cast<std::size_t>(offset)) - starts_.begin());
  }
  std::size_t columnOf(std::ptrdiff_t offset) const {
    const std::size_t line = lineOf(offset);
    return line == 0 ? 0 : static_cast<std::size_t>(offset) - starts_[line - 1] + 1;
  }

 private:
  std::vector<std::size_t> starts_;
};

struct TagFields {
  std::optional<std::string> name, comment, datatype, accessrights, address, databit, elements;
};

class Loader {
 public:
  Loader(SODaSNameSpaceRoot& root, DeviceList& devices, std::shared_ptr<ServerQueues> queues,
         ConfigWarnings& warnings)
      : root_(root), devices_(devices), queues_(std::move(queues)), warnings_(warnings) {}

  int load(const std::string& path) {
    std::string bytes;
    if (!readFile(path, bytes)) {
      warnings_.unreadable();
      return 0;
    }
    return loadBytes(bytes, path);
  }

  int loadBytes(std::string_view bytes, const std::string& path) {
    pugi::xml_document doc;
    const unsigned options = pugi::parse_default | pugi::parse_comments | pugi::parse_pi;
    const pugi::xml_parse_result parsed = doc.load_buffer(bytes.data(), bytes.size(), options);
    if (parsed.encoding == pugi::encoding_latin1) lines_.build(cf::latin1ToUtf8(bytes));
    else if (parsed.encoding == pugi::encoding_utf8) lines_.build(bytes);
    if (!parsed) {
      warn("The configuration file " + quoted(path) + " could not be read: " + parsed.description() +
           where(parsed.offset) + ". Nothing was loaded.");
      warnings_.unreadable();
      return 0;
    }
    for (const pugi::xml_node& node : doc.children()) {
      if (!named(node, cf::kRootElement)) continue;
      const pugi::xml_node first = node.first_child();
      if (!named(first, cf::kDevicesElement)) {
        warnings_.warning(kLoaderCaption, kNoDevicesElementText);
        return 0;
      }
      for (const pugi::xml_node& plc : first.children())
        if (named(plc, cf::kPlcElement)) loadPlc(plc);
    }
    return 1;
  }

 private:
  bool readFile(const std::string& path, std::string& bytes) {
    // Only a plain file of a sane size: a FIFO would block the start for good and a device
    // such as /dev/zero would be read until memory runs out.
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
      if (!S_ISREG(st.st_mode)) {
        warn("The configuration file " + quoted(path) + " is not a plain file. Nothing was loaded.");
        return false;
      }
      if (static_cast<std::uint64_t>(st.st_size) > kMaxConfigurationBytes) {
        warn("The configuration file " + quoted(path) + " is larger than " +
             std::to_string(kMaxConfigurationBytes >> 20) + " MiB. Nothing was loaded.");
        return false;
      }
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      const int err = errno;
      warn("The configuration file " + quoted(path) + " could not be opened" +
           (err != 0 ? std::string(": ") + std::strerror(err) : std::string()) + ". Nothing was loaded.");
      return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
      warn("The configuration file " + quoted(path) + " could not be read. Nothing was loaded.");
      return false;
    }
    return true;
  }

  void warn(const std::string& text) { warnings_.warning(kLoaderCaption, text); }

  std::string where(std::ptrdiff_t offset) const {
    const std::size_t line = lines_.lineOf(offset);
    if (line == 0) return {};
    return " (line " + std::to_string(line) + ", column " + std::to_string(lines_.columnOf(offset)) + ")";
  }

  std::string lineText(const pugi::xml_node& node) const {
    const std::size_t line = lines_.lineOf(node.offset_debug());
    return line == 0 ? std::string() : "line " + std::to_string(line);
  }

  void loadPlc(const pugi::xml_node& plc) {
    const pugi::xml_attribute name = plc.attribute(std::string(cf::kPlcNameAttribute).c_str());
    const pugi::xml_attribute address = plc.attribute(std::string(cf::kPlcAddressAttribute).c_str());
    if (!name || !address) {
      const std::string line = lineText(plc);
      std::string who = name ? "PLC " + quoted(name.value()) : std::string("A PLC without a name");
      if (!line.empty()) who += " (" + line + ")";
      warn(who + (name ? " has no IPaddress" : "") + ". The PLC and its tags are not loaded.");
      return;
    }
    SOCmnPointer<PlcDevice> device(SOCmnNew<PlcDevice>(name.value(), address.value()));
    devices_.add(device.get());
    checkPlc(plc, name.value(), address.value());
    for (const pugi::xml_node& tags : plc.children()) {
      if (!named(tags, cf::kTagsElement)) continue;
      for (const pugi::xml_node& tag : tags.children())
        if (named(tag, cf::kTagElement)) loadTag(tag, *device);
    }
  }

  // What a PLC that loads may still get wrong; it stays loaded (files saved before the
  // rules existed must go on loading), and each problem is named with its line.
  void checkPlc(const pugi::xml_node& plc, const std::string& name, const std::string& address) {
    std::vector<std::string> problems;
    bool unreachable = false;
    if (const cf::NameFault fault = cf::checkName(name); fault != cf::NameFault::None)
      problems.emplace_back(cf::nameFaultText(fault));
    else if (const auto [it, added] = plcNames_.emplace(cf::foldName(name), name); !added)
      problems.push_back("the name is already used by another PLC");
    if (!cf::isDottedIpv4(address)) {
      problems.push_back(cf::plcAddressFaultText(address));
      unreachable = true;
    } else if (const auto [it, added] = plcAddresses_.emplace(address, name); !added) {
      problems.push_back("the IP address is already used by PLC " + quoted(it->second));
    }
    if (problems.empty()) return;
    std::string who = "PLC " + quoted(name);
    if (const std::string line = lineText(plc); !line.empty()) who += " (" + line + ")";
    warn(who + ": " + join(problems) + ". The PLC is loaded" +
         (unreachable ? ", but the server cannot connect to it: its tags are Bad." : "."));
  }

  static TagFields readFields(const pugi::xml_node& tag) {
    TagFields f;
    for (const pugi::xml_node& child : tag.children()) {
      if (child.type() != pugi::node_element) continue;
      const std::string_view n = child.name();
      // A later child of the same name overrides an earlier one, also when it is empty.
      if (n == cf::kNameElement) f.name = textOf(child);
      else if (n == cf::kCommentElement) f.comment = textOf(child);
      else if (n == cf::kDataTypeElement) f.datatype = textOf(child);
      else if (n == cf::kAccessRightsElement) f.accessrights = textOf(child);
      else if (n == cf::kAddressElement) f.address = textOf(child);
      else if (n == cf::kDataBitElement) f.databit = textOf(child);
      else if (n == cf::kElementsElement) f.elements = textOf(child);
    }
    return f;
  }

  void loadTag(const pugi::xml_node& element, PlcDevice& device) {
    const TagFields f = readFields(element);
    std::vector<std::string> problems;
    std::vector<std::string> notes;

    // Names follow the rule the editor applies: no blank name, no control characters,
    // unique without regard to letter case.
    if (f.name) {
      if (const cf::NameFault fault = cf::checkName(*f.name); fault != cf::NameFault::None)
        problems.emplace_back(cf::nameFaultText(fault));
      else if (names_.count(cf::foldName(*f.name)) != 0)
        problems.push_back("the name is already used by another tag");
    }

    std::optional<std::uint16_t> address;
    if (f.address) address = parseNumber(*f.address);
    std::optional<std::uint16_t> bit = f.databit ? parseNumber(*f.databit) : std::optional<std::uint16_t>(0);
    std::optional<std::uint16_t> count = f.elements ? parseNumber(*f.elements) : std::optional<std::uint16_t>(0);

    const VARTYPE type = f.datatype ? cf::typeCodeForFileName(*f.datatype) : 0;
    if (type == 0)
      notes.push_back(f.datatype ? "datatype " + quoted(*f.datatype) + " is not a known type"
                                 : std::string("it has no datatype"));
    // No register to read or write: every read and write of it fails.
    const bool sized = type == VT_BSTR || (type & VT_ARRAY) != 0;
    if (sized && count && *count == 0)
      notes.push_back(type == VT_BSTR ? "it is a string of 0 characters" : "it is an array of 0 elements");
    const std::uint32_t rights = f.accessrights ? cf::accessRightsForName(*f.accessrights) : 0;
    if (rights == 0)
      notes.push_back(f.accessrights ? "accessrights " + quoted(*f.accessrights) + " is not READ, WRITE or READWRITE"
                                     : std::string("it has no accessrights"));

    const cf::TagNumbers numbers{type, address.value_or(0), bit.value_or(0), count.value_or(0)};
    const std::vector<cf::TagFault> faults = cf::checkTagNumbers(numbers);
    const auto has = [&](cf::TagFault fault) { return std::find(faults.begin(), faults.end(), fault) != faults.end(); };
    if (!f.address)
      problems.push_back("it has no address");
    else if (!address || has(cf::TagFault::AddressOutOfRange))
      problems.push_back("address " + quoted(*f.address) + " is not a number from 1 to 65535");
    if (!bit) problems.push_back("databit " + quoted(*f.databit) + " is not a number from 0 to 65535");
    if (!count) problems.push_back("elements " + quoted(*f.elements) + " is not a number from 0 to 65535");
    if (has(cf::TagFault::BooleanBitAbove15))
      problems.push_back("databit " + std::to_string(numbers.bit) + " is above 15 for a single boolean");
    if (has(cf::TagFault::PastLastRegister))
      problems.push_back("its registers run past register " + std::to_string(cf::kLastRegisterNumber) +
                         " (address " + std::to_string(numbers.address) + ", " +
                         std::to_string(cf::registerSpan(type, static_cast<std::uint32_t>(numbers.bit),
                                                         static_cast<std::uint32_t>(numbers.elements))) +
                         " registers)");

    std::string who = f.name ? "Tag " + quoted(*f.name) : std::string("A tag without a name");
    who += " (PLC " + quoted(device.name);
    if (const std::string line = lineText(element); !line.empty()) who += ", " + line;
    who += ")";
    if (!f.name || !problems.empty()) {
      std::string text = who;
      if (!problems.empty()) text += ": " + join(problems);
      warn(text + ". The tag is not loaded.");
      return;
    }

    SOCmnPointer<PlcTag> tag(SOCmnNew<PlcTag>(*f.name, rights, type, f.comment.value_or(std::string()),
                                              static_cast<std::uint16_t>(*address - 1), *bit, *count, &device,
                                              queues_));
    if (!root_.addLeaf(tag.get())) {
      warn(who + ": it cannot be added to the namespace. The tag is not loaded.");
      return;
    }
    names_.insert(cf::foldName(*f.name));
    if (!notes.empty()) {
      const bool noRights = rights == 0;
      warn(who + ": " + join(notes) + ". The tag is loaded" +
           (type == 0   ? " but not served to OPC UA clients."
            : noRights  ? " but clients can neither read nor write it."
                        : " but every read and write of it fails."));
    }
  }

  static std::string join(const std::vector<std::string>& parts) {
    std::string out;
    for (const auto& p : parts) out += (out.empty() ? "" : "; ") + p;
    return out;
  }

  SODaSNameSpaceRoot& root_;
  DeviceList& devices_;
  std::shared_ptr<ServerQueues> queues_;
  ConfigWarnings& warnings_;
  LineIndex lines_;
  std::unordered_set<std::string> names_;  // folded names of the tags loaded so far
  std::unordered_map<std::string, std::string> plcNames_;      // folded name -> name, PLCs loaded
  std::unordered_map<std::string, std::string> plcAddresses_;  // IP address -> the first PLC's name
};

}  // namespace

int LoadConfiguration(const std::string& path, SODaSNameSpaceRoot& root, DeviceList& deviceList,
                      std::shared_ptr<ServerQueues> queues, ConfigWarnings& warnings) {
  return Loader(root, deviceList, std::move(queues), warnings).load(path);
}

int LoadConfigurationBytes(std::string_view bytes, const std::string& sourceName, SODaSNameSpaceRoot& root,
                           DeviceList& deviceList, std::shared_ptr<ServerQueues> queues,
                           ConfigWarnings& warnings) {
  return Loader(root, deviceList, std::move(queues), warnings).loadBytes(bytes, sourceName);
}

}  // namespace zentarc
