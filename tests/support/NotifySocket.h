#pragma once
// The receiving end of systemd's notify protocol, for tests: a datagram socket in a temp
// folder whose path goes into NOTIFY_SOCKET. Each datagram is one notification
// ("READY=1\nSTATUS=...").
#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace zentarc::testsupport {

class NotifySocket {
 public:
  // Binds `path` (which must not exist yet).
  explicit NotifySocket(std::string path);
  ~NotifySocket();
  NotifySocket(const NotifySocket&) = delete;
  NotifySocket& operator=(const NotifySocket&) = delete;

  bool ok() const { return fd_ >= 0; }
  const std::string& path() const { return path_; }
  // The next notification, or nothing when none arrives within `limit`.
  std::optional<std::string> receive(std::chrono::milliseconds limit);
  // Notifications until one contains `text` (it is the last one returned), for at most
  // `limit`; `found` tells whether it came.
  std::vector<std::string> receiveUntil(const std::string& text, std::chrono::milliseconds limit, bool& found);

 private:
  std::string path_;
  int fd_ = -1;
};

}  // namespace zentarc::testsupport
