#pragma once
// Password checks away from the serving thread: each costs a PBKDF2 run (tens of
// milliseconds by design), which the thread that serves every client cannot afford. One
// worker takes them in turn from a bounded queue, which also caps how fast passwords can be
// guessed.
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "server/toolkit/ua/security/UserDirectory.h"

namespace zentarc::ua {

class PasswordChecks {
 public:
  using Done = std::function<void(std::optional<UserGrant>)>;

  explicit PasswordChecks(std::shared_ptr<UserDirectory> users, size_t maxWaiting = 64);
  ~PasswordChecks();  // lets the check under way finish; those waiting are dropped
  PasswordChecks(const PasswordChecks&) = delete;
  PasswordChecks& operator=(const PasswordChecks&) = delete;

  // Queues a check; `done` runs on the worker with the outcome. False when the queue is full.
  bool submit(std::string name, std::string password, Done done);

 private:
  struct Job {
    std::string name;
    std::string password;
    Done done;
  };
  void run();

  std::shared_ptr<UserDirectory> users_;
  size_t maxWaiting_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Job> jobs_;
  bool stopping_ = false;
  std::thread worker_;
};

}  // namespace zentarc::ua
