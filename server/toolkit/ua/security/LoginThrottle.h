#pragma once
// Slows password guessing without locking anyone else out. After a failed login, the same
// user name from the same address waits 1 s before it is checked again, and the wait
// doubles with each further failure (up to 10 minutes); an address that fails for several
// names waits the same way. Other users, and the same user from another address, are not
// delayed, so a correct password from elsewhere still gets in. An address has only a few
// checks under way at once, so one guesser cannot fill the queue of checks either.
// Used from one thread.
#include <chrono>
#include <functional>
#include <string>
#include <unordered_map>

namespace zentarc::ua {

class LoginThrottle {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;
  struct Limits {
    std::chrono::milliseconds firstDelay{1000};
    std::chrono::milliseconds maxDelay{600'000};
    unsigned freeFailuresPerAddress = 4;  // of any names, before the address itself waits
    unsigned checksPerAddress = 4;        // under way at once
    size_t maxTracked = 10'000;           // entries kept; the oldest quiet ones go first
  };
  enum class Verdict { Check, Wait, Busy };

  explicit LoginThrottle(Clock clock = &std::chrono::steady_clock::now);
  LoginThrottle(Limits limits, Clock clock);

  // Whether a login of `user` from `address` may be checked now. Check counts it as under
  // way until finished() is called for it; Wait and Busy are refusals.
  Verdict admit(const std::string& user, const std::string& address);
  // The end of a check that admit() allowed.
  void finished(const std::string& user, const std::string& address, bool success);
  // A check that admit() allowed was not made after all.
  void abandoned(const std::string& address);
  // How long `user` from `address` still has to wait (zero when it need not).
  std::chrono::milliseconds waitFor(const std::string& user, const std::string& address) const;

 private:
  struct Failures {
    unsigned count = 0;
    std::chrono::steady_clock::time_point last{};
  };
  std::chrono::milliseconds delayAfter(unsigned failures) const;
  std::chrono::milliseconds remaining(const Failures& f, unsigned free) const;
  void forgetQuiet();

  Limits limits_;
  Clock clock_;
  std::unordered_map<std::string, Failures> byPair_;     // user name and address
  std::unordered_map<std::string, Failures> byAddress_;
  std::unordered_map<std::string, unsigned> underWay_;   // by address
};

}  // namespace zentarc::ua
