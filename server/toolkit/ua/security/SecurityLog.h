#pragma once
// Security events (failed activations, refused certificates) for the log, rate-limited per
// client address: one line per address per interval; lines held back are counted and the
// count goes with the next line from that address. Texts from clients are cleaned first.
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <unordered_set>

namespace zentarc::ua {

// The address part of a peer's "address:port".
std::string peerAddress(const std::string& peer);

class SecurityLog {
 public:
  using Sink = std::function<void(const std::string&)>;
  using Clock = std::function<std::chrono::steady_clock::time_point()>;

  explicit SecurityLog(Sink sink, std::chrono::seconds interval = std::chrono::seconds(10),
                       Clock clock = &std::chrono::steady_clock::now);
  void event(const std::string& peer, const std::string& text);
  // Like event(), except that the first line about each `key` (a certificate's thumbprint)
  // is written whatever its address sent before: an operator must learn that a new
  // application was refused even while others at that address are held back.
  void firstOf(const std::string& key, const std::string& peer, const std::string& text);
  // Printable characters only, at most 64, quoted: for names that clients send.
  static std::string quoted(std::string_view clientText);

 private:
  void write(const std::string& peer, const std::string& text, bool always);

  struct Seen {
    std::chrono::steady_clock::time_point last;
    unsigned heldBack = 0;
  };
  Sink sink_;
  std::chrono::seconds interval_;
  Clock clock_;
  std::map<std::string, Seen> byAddress_;
  std::unordered_set<std::string> keysSeen_;  // the most recent ones, oldest first in keyOrder_
  std::deque<std::string> keyOrder_;
};

}  // namespace zentarc::ua
