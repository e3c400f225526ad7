#include "server/plc/RefusedReads.h"

#include <algorithm>

#include "server/opc/ValueConversion.h"
#include "server/plc/AreaRuns.h"
#include "server/plc/PlcWorker.h"
#include "server/plc/TagUnits.h"

namespace zentarc {

namespace {

struct Splitter {
  RegisterBlock& block;
  std::span<PlcTag* const> tags;
  std::vector<char>& refused;
  RegisterAccess& io;
  bool wholeBlockRefused;  // the block's whole range was refused just now

  // Tags [lo, hi) in one run; a refused run of more than one tag is halved.
  plc::ResultCode read(std::size_t lo, std::size_t hi) {
    std::uint32_t first = UINT32_MAX, end = 0;
    for (std::size_t i = lo; i < hi; ++i) {
      const TagPlacement p = readPlacement(*tags[i]);
      first = std::min(first, p.first);
      end = std::max(end, p.first + p.span);
    }
    if (end <= first || !block.contains(first, end - first)) return plc::kOk;
    // What was refused a moment ago is not asked again.
    const bool known = wholeBlockRefused && first == block.firstRegister && end - first == block.length;
    const plc::ResultCode code =
        known ? plc::kRequestRefused : readAreaRun(io, block.area, block.unit, first, end - first, block.at(first));
    if (code != plc::kRequestRefused) return code;
    if (hi - lo == 1) {
      refused[lo] = 1;
      return plc::kRequestRefused;
    }
    const std::size_t mid = lo + (hi - lo) / 2;
    const plc::ResultCode left = read(lo, mid);
    if (left != plc::kOk && left != plc::kRequestRefused) return left;
    const plc::ResultCode right = read(mid, hi);
    if (right != plc::kOk && right != plc::kRequestRefused) return right;
    return plc::kRequestRefused;
  }
};

}  // namespace

plc::ResultCode readFindingRefusals(RegisterBlock& block, std::span<PlcTag* const> tags, std::vector<char>& refused,
                                    RegisterAccess& io, bool wholeBlockRefused) {
  refused.assign(tags.size(), 0);
  if (tags.empty()) return plc::kOk;
  Splitter splitter{block, tags, refused, io, wholeBlockRefused};
  const plc::ResultCode code = splitter.read(0, tags.size());
  if (code != plc::kOk && code != plc::kRequestRefused) return code;
  return std::find(refused.begin(), refused.end(), 1) != refused.end() ? plc::kRequestRefused : plc::kOk;
}

std::vector<PlcTag*> inUnitOrder(std::span<PlcTag* const> tags) {
  std::vector<PlcTag*> sorted(tags.begin(), tags.end());
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](PlcTag* a, PlcTag* b) { return readPlacement(*a).first < readPlacement(*b).first; });
  return sorted;
}

void noteRefused(PlcTag& tag, std::uint32_t tick) {
  ++tag.refusedTries;
  // The first retry comes after 1 s, as for a PLC demoted after its second failure.
  tag.refusedRetryAt = tick + retryDelayMs(tag.refusedTries + 1);
  tag.cache().setQuality(kRefusedTagQuality);
}

plc::ResultCode readAroundRefusals(CyclicBlock& block, std::uint32_t tick, RegisterAccess& io,
                                   std::chrono::system_clock::time_point readTime, bool wholeBlockRefused) {
  std::vector<PlcTag*> all;
  for (const auto& tag : block.tags) all.push_back(tag.get());
  const std::vector<PlcTag*> sorted = inUnitOrder(all);
  bool refusedNow = false;
  std::vector<PlcTag*> run;
  std::vector<char> refused;
  // Reads the run gathered so far; false when a message failed for another reason.
  plc::ResultCode failure = plc::kOk;
  auto readRun = [&] {
    const plc::ResultCode code = readFindingRefusals(block, run, refused, io, wholeBlockRefused);
    if (code != plc::kOk && code != plc::kRequestRefused) {
      failure = code;
      return false;
    }
    for (std::size_t i = 0; i < run.size(); ++i) {
      if (refused[i]) {
        noteRefused(*run[i], tick);
        refusedNow = true;
      } else {
        noteAnswered(*run[i]);
        storeFromBlock(block, *run[i], readTime);
      }
    }
    run.clear();
    return true;
  };
  for (PlcTag* tag : sorted) {
    const bool waiting = tag->refusedTries > 0 && static_cast<std::int32_t>(tag->refusedRetryAt - tick) > 0;
    if (!waiting) {
      run.push_back(tag);
      continue;
    }
    refusedNow = true;
    // Still refused as far as anyone knows: after a reconnect it says so again, not the
    // connection's failure.
    tag->cache().setQuality(kRefusedTagQuality);
    if (!run.empty() && !readRun()) break;
  }
  if (failure == plc::kOk && !run.empty()) readRun();
  if (failure != plc::kOk) {
    const std::uint16_t quality = qualityForError(failure);
    for (PlcTag* tag : sorted) tag->cache().setQuality(quality);
    return failure;
  }
  return refusedNow ? plc::kRequestRefused : plc::kOk;
}

}  // namespace zentarc
