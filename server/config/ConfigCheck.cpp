#include "server/config/ConfigCheck.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <mutex>

#include "server/config/ConfigurationLoader.h"
#include "server/opc/PlcTag.h"
#include "server/opc/ServerQueues.h"
#include "server/opc/ValueConversion.h"
#include "server/plc/DeviceList.h"
#include "server/plc/PlcDevice.h"
#include "server/plc/RegisterBlock.h"
#include "server/toolkit/SODaSNameSpaceRoot.h"

namespace zentarc::config {

namespace {

// Any rate serves: the scan is counted with every tag at the same one.
constexpr std::uint32_t kOneRateMs = 1000;

class CollectedProblems : public ConfigWarnings {
 public:
  void warning(std::string_view, std::string_view text) override {
    std::string t(text);
    while (!t.empty() && (t.back() == '\n' || t.back() == '\r')) t.pop_back();
    problems.push_back(std::move(t));
  }
  void unreadable() override { fileUnreadable = true; }

  std::vector<std::string> problems;
  bool fileUnreadable = false;
};

// The bits a tag's value occupies, counted from bit 0 of register 0: booleans take their
// own bits, byte strings and byte arrays their bytes, everything else whole registers.
struct BitRange {
  std::uint64_t first = 0;
  std::uint64_t end = 0;  // one past the last
};

BitRange bitsOf(const PlcTag& tag) {
  const std::uint64_t base = std::uint64_t{tag.address} * 16;
  const VARTYPE vt = tag.getNativeDatatype();
  switch (vt) {
    case VT_BOOL: return {base + tag.bit, base + tag.bit + 1};
    case VT_ARRAY | VT_BOOL: return {base + tag.bit, base + tag.bit + tag.count};
    case VT_BSTR: case VT_ARRAY | VT_I1: case VT_ARRAY | VT_UI1: return {base, base + 8ull * tag.count};
    default: return {base, base + 16ull * registerSpanWide(vt, tag.bit, tag.count)};
  }
}

// Where a tag lies, in the register numbers of the file (1-based).
std::string registersText(const PlcTag& tag) {
  const std::uint32_t first = std::uint32_t{tag.address} + 1;
  const std::uint32_t span = registerSpanWide(tag.getNativeDatatype(), tag.bit, tag.count);
  std::string text = span > 1 ? "registers " + std::to_string(first) + "-" + std::to_string(first + span - 1)
                              : "register " + std::to_string(first);
  if (tag.getNativeDatatype() == VT_BOOL) text += ", bit " + std::to_string(tag.bit);
  return text;
}

// Each tag that shares a bit with an earlier one (in register order), named with the tag
// reaching furthest among those before it.
void findOverlaps(const std::string& plc, std::vector<PlcTag*> tags, std::vector<TagOverlap>& out) {
  std::vector<std::pair<BitRange, PlcTag*>> ranges;
  for (PlcTag* t : tags) {
    const BitRange r = bitsOf(*t);
    if (r.end > r.first) ranges.push_back({r, t});
  }
  std::stable_sort(ranges.begin(), ranges.end(),
                   [](const auto& a, const auto& b) { return a.first.first < b.first.first; });
  const PlcTag* furthest = nullptr;
  std::uint64_t furthestEnd = 0;
  for (const auto& [range, tag] : ranges) {
    if (furthest && range.first < furthestEnd)
      out.push_back({plc, tag->getName(), registersText(*tag), furthest->getName(), registersText(*furthest)});
    if (!furthest || range.end > furthestEnd) {
      furthest = tag;
      furthestEnd = range.end;
    }
  }
}

// The device's blocks when every readable tag is subscribed at once at one rate, built by
// the device itself from activations in the order a PLC worker applies them.
void countScan(PlcDevice& device, const std::vector<PlcTag*>& tags, PlcSummary& summary) {
  ServerQueues queues;
  std::lock_guard lock(queues.queueLock);
  std::vector<std::unique_ptr<ActivationRecord>> activations;
  for (PlcTag* tag : tags) {
    if (!(tag->getAccessRights() & OPC_READABLE) || registerSpan(*tag) == 0) continue;
    auto record = std::make_unique<ActivationRecord>();
    record->active = 1;
    record->updateRate = kOneRateMs;
    record->tag = tag;
    activations.push_back(std::move(record));
  }
  summary.polledTags = activations.size();
  sortActivations(activations);
  for (const auto& record : activations) device.AddToCyclic(record->tag, record->updateRate);
  // As a worker plans them before it has timed the PLC's answers (it bridges wider once it
  // has, so a real scan needs at most this many messages).
  device.RebuildCyclicBlocks();
  for (const auto& block : device.cyclicBlocks) {
    if (block->length == 0) continue;
    ++summary.cyclicBlocks;
    summary.readMessages += (block->length + kMaxPieceRegisters - 1) / kMaxPieceRegisters;
  }
  device.ReleaseBlocks();
}

std::string plural(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

ConfigCheckReport CheckConfiguration(const std::string& path) {
  ConfigCheckReport report;
  SOCmnPointer<SODaSNameSpaceRoot> root(new SODaSNameSpaceRoot());
  DeviceList devices;
  auto queues = std::make_shared<ServerQueues>();
  CollectedProblems collected;
  const int loaded = LoadConfiguration(path, *root, devices, queues, collected);
  report.problems = std::move(collected.problems);
  if (loaded == 0 || collected.fileUnreadable) {
    report.exitCode = kCheckUnreadable;
    return report;
  }
  // The loader says nothing of a file without PLCs, but the server would end at once.
  if (devices.isEmpty()) report.problems.push_back(kNoPlcProblem);
  report.exitCode = report.problems.empty() ? kCheckClean : kCheckProblems;

  std::vector<std::vector<PlcTag*>> tagsOf(devices.getCount());
  for (const auto& t : root->getTags()) {
    auto* tag = dynamic_cast<PlcTag*>(t.get());
    if (!tag) continue;
    for (std::size_t i = 0; i < devices.getCount(); ++i)
      if (devices.getIndex(i) == tag->device()) tagsOf[i].push_back(tag);
  }
  for (std::size_t i = 0; i < devices.getCount(); ++i) {
    PlcDevice& device = *devices.getIndex(i);
    PlcSummary summary;
    summary.name = device.name;
    summary.address = device.addressText;
    summary.tags = tagsOf[i].size();
    countScan(device, tagsOf[i], summary);
    findOverlaps(device.name, tagsOf[i], report.overlaps);
    report.plcs.push_back(std::move(summary));
  }
  return report;
}

void PrintConfigCheck(const std::string& path, const ConfigCheckReport& report, std::ostream& out) {
  out << "Checking " << path << "\n";
  for (const std::string& p : report.problems) out << "problem: " << p << "\n";
  if (report.exitCode == kCheckUnreadable) {
    out << "Result: the file cannot be read; the server would load nothing.\n";
    return;
  }

  std::size_t tags = 0, polled = 0, blocks = 0, messages = 0;
  for (const PlcSummary& p : report.plcs) {
    tags += p.tags;
    polled += p.polledTags;
    blocks += p.cyclicBlocks;
    messages += p.readMessages;
  }
  out << plural(report.plcs.size(), "PLC", "PLCs") << ", " << plural(tags, "tag", "tags") << "\n";
  for (const PlcSummary& p : report.plcs) {
    out << "  " << p.name << " (" << p.address << "): " << plural(p.tags, "tag", "tags") << ", "
        << p.polledTags << " polled; one full scan at one rate: " << plural(p.cyclicBlocks, "cyclic block", "cyclic blocks")
        << ", " << plural(p.readMessages, "message", "messages") << "\n";
  }
  out << "One full scan of all " << polled << " polled tags at one rate: "
      << plural(blocks, "cyclic block", "cyclic blocks") << ", " << plural(messages, "message", "messages") << "\n";
  out << "Tags that overlap another tag's registers: " << report.overlaps.size() << "\n";
  for (const TagOverlap& o : report.overlaps)
    out << "  " << o.plc << ": \"" << o.tag << "\" (" << o.tagRegisters << ") overlaps \"" << o.other << "\" ("
        << o.otherRegisters << ")\n";
  if (report.exitCode == kCheckClean) out << "Result: no problem.\n";
  else out << "Result: " << plural(report.problems.size(), "problem", "problems") << " (see above).\n";
}

}  // namespace zentarc::config
