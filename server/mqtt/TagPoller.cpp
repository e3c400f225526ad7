#include "server/mqtt/TagPoller.h"

namespace zentarc::mqtt {

TagPoller::TagPoller(const PublishedPlant& plant, std::uint32_t rateMs)
    : plant_(plant), rateMs_(rateMs), reported_(plant.tags.size(), 0) {}

TagPoller::~TagPoller() { stop(); }

void TagPoller::start(SOCmnPointer<SODaSCreator> creator) {
  if (server_ || !creator) return;
  // A server object of its own, not the entry's: MQTT is no OPC UA session, so it neither
  // counts as one nor keeps a server started on demand alive.
  server_ = SOCmnPointer<SODaSServer>(new SODaSServer(std::move(creator)));
  server_->setClientName("MQTT");
  SOCmnPointer<SODaSGroup> group = server_->addGroup("MQTT", rateMs_);
  if (!group) return;
  for (const PublishedTag& t : plant_.tags)
    if (t.readable) group->addItem(t.tag, true);
}

void TagPoller::stop() {
  if (!server_) return;
  server_->removeAllGroups();
  server_.reset();
}

void TagPoller::changes(Clock::time_point now, std::vector<TagState>& out) {
  const bool fullPass = now >= nextFullPass_;
  if (fullPass) {
    const auto rate = std::chrono::milliseconds(rateMs_);
    nextFullPass_ += rate;
    if (nextFullPass_ <= now) nextFullPass_ = now + rate;
  }
  for (std::size_t i = 0; i < plant_.tags.size(); ++i) {
    const PublishedTag& t = plant_.tags[i];
    if (!t.readable) continue;
    SODaSCache& cache = t.tag->cache();
    const std::uint64_t count = cache.getChangeCount();
    if (count == reported_[i]) continue;
    if (!fullPass) {
      const std::uint32_t refresh = cache.getDeviceRefreshRate();
      if (refresh != 0 && refresh < rateMs_) continue;
    }
    TagState s{i, cache.getSnapshot()};
    reported_[i] = s.snapshot.changeCount;
    // Nothing read yet: the first report is the first value read or the failure to read it.
    if (s.snapshot.waitingForInitialData && s.snapshot.quality == OPC_QUALITY_GOOD) continue;
    out.push_back(std::move(s));
  }
}

TagState TagPoller::current(std::size_t tag) {
  const PublishedTag& t = plant_.tags[tag];
  TagState s{tag, {}};
  if (!t.readable) return s;
  s.snapshot = t.tag->cache().getSnapshot();
  reported_[tag] = s.snapshot.changeCount;
  return s;
}

}  // namespace zentarc::mqtt
