#include "server/toolkit/ua/security/SecurityLog.h"

namespace zentarc::ua {

namespace {
constexpr size_t kMaxAddresses = 1000;
constexpr size_t kMaxKeys = 1000;
}  // namespace

std::string peerAddress(const std::string& peer) {
  const size_t colon = peer.rfind(':');
  return colon == std::string::npos ? peer : peer.substr(0, colon);
}

SecurityLog::SecurityLog(Sink sink, std::chrono::seconds interval, Clock clock)
    : sink_(std::move(sink)), interval_(interval), clock_(std::move(clock)) {}

std::string SecurityLog::quoted(std::string_view text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size() && i < 64; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    out.push_back(c >= 0x20 && c < 0x7F && c != '"' ? static_cast<char>(c) : '?');
  }
  if (text.size() > 64) out += "...";
  return out + "\"";
}

void SecurityLog::event(const std::string& peer, const std::string& text) { write(peer, text, false); }

void SecurityLog::write(const std::string& peer, const std::string& text, bool always) {
  if (!sink_) return;
  const auto now = clock_();
  const std::string address = peerAddress(peer);
  auto it = byAddress_.find(address);
  if (!always && it != byAddress_.end() && now - it->second.last < interval_) {
    ++it->second.heldBack;
    return;
  }
  if (it == byAddress_.end()) {
    if (byAddress_.size() >= kMaxAddresses) {
      // Forget addresses that have been quiet for an interval; all of them when none has.
      std::erase_if(byAddress_, [&](const auto& kv) { return now - kv.second.last >= interval_; });
      if (byAddress_.size() >= kMaxAddresses) byAddress_.clear();
    }
    it = byAddress_.emplace(address, Seen{}).first;
  }
  std::string line = text;
  if (it->second.heldBack)
    line += " (and " + std::to_string(it->second.heldBack) + " more from " + address + " not logged)";
  it->second = Seen{now, 0};
  sink_(line);
}

void SecurityLog::firstOf(const std::string& key, const std::string& peer, const std::string& text) {
  if (!sink_) return;
  const bool first = !keysSeen_.count(key);
  if (first) {
    if (keyOrder_.size() >= kMaxKeys) {
      keysSeen_.erase(keyOrder_.front());
      keyOrder_.pop_front();
    }
    keysSeen_.insert(key);
    keyOrder_.push_back(key);
  }
  write(peer, text, first);
}

}  // namespace zentarc::ua
